#pragma once

#include "core/archive/FinderCommentError.h"

#include <QString>

#include <optional>

// A backup's comment, kept in an extended attribute of the file itself. Where the file system keeps
// no such attribute (exFAT, FAT) or none of that size (ext4 holds about 4 KB), the comment goes to a
// hidden file beside the backup, commentFilePath(); one place holds it at a time. Linux file managers
// see a copy in the desktop's comment attribute, where it fits.

// Writes the comment, cut to its first 4000 characters (then commentTooLong, carrying what was
// stored). The file must exist. An empty comment leaves the backup without one.
ArchiveResult setFinderComment(const QString& path, const QString& comment);

// For a file that gets its final name later: writes the attributes only. *refused tells that the file
// system keeps no such attribute (or none of that size); write the comment with setFinderComment()
// once the file has its name.
ArchiveResult setFinderCommentAttribute(const QString& path, const QString& comment, bool* refused);

// The comment of the file, or nothing. A comment file of a missing backup is never read.
std::optional<QString> getFinderComment(const QString& path);
// The same, for a caller that listed the folder: with commentFileListed false the comment file is
// not looked for.
std::optional<QString> getFinderComment(const QString& path, bool commentFileListed);

// ".<file name>.comment" beside the file.
QString commentFilePath(const QString& path);
// Removes the comment file of a backup, if there is one. False when one stays.
bool removeCommentFile(const QString& path);
