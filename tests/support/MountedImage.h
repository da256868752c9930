#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A file system of the test's own: an image file in a temporary folder, on a loop device, mounted
// beside it. exFAT goes through FUSE (mount.exfat-fuse, the way USB sticks are mounted), ext4 through
// the kernel. Needs root and /dev/fuse; skipReason() says what is missing. Unmounted and removed when
// the object goes.
class MountedImage
{
public:
    enum class Kind { exfat, ext4 };

    explicit MountedImage(Kind kind, int sizeMiB = 32);
    ~MountedImage();

    MountedImage(const MountedImage&) = delete;
    MountedImage& operator=(const MountedImage&) = delete;

    bool isMounted() const { return m_mounted; }
    // Why it is not mounted.
    QString skipReason() const { return m_skipReason; }
    // The mount point.
    QString path() const { return m_mountPoint; }
    // The image file behind the loop device.
    QString imagePath() const { return m_dir.filePath(QStringLiteral("image")); }

    // exFAT: stops and continues the FUSE process (one this object started), so that every access to
    // the file system waits, as on a stalled network folder.
    bool stall();
    bool resume();

    // True when the folder lies on ext4.
    static bool isOnExt4(const QString& folder);

private:
    bool run(const QString& program, const QStringList& arguments, QString* output = nullptr);
    bool waitForMount();

    QTemporaryDir m_dir;
    QString m_mountPoint;
    QString m_loopDevice;
    std::unique_ptr<QProcess> m_daemon;
    bool m_mounted = false;
    bool m_stalled = false;
    QString m_skipReason;
};
