#pragma once

#include "core/archive/FinderCommentError.h"

#include <QFuture>
#include <QString>

#include <functional>
#include <optional>

// Removes the sibling app's data folder, ~/Library/Containers/de.orlwen/Data, for the erase screen.
class AppDataEraser
{
public:
    // Why an erase did not succeed.
    struct Failure
    {
        // The removal's failure value (directoryNotFound: nothing there).
        FinderCommentError::Code code = FinderCommentError::insufficientPermissions;
        // Set when the erase stopped before removing anything: why, in German, for the user.
        QString refusal;
    };
    using Outcome = Result<void, Failure>;
    // Asked right before the removal: a German text when it must not happen now, else nothing.
    using Guard = std::function<std::optional<QString>()>;

    static QString appDataFolder();
    // The text when another file system is mounted inside the data folder, naming its mount point.
    static QString mountInsideText(const QString& mountPoint);

    // Erases the data folder on Qt's global pool; the future finishes there. Nothing is removed
    // when a file system is mounted inside it or when the guard objects.
    static QFuture<Outcome> eraseAppData(Guard beforeRemoval = {});
    static Outcome erase(const QString& folder, const Guard& beforeRemoval);

    // True when the folder is the data folder or lies inside it, links resolved; a folder that does not
    // exist yet is resolved through its nearest existing parent.
    static bool holds(const QString& folder);

    // The first mount point inside a folder (the folder's own mount not counted), as this process
    // sees the mounts; empty for none.
    static QString mountInside(const QString& folder);

    // Removes what is at path: a folder with everything in it, links inside it as links. A link at
    // path itself is removed as a link and never followed; a folder on another mount inside it is
    // never entered. Nothing there fails with directoryNotFound, a removal that fails (part of it may
    // be gone) with insufficientPermissions.
    static ArchiveResult removeItem(const QString& path);
};
