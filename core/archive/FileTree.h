#pragma once

#include <QByteArray>

#include <sys/types.h>

// Removes a file, a symbolic link or a whole folder tree below a directory descriptor
// without ever following a symbolic link. A missing name counts as removed. Folders of this
// user that lack the owner's read, write or search permission get it before they are emptied.
bool removeTreeAt(int dirFd, const QByteArray& name, int* error = nullptr);

// As removeTreeAt, but never enters a folder that lies on another mount than name itself (a file
// system or bind mount inside the tree): that folder stays whole and the removal fails with EXDEV.
bool removeTreeOnOneMountAt(int dirFd, const QByteArray& name, int* error = nullptr);

// Renames `from` to `to` (both relative to dirFd) unless `to` exists, then failing with EEXIST.
// Where the file system refuses the kernel's no-replace flag, a name checked free just before
// takes its place: safe against this process, not against a foreign one racing for the name.
// Other failures leave errno as the kernel set it.
bool renameNoReplaceAt(int dirFd, const QByteArray& from, const QByteArray& to);

// The process's file mode creation mask, read without changing it (umask() would, for a moment,
// for every thread).
mode_t currentUmask();
