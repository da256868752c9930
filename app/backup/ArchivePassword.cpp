#include "app/backup/ArchivePassword.h"

#include "core/credentials/KeychainService.h"
#include "core/credentials/ModelType.h"

QFuture<ArchivePassword::ReadResult> ArchivePassword::read()
{
    const KeychainService keychain(serviceName(ModelType::zipPassword));
    return keychain.getSecretAsync(rawValue(ModelType::zipPassword))
        .then([](const SecretStore::SecretLookup& stored) -> ReadResult {
            // An unreadable password must not stand in as the empty one: that backup would not restore.
            // The restore screen shows the text on one line.
            if (!stored)
                return fail(stored.error().summary());
            return *stored ? *stored : std::make_shared<const SecretBytes>();
        });
}
