#include "tests/support/ShortTempDir.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

// The real program turns itself non-dumpable as it starts: no core file can carry a password out
// of its memory, and other processes of the user cannot trace it. The kernel shows this in the
// program's /proc folder, which then belongs to root instead of the program's user; so the
// program runs here as a user other than root (nobody, when the test runs as root), from a copy in a
// folder of its own that this user can reach wherever the build lies.
class TestNoCoreDumps : public QObject
{
    Q_OBJECT

    ShortTempDir m_dir;
    uid_t m_uid = getuid();
    gid_t m_gid = getgid();

    static std::optional<uint> ownerOf(const QString& path)
    {
        const QFileInfo info(path);
        return info.exists() ? std::optional(info.ownerId()) : std::nullopt;
    }

    // The "Uid:" line of the process: real, effective, saved and file-system uid.
    static QString uidLine(qint64 pid)
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly)) {
            return {};
        }
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Uid:")) {
                return QString::fromLatin1(line.mid(4)).simplified();
            }
        }
        return {};
    }

    QString program() const { return m_dir.filePath(QStringLiteral("bin/tarn-backup-manager")); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (m_uid == 0) {
            m_uid = 65534;
            m_gid = 65534;
        }
        for (const char* folder : {"home/.config", "runtime", "bin"}) {
            QVERIFY(QDir(m_dir.path()).mkpath(QLatin1String(folder)));
        }
        QVERIFY(QFile::copy(QStringLiteral(TARN_APP_BINARY), program()));
        for (const char* path : {"", "/home", "/home/.config", "/runtime", "/bin", "/bin/tarn-backup-manager"}) {
            const QByteArray name = QFile::encodeName(m_dir.path()) + path;
            QVERIFY(::chown(name.constData(), m_uid, m_gid) == 0);
            QVERIFY(::chmod(name.constData(), 0700) == 0);
        }
    }

    void programIsNotDumpable()
    {
        QProcess app;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("home/.config")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        app.setProcessEnvironment(environment);
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        const uid_t uid = m_uid;
        const gid_t gid = m_gid;
        app.setChildProcessModifier([uid, gid] {
            if (getuid() != uid && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
                ::_exit(99);
            }
        });
        app.start(program(), QStringList());
        QVERIFY(app.waitForStarted(10000));
        const qint64 pid = app.processId();
        const QString folder = QStringLiteral("/proc/%1").arg(pid);

        // Runs as the intended user, and its /proc folder turns root's once main() has begun.
        QTRY_COMPARE(uidLine(pid), QStringLiteral("%1 %1 %1 %1").arg(uid));
        QTRY_COMPARE_WITH_TIMEOUT(ownerOf(folder + QStringLiteral("/status")), std::optional<uint>(0), 20000);
        QCOMPARE(app.state(), QProcess::Running);

        // It may not have set up its own handling of SIGTERM yet: ended the hard way.
        app.kill();
        QVERIFY(app.waitForFinished(20000));
    }
};

TARN_TEST_MAIN(TestNoCoreDumps)
#include "TestNoCoreDumps.moc"
