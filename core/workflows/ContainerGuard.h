#pragma once

#include <QFuture>
#include <QString>

// Keeps backups out of the sibling app's container: a restore replaces the container's Data and
// works in the container, an erase removes Data, so backups there could be destroyed.
namespace ContainerGuard {

// True when the folder is the container, lies inside it or contains it. Paths are compared with
// links resolved; a folder that does not exist yet is resolved through its nearest existing parent.
// Resolving links waits for the folder's file system: call it off the GUI thread.
bool overlapsContainer(const QString& folder);

// overlapsContainer() on the folder's own thread (FileSystemLanes), which a stalled file system
// holds alone. A call while the folder's check runs shares its answer.
QFuture<bool> checkOverlap(const QString& folder);

// The path with links resolved as far as it exists; the missing rest is appended as written. Waits for
// the path's file system.
QString resolvedPath(const QString& path);

// The message shown when a backup folder is refused for that reason.
QString refusalText();

} // namespace ContainerGuard
