#include "tests/support/MountedImage.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

QString findTool(const QString& name)
{
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty()
        ? QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
        : found;
}

bool isMountPoint(const QString& path)
{
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return false;
    // Field 5 is the mount point, with blanks written as \040.
    QByteArray encoded = QFile::encodeName(path);
    encoded.replace(" ", "\\040");
    for (const QByteArray& line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4 && fields[4] == encoded)
            return true;
    }
    return false;
}

} // namespace

MountedImage::MountedImage(Kind kind, int sizeMiB)
{
    const bool exfat = kind == Kind::exfat;
    const QString mkfs = findTool(exfat ? QStringLiteral("mkfs.exfat") : QStringLiteral("mkfs.ext4"));
    const QString mounter = findTool(exfat ? QStringLiteral("mount.exfat-fuse") : QStringLiteral("mount"));
    if (::geteuid() != 0) {
        m_skipReason = QStringLiteral("mounting needs root");
        return;
    }
    if (exfat && !QFileInfo::exists(QStringLiteral("/dev/fuse"))) {
        m_skipReason = QStringLiteral("no /dev/fuse");
        return;
    }
    if (mkfs.isEmpty() || mounter.isEmpty() || findTool(QStringLiteral("losetup")).isEmpty()) {
        m_skipReason = QStringLiteral("mkfs, mount or losetup missing (scripts/install-deps.sh)");
        return;
    }
    if (!m_dir.isValid()) {
        m_skipReason = QStringLiteral("no temporary folder");
        return;
    }
    const QString image = m_dir.filePath(QStringLiteral("image"));
    m_mountPoint = m_dir.filePath(QStringLiteral("mnt"));
    QFile file(image);
    if (!QDir().mkpath(m_mountPoint) || !file.open(QIODevice::WriteOnly) || !file.resize(qint64(sizeMiB) << 20)) {
        m_skipReason = QStringLiteral("cannot make the image");
        return;
    }
    file.close();
    const QStringList mkfsArguments =
        exfat ? QStringList{image} : QStringList{QStringLiteral("-q"), QStringLiteral("-F"), image};
    if (!run(mkfs, mkfsArguments) ||
        !run(QStringLiteral("losetup"), {QStringLiteral("--find"), QStringLiteral("--show"), image}, &m_loopDevice)) {
        m_skipReason = QStringLiteral("cannot format the image or attach it to a loop device");
        return;
    }
    if (exfat) {
        // In the foreground (-d), so that the FUSE process is the one started here.
        m_daemon = std::make_unique<QProcess>();
        m_daemon->setStandardOutputFile(QProcess::nullDevice());
        m_daemon->setStandardErrorFile(QProcess::nullDevice());
        m_daemon->start(mounter, {QStringLiteral("-d"), m_loopDevice, m_mountPoint});
        m_mounted = m_daemon->waitForStarted() && waitForMount();
    } else {
        m_mounted = run(mounter, {m_loopDevice, m_mountPoint}) && isMountPoint(m_mountPoint);
    }
    if (!m_mounted)
        m_skipReason = QStringLiteral("mounting the image failed");
}

MountedImage::~MountedImage()
{
    if (m_stalled)
        resume();
    if (m_mounted && !run(QStringLiteral("umount"), {m_mountPoint}))
        run(QStringLiteral("umount"), {QStringLiteral("-l"), m_mountPoint});
    if (m_daemon && m_daemon->state() != QProcess::NotRunning && !m_daemon->waitForFinished(10000)) {
        m_daemon->kill();
        m_daemon->waitForFinished();
    }
    if (!m_loopDevice.isEmpty())
        run(QStringLiteral("losetup"), {QStringLiteral("-d"), m_loopDevice});
}

bool MountedImage::stall()
{
    if (!m_daemon || m_daemon->state() != QProcess::Running || ::kill(pid_t(m_daemon->processId()), SIGSTOP) != 0)
        return false;
    m_stalled = true;
    return true;
}

bool MountedImage::resume()
{
    if (!m_daemon || m_daemon->state() != QProcess::Running || ::kill(pid_t(m_daemon->processId()), SIGCONT) != 0)
        return false;
    m_stalled = false;
    return true;
}

bool MountedImage::isOnExt4(const QString& folder)
{
    struct statfs info = {};
    return ::statfs(QFile::encodeName(folder).constData(), &info) == 0 && info.f_type == EXT4_SUPER_MAGIC;
}

bool MountedImage::run(const QString& program, const QStringList& arguments, QString* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool MountedImage::waitForMount()
{
    const QDeadlineTimer deadline(20000);
    while (!isMountPoint(m_mountPoint)) {
        if (deadline.hasExpired() || m_daemon->state() == QProcess::NotRunning)
            return false;
        QThread::msleep(10);
    }
    return true;
}
