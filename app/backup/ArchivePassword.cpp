#include "app/backup/ArchivePassword.h"

#include "core/credentials/KeychainService.h"
#include "core/credentials/ModelType.h"

QFuture<Result<QString, QString>> ArchivePassword::read()
{
    const KeychainService keychain(serviceName(ModelType::zipPassword));
    return keychain.getStringAsync(rawValue(ModelType::zipPassword))
        .then([](const Result<std::optional<QString>, SecretStoreError>& stored) -> Result<QString, QString> {
            // An unreadable password must not stand in as the empty one: that backup would not restore.
            // The restore screen shows the text on one line.
            if (!stored)
                return fail(stored.error().summary());
            return stored.value().value_or(QString());
        });
}
