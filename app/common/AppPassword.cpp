#include "app/common/AppPassword.h"

#include "core/archive/PasswordValidationError.h"
#include "core/credentials/AppPasswordMarker.h"
#include "core/credentials/KeychainService.h"
#include "core/credentials/ModelType.h"

namespace AppPassword {

QString service()
{
    return serviceName(ModelType::masterPassword);
}

QString key()
{
    return rawValue(ModelType::masterPassword);
}

QFuture<ReadResult> read()
{
    return KeychainService(service()).getDigestAsync(key());
}

bool existsAfter(const ReadResult& result)
{
    if (!result) {
        // A locked item is a stored password that the store did not hand out.
        return result.error().code == SecretStoreError::locked || AppPasswordMarker::isSet();
    }
    if (result->has_value()) {
        AppPasswordMarker::set(true);
        return true;
    }
    return false;
}

QString failureText(const SecretStoreError& error)
{
    return PasswordValidationError::keychain(error.message()).errorDescription();
}

} // namespace AppPassword
