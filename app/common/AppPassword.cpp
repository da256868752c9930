#include "app/common/AppPassword.h"

#include "core/credentials/AppPasswordMarker.h"
#include "core/credentials/KeychainService.h"
#include "core/credentials/ModelType.h"

#include <atomic>

namespace AppPassword {

QString service()
{
    return serviceName(ModelType::masterPassword);
}

QString key()
{
    return rawValue(ModelType::masterPassword);
}

namespace {
// The last read found the app password's item and the keyring stayed locked.
std::atomic<bool> lastReadLocked{false};
} // namespace

QFuture<ReadResult> read(Prompt prompt)
{
    const bool mayPrompt = prompt == Prompt::always || !lastReadLocked.load();
    return KeychainService(service())
        .getDigestAsync(key(), mayPrompt ? SecretStore::Unlock::ask : SecretStore::Unlock::never)
        .then([](const ReadResult& result) {
            lastReadLocked.store(!result && result.error().code == SecretStoreError::locked);
            return result;
        });
}

bool existsAfter(const ReadResult& result)
{
    if (!result) {
        // A locked item, or one that holds no text, is a stored password that the store did not hand out.
        return result.error().code == SecretStoreError::locked || result.error().code == SecretStoreError::notText ||
            AppPasswordMarker::isSet();
    }
    if (result->has_value()) {
        AppPasswordMarker::set(true);
        return true;
    }
    return false;
}

QString failureText(const SecretStoreError& error)
{
    return error.summary();
}

} // namespace AppPassword
