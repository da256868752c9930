#include "core/credentials/KeychainService.h"

#include "platform/AppIdentity.h"
#include "platform/Diagnostics.h"

#include <QThreadPool>
#include <QtConcurrent>

namespace {

SecretStore::Attributes flagItem(const QString& key)
{
    return {{SecretStore::accountAttribute, key}};
}

// The threads of the asynchronous calls. Each call blocks its thread for at most its deadline;
// a hung store fails later calls at once, so a few threads serve every caller.
QThreadPool* storeThreads()
{
    static QThreadPool* pool = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(4);
        return threads;
    }();
    return pool;
}

} // namespace

KeychainService::KeychainService(const QString& service)
    : m_service(service.isEmpty() ? AppIdentity::bundleIdentifier() : service)
{
}

SecretStore::Attributes KeychainService::textItem(const QString& key) const
{
    return {{SecretStore::serviceAttribute, m_service}, {SecretStore::accountAttribute, key}};
}

Result<std::optional<QString>, SecretStoreError> KeychainService::getString(const QString& key,
                                                                            SecretStore::Unlock unlock) const
{
    auto result = SecretStore::lookup(textItem(key), unlock);
    if (!result) {
        qCDebug(lcDiagnostics) << "Не удалось прочитать элемент" << m_service << key << ":"
                               << SecretStoreError::name(result.error().code) << result.error().detail;
    }
    return result;
}

Result<void, SecretStoreError> KeychainService::set(const QString& value, const QString& key) const
{
    return setSecret(std::make_shared<const SecretBytes>(SecretBytes::fromText(value)), key);
}

Result<void, SecretStoreError> KeychainService::setSecret(const SharedSecret& value, const QString& key) const
{
    const QString label = m_service + QLatin1Char('/') + key;
    auto result = SecretStore::storeSecret(textItem(key), label, value);
    if (!result) {
        qCDebug(lcDiagnostics) << "Не удалось сохранить элемент" << m_service << key << ":"
                               << SecretStoreError::name(result.error().code) << result.error().detail;
    }
    return result;
}

Result<void, SecretStoreError> KeychainService::remove(const QString& key) const
{
    auto result = SecretStore::clear(textItem(key));
    if (!result) {
        qCDebug(lcDiagnostics) << "Не удалось удалить элемент" << m_service << key << ":"
                               << SecretStoreError::name(result.error().code) << result.error().detail;
    }
    return result;
}

bool KeychainService::getBool(const QString& key) const
{
    const auto result = SecretStore::lookup(flagItem(key));
    return result && result->has_value() && **result == QLatin1String("true");
}

void KeychainService::setBool(bool value, const QString& key) const
{
    (void)writeFlag(value, key);
}

bool KeychainService::writeFlag(bool value, const QString& key) const
{
    // Every item of the key goes first, whatever its service, so the new value is the one read back.
    if (!SecretStore::clear(flagItem(key))) {
        qCDebug(lcDiagnostics) << "Не удалось записать флаг" << key;
        return false;
    }
    const QString label = AppIdentity::applicationName() + QLatin1Char('/') + key;
    if (!SecretStore::store(flagItem(key), label, value ? QStringLiteral("true") : QStringLiteral("false"))) {
        qCDebug(lcDiagnostics) << "Не удалось записать флаг" << key;
        return false;
    }
    return true;
}

QFuture<Result<std::optional<QString>, SecretStoreError>> KeychainService::getStringAsync(const QString& key) const
{
    return QtConcurrent::run(storeThreads(), [store = *this, key] { return store.getString(key); });
}

QFuture<Result<std::optional<PasswordDigest>, SecretStoreError>>
KeychainService::getDigestAsync(const QString& key, SecretStore::Unlock unlock) const
{
    return QtConcurrent::run(storeThreads(),
                             [store = *this, key, unlock]() -> Result<std::optional<PasswordDigest>, SecretStoreError> {
                                 const auto stored = SecretStore::lookupSecret(store.textItem(key), unlock);
                                 if (!stored) {
                                     return fail(stored.error());
                                 }
                                 if (!*stored) {
                                     return std::optional<PasswordDigest>();
                                 }
                                 return std::optional(PasswordDigest::of(**stored));
                             });
}

QFuture<Result<void, SecretStoreError>> KeychainService::setAsync(const QString& value, const QString& key) const
{
    return QtConcurrent::run(storeThreads(), [store = *this, value, key] { return store.set(value, key); });
}

QFuture<SecretStore::SecretLookup> KeychainService::getSecretAsync(const QString& key) const
{
    return QtConcurrent::run(storeThreads(), [store = *this, key] {
        auto result = SecretStore::lookupSecret(store.textItem(key));
        if (!result) {
            qCDebug(lcDiagnostics) << "Не удалось прочитать элемент" << store.m_service << key << ":"
                                   << SecretStoreError::name(result.error().code) << result.error().detail;
        }
        return result;
    });
}

QFuture<Result<void, SecretStoreError>> KeychainService::setSecretAsync(const SharedSecret& value,
                                                                        const QString& key) const
{
    return QtConcurrent::run(storeThreads(), [store = *this, value, key] { return store.setSecret(value, key); });
}

QFuture<Result<void, SecretStoreError>> KeychainService::removeAsync(const QString& key) const
{
    return QtConcurrent::run(storeThreads(), [store = *this, key] { return store.remove(key); });
}

QFuture<bool> KeychainService::getBoolAsync(const QString& key) const
{
    return QtConcurrent::run(storeThreads(), [store = *this, key] { return store.getBool(key); });
}

QFuture<bool> KeychainService::setBoolAsync(bool value, const QString& key) const
{
    return QtConcurrent::run(storeThreads(), [store = *this, value, key] { return store.writeFlag(value, key); });
}
