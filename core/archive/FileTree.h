#pragma once

#include <QByteArray>

#include <sys/types.h>

// Removes a file, a symbolic link or a whole folder tree below a directory descriptor
// without ever following a symbolic link. A missing name counts as removed. Folders of this
// user that lack the owner's read, write or search permission get it before they are emptied.
bool removeTreeAt(int dirFd, const QByteArray& name, int* error = nullptr);

// The process's file mode creation mask, read without changing it (umask() would, for a moment,
// for every thread).
mode_t currentUmask();
