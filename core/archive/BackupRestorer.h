#pragma once

#include "core/archive/FinderCommentError.h"

#include <QString>

// Restores a backup file into the "Data" folder of a container folder. The file is decrypted
// on demand while its ZIP is read, unpacked safely into a working folder beside Data, and
// swapped with Data, so "Data" always holds either its complete old or its complete new
// content. The container stays locked for the whole restore: a second restore into it fails.
class BackupRestorer
{
public:
    static ArchiveResult restore(const QString& from, const QString& to, const QString& password);
    // Gives a container its Data back after a restore was interrupted between the two renames of
    // a swap, and removes what earlier runs left behind. Success also when there was nothing to do
    // or a running restore holds the container.
    static ArchiveResult recoverInterrupted(const QString& container);
};
