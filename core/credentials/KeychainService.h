#pragma once

#include "core/credentials/PasswordDigest.h"
#include "platform/Result.h"
#include "platform/secrets/SecretStore.h"

#include <QFuture>
#include <QString>

#include <optional>

// The credential store bound to one service name. Text items are found by service and key;
// the flags of getBool/setBool are found by their key alone, whatever the service.
//
// Items in the desktop's secret store:
//   app password      service "de.Tarn-Backup-Manager.MasterPassword", account "masterPassword"
//   archive password  service "de.Tarn-Backup-Manager.ZipPassword",    account "zipPassword"
//   Touch ID flag     no service,                                       account "useTouchID", "true"/"false"
class KeychainService
{
public:
    // An empty service name stands for the application's identifier.
    explicit KeychainService(const QString& service = {});

    QString service() const { return m_service; }

    // The stored text, nothing when no item exists for the key, or the store's failure
    // (also when the stored bytes are not UTF-8).
    // A locked item is unlocked first, unless `unlock` says never.
    Result<std::optional<QString>, SecretStoreError>
    getString(const QString& key, SecretStore::Unlock unlock = SecretStore::Unlock::ask) const;
    // Updates the item of the key, or adds it. A write that times out may still reach the store:
    // it is then read back once, and the result says what is actually stored (success only when
    // the item holds the value).
    Result<void, SecretStoreError> set(const QString& value, const QString& key) const;
    Result<void, SecretStoreError> setSecret(const SharedSecret& value, const QString& key) const;
    // Deletes the item of the key; none stored is a success. A timed-out removal is read back
    // like a timed-out write.
    Result<void, SecretStoreError> remove(const QString& key) const;

    // True only when the flag item holds exactly "true"; every failure reads as false.
    bool getBool(const QString& key) const;
    // Replaces the flag item with "true" or "false". Failures are not reported.
    void setBool(bool value, const QString& key) const;

    // The same calls off the calling thread, on threads of the credential store's own (so that
    // other background work cannot hold them up). Each future finishes with the answer of the
    // blocking call, also when the store hangs: within its deadline (a change that times out and
    // is read back: a few deadlines). The work holds copies of its arguments and of this object,
    // never the caller. Continue the future on the GUI thread with whenFinished() or continueOn()
    // (platform/WhenFinished.h), which drop the answer once the context is gone:
    //     whenFinished(context, future, [](const auto& result) { ... });
    QFuture<Result<std::optional<QString>, SecretStoreError>> getStringAsync(const QString& key) const;
    // getString() for a password that is only checked: the digest of the stored text, made on the
    // store's thread, where the text itself is cleansed; the text never leaves that thread.
    QFuture<Result<std::optional<PasswordDigest>, SecretStoreError>>
    getDigestAsync(const QString& key, SecretStore::Unlock unlock = SecretStore::Unlock::ask) const;
    QFuture<Result<void, SecretStoreError>> setAsync(const QString& value, const QString& key) const;
    // For a password that is used, not only checked: its UTF-8 bytes in a buffer that is cleansed
    // when the last holder lets go; null when no item exists for the key.
    QFuture<SecretStore::SecretLookup> getSecretAsync(const QString& key) const;
    // setAsync() for a password held as UTF-8 bytes.
    QFuture<Result<void, SecretStoreError>> setSecretAsync(const SharedSecret& value, const QString& key) const;
    QFuture<Result<void, SecretStoreError>> removeAsync(const QString& key) const;
    QFuture<bool> getBoolAsync(const QString& key) const;
    // Writes the flag like setBool(); the answer says whether the new value is the one stored.
    QFuture<bool> setBoolAsync(bool value, const QString& key) const;

private:
    SecretStore::Attributes textItem(const QString& key) const;
    bool writeFlag(bool value, const QString& key) const;

    QString m_service;
};
