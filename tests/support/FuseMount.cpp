#include "tests/support/FuseMount.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

constexpr long fuseMagic = 0x65735546;

bool isFuse(const QString& path)
{
    struct statfs fs = {};
    return ::statfs(QFile::encodeName(path).constData(), &fs) == 0 && long(fs.f_type) == fuseMagic;
}

int run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// The bindfs process serving mountPoint: its command line ends in the mount point.
pid_t bindfsProcess(const QString& mountPoint)
{
    const QByteArray wanted = QFile::encodeName(mountPoint);
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isPid = false;
        const pid_t pid = entry.toInt(&isPid);
        if (!isPid)
            continue;
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> arguments = file.readAll().split('\0');
        // The list ends in an empty piece after the last NUL.
        if (arguments.size() < 3 || !arguments.first().endsWith("bindfs"))
            continue;
        if (arguments.at(arguments.size() - 2) == wanted)
            return pid;
    }
    return 0;
}

} // namespace

QString FuseMount::unavailableReason()
{
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return QStringLiteral("no usable /dev/fuse");
    if (::geteuid() != 0)
        return QStringLiteral("mounting needs root");
    return {};
}

FuseMount::FuseMount(const QString& lower, const QString& mountPoint)
    : m_lower(lower)
    , m_mountPoint(mountPoint)
{
    if (!QDir().mkpath(m_lower) || !QDir().mkpath(m_mountPoint)) {
        m_error = QStringLiteral("cannot create the folders");
        return;
    }
    QString output;
    if (run(QStringLiteral("bindfs"), {m_lower, m_mountPoint}, &output) != 0) {
        m_error = QStringLiteral("bindfs failed: ") + output;
        return;
    }
    m_mounted = isFuse(m_mountPoint);
    if (!m_mounted)
        m_error = QStringLiteral("bindfs returned, but no FUSE file system is mounted");
}

FuseMount::~FuseMount()
{
    if (m_stalled)
        resume();
    if (!m_mounted)
        return;
    // A process the test killed may still hold the mount for a moment: fall back to a lazy unmount.
    if (run(QStringLiteral("fusermount"), {QStringLiteral("-u"), m_mountPoint}) != 0 && isFuse(m_mountPoint))
        run(QStringLiteral("umount"), {QStringLiteral("-l"), m_mountPoint});
}

bool FuseMount::stall()
{
    const pid_t pid = m_mounted ? bindfsProcess(m_mountPoint) : 0;
    if (pid <= 0 || ::kill(pid, SIGSTOP) != 0)
        return false;
    m_stalled = true;
    return true;
}

bool FuseMount::resume()
{
    const pid_t pid = bindfsProcess(m_mountPoint);
    if (pid <= 0 || ::kill(pid, SIGCONT) != 0)
        return false;
    m_stalled = false;
    return true;
}
