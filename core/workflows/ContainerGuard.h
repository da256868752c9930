#pragma once

#include <QString>

// Keeps backups out of the sibling app's container: a restore replaces the container's Data and
// works in the container, an erase removes Data, so backups there could be destroyed.
namespace ContainerGuard {

// True when the folder is the container, lies inside it or contains it. Paths are compared with
// links resolved; a folder that does not exist yet is resolved through its nearest existing parent.
bool overlapsContainer(const QString& folder);

// The message shown when a backup folder is refused for that reason.
QString refusalText();

} // namespace ContainerGuard
