#pragma once

#include "core/archive/FinderCommentError.h"

#include <QString>

// Restores a backup file into the "Data" folder of a container folder. The file is decrypted
// on demand while its ZIP is read, unpacked safely into the working folder ".TempData", and
// swapped with "Data" in one atomic step, so "Data" always holds either its complete old or
// its complete new content.
class BackupRestorer
{
public:
    static ArchiveResult restore(const QString& from, const QString& to, const QString& password);
};
