#pragma once

#include "platform/Result.h"

#include <QFuture>
#include <QString>

// The archive password as the create and restore screens use it.
namespace ArchivePassword {

// Reads the password off the calling thread: its text, the empty text when none is stored, or, when
// the credential store cannot be read, the user's one-line text of that failure. A locked keyring
// shows its unlock prompt first. Continue on the GUI thread with a context object.
QFuture<Result<QString, QString>> read();

} // namespace ArchivePassword
