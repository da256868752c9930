#pragma once

#include "platform/Result.h"
#include "platform/secrets/SecretStore.h"

#include <QFuture>
#include <QString>

#include <optional>

// The app password in the credential store, as the window and the login screen read it.
namespace AppPassword {

using ReadResult = Result<std::optional<QString>, SecretStoreError>;

QString service();
QString key();

// Reads the app password off the GUI thread. Continue the future with a context object.
QFuture<ReadResult> read();

// Whether an app password must be assumed to exist after a read: the store returned one, or the
// store failed and the marker says one was saved. Notes a returned password in the marker.
bool existsAfter(const ReadResult& result);

// The store's failure as the user reads it.
QString failureText(const SecretStoreError& error);

// Equal texts, compared in a time that does not depend on where they differ.
bool matches(const QString& typed, const QString& stored);

} // namespace AppPassword
