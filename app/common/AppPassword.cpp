#include "app/common/AppPassword.h"

#include "core/archive/PasswordValidationError.h"
#include "core/credentials/AppPasswordMarker.h"
#include "core/credentials/KeychainService.h"
#include "core/credentials/ModelType.h"

#include <QCryptographicHash>

#include <openssl/crypto.h>

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
    return KeychainService(service()).getStringAsync(key());
}

bool existsAfter(const ReadResult& result)
{
    if (!result) {
        return AppPasswordMarker::isSet();
    }
    if (result->has_value()) {
        AppPasswordMarker::set(true);
        return true;
    }
    return false;
}

QString failureText(const SecretStoreError& error)
{
    return PasswordValidationError::keychain(error.message).errorDescription();
}

bool matches(const QString& typed, const QString& stored)
{
    // Digests of equal length, so neither the length nor the first difference shows in the time taken.
    const QByteArray a = QCryptographicHash::hash(typed.toUtf8(), QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(stored.toUtf8(), QCryptographicHash::Sha256);
    return CRYPTO_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}

} // namespace AppPassword
