#pragma once

#include <QString>

// Makes a freshly written folder tree durable: everything in it is on the disk afterwards, so
// that a rename that puts the tree in place never outlives its content after a power loss.
//
// Where the file system's syncfs reaches the disk (ext4, XFS, btrfs, f2fs), one syncfs does it.
// Elsewhere every file and folder is synced on its own: a FUSE file system (bindfs, sshfs,
// gocryptfs, rclone, mergerfs) does not forward syncfs to the storage below it, but forwards each
// fsync; network and other file systems are treated alike, as syncfs may not reach their disk.
class DurableTree
{
public:
    // rootFd: the tree's folder, open for reading. False with *error set on the first failure.
    static bool sync(int rootFd, QString* error);
    // True when syncfs on this file system is known to write everything to its disk.
    static bool syncfsReachesDisk(int fd);
};
