#pragma once

#include <QString>
#include <QTemporaryDir>

// What a disk keeps after a power cut at one instant: a copy of the image file of a mounted ext4
// (MountedImage), taken at once without syncing or unmounting first. The copy holds what the
// file system had written to its loop device by then, and nothing that was still in its page
// cache. Its journal is replayed (e2fsck -fy) and it is mounted read-only; unmounted and removed
// when the object goes. Needs root, like the image itself.
class PowerCutCopy
{
public:
    explicit PowerCutCopy(const QString& imagePath);
    ~PowerCutCopy();
    PowerCutCopy(const PowerCutCopy&) = delete;
    PowerCutCopy& operator=(const PowerCutCopy&) = delete;

    bool isMounted() const { return m_mounted; }
    QString error() const { return m_error; }
    // The mount point: the root of the file system as it was at the instant of the copy.
    QString path() const { return m_mountPoint; }

private:
    QTemporaryDir m_dir;
    QString m_mountPoint;
    QString m_error;
    bool m_mounted = false;
};
