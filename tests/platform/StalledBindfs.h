#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <memory>
#include <sys/vfs.h>
#include <unistd.h>

// A bindfs mount of a private folder whose daemon runs in this test's hands, so that it can be stopped
// with SIGSTOP: then every access that reaches the file system waits, as on a network folder whose
// server is gone. The daemon is continued, the folder unmounted and the daemon reaped when the object
// goes, also after a failed test. Needs root and /dev/fuse.
class StalledBindfs
{
public:
    // Why no FUSE file system can be mounted here, or empty.
    static QString unavailableReason()
    {
        if (::access("/dev/fuse", R_OK | W_OK) != 0)
            return QStringLiteral("no usable /dev/fuse");
        if (::geteuid() != 0)
            return QStringLiteral("mounting needs root");
        return {};
    }

    StalledBindfs()
    {
        if (!m_dir.isValid() || !QDir().mkpath(lower()) || !QDir().mkpath(path()))
            return;
        // Other users' processes (run as nobody) may reach it too.
        QFile::setPermissions(m_dir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                  QFileDevice::ReadOther | QFileDevice::ExeOther);
        m_daemon = std::make_unique<QProcess>();
        m_daemon->setProcessChannelMode(QProcess::ForwardedChannels);
        // Nothing cached: every access asks the daemon.
        m_daemon->start(QStringLiteral("bindfs"),
                        {QStringLiteral("-f"), QStringLiteral("-o"), QStringLiteral("attr_timeout=0,entry_timeout=0"),
                         lower(), path()});
        if (!m_daemon->waitForStarted())
            return;
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && m_daemon->state() == QProcess::Running) {
            struct statfs fs = {};
            if (::statfs(QFile::encodeName(path()).constData(), &fs) == 0 && long(fs.f_type) == 0x65735546) {
                m_mounted = true;
                return;
            }
            QThread::msleep(20);
        }
    }

    ~StalledBindfs()
    {
        if (!m_daemon)
            return;
        resume();
        if (m_mounted) {
            QProcess unmount;
            unmount.start(QStringLiteral("fusermount"), {QStringLiteral("-u"), path()});
            if (!unmount.waitForFinished(10000) || unmount.exitCode() != 0) {
                QProcess lazy;
                lazy.start(QStringLiteral("umount"), {QStringLiteral("-l"), path()});
                lazy.waitForFinished(10000);
            }
        }
        if (m_daemon->state() != QProcess::NotRunning && !m_daemon->waitForFinished(10000)) {
            m_daemon->kill();
            m_daemon->waitForFinished();
        }
    }

    StalledBindfs(const StalledBindfs&) = delete;
    StalledBindfs& operator=(const StalledBindfs&) = delete;

    bool isMounted() const { return m_mounted; }
    // The mount point, and the folder it shows.
    QString path() const { return m_dir.filePath(QStringLiteral("mnt")); }
    QString lower() const { return m_dir.filePath(QStringLiteral("lower")); }

    // Every access to the mount waits from now on, until resume().
    bool stall()
    {
        m_stalled = m_mounted && ::kill(pid_t(m_daemon->processId()), SIGSTOP) == 0;
        return m_stalled;
    }
    void resume()
    {
        if (m_stalled)
            ::kill(pid_t(m_daemon->processId()), SIGCONT);
        m_stalled = false;
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_daemon;
    bool m_mounted = false;
    bool m_stalled = false;
};
