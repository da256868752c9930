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

// When a read may make a locked keyring show its unlock prompt: always, or only while the user has
// not dismissed it at the last read (for reads the user did not ask for, such as the login
// screen's when it appears, so that a dismissed prompt does not come straight back).
enum class Prompt { always, unlessDismissed };

// Reads the app password off the GUI thread; a locked keyring shows its own unlock prompt, and the
// read waits for the answer. Continue the future with a context object.
QFuture<ReadResult> read(Prompt prompt = Prompt::always);

// Whether an app password must be assumed to exist after a read: the store returned one, the
// store found its item but could not unlock it, or the store failed and the marker says one was
// saved. Notes a returned password in the marker.
bool existsAfter(const ReadResult& result);

// The store's failure as the login's one-line warning shows it: what happened and what to do. The
// system's own description is left to the diagnostics.
QString failureText(const SecretStoreError& error);

} // namespace AppPassword
