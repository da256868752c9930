#pragma once

#include "core/archive/SecretBytes.h"
#include "platform/Result.h"

#include <QFuture>
#include <QString>

// The archive password as the create and restore screens use it.
namespace ArchivePassword {

// The password's UTF-8 bytes (empty when none is stored), cleansed when the last holder lets go;
// or, when the credential store cannot be read, the user's one-line text of that failure.
using ReadResult = Result<SharedSecret, QString>;

// Reads the password off the calling thread. A locked keyring shows its unlock prompt first.
// Continue on the GUI thread with a context object.
QFuture<ReadResult> read();

} // namespace ArchivePassword
