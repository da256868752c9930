#pragma once

#include "core/archive/FinderCommentError.h"

#include <QString>

#include <optional>

// A backup's comment, kept in an extended attribute of the file itself.
ArchiveResult setFinderComment(const QString& path, const QString& comment);
std::optional<QString> getFinderComment(const QString& path);
