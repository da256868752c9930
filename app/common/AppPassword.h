#pragma once

#include "core/credentials/PasswordDigest.h"
#include "platform/Result.h"
#include "platform/secrets/SecretStore.h"

#include <QFuture>
#include <QString>

#include <optional>

// The app password in the credential store, as the window and the login screen read it.
namespace AppPassword {

// The stored password's digest: the password itself never leaves the credential store's thread.
using ReadResult = Result<std::optional<PasswordDigest>, SecretStoreError>;

QString service();
QString key();

// Reads the app password off the GUI thread; a locked keyring shows its own unlock prompt, and the
// read waits for the answer. Continue the future with a context object.
QFuture<ReadResult> read();

// Whether an app password must be assumed to exist after a read: the store returned one, the
// store found its item but could not unlock it, or the store failed and the marker says one was
// saved. Notes a returned password in the marker.
bool existsAfter(const ReadResult& result);

// The store's failure as the user reads it.
QString failureText(const SecretStoreError& error);

} // namespace AppPassword
