#pragma once

#include "core/archive/FinderCommentError.h"

#include <QFuture>
#include <QString>

// Removes the sibling app's data folder, ~/Library/Containers/de.orlwen/Data, for the erase screen.
class AppDataEraser
{
public:
    static QString appDataFolder();

    // Removes the data folder whole, off the calling thread; the future finishes there.
    static QFuture<ArchiveResult> eraseAppData();

    // Removes what is at path: a folder with everything in it, links inside it as links. A link at
    // path itself is removed as a link and never followed. Nothing there fails with directoryNotFound,
    // a removal that fails (part of it may be gone) with insufficientPermissions.
    static ArchiveResult removeItem(const QString& path);
};
