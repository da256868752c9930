#pragma once

#include <QByteArray>

// Removes a file, a symbolic link or a whole folder tree below a directory descriptor
// without ever following a symbolic link. A missing name counts as removed.
bool removeTreeAt(int dirFd, const QByteArray& name, int* error = nullptr);
