#include "platform/instance/SingleInstance.h"
#include "tests/support/Privileged.h"
#include "tests/support/ShortTempDir.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Where the socket of a launch is expected.
enum class Folder { runtime, own, none };

// Sets an environment variable (or unsets it, for a null value) and puts the old value back.
class EnvironmentValue
{
public:
    EnvironmentValue(const char* name, const QByteArray& value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvironmentValue()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

struct Nobody
{
    uid_t uid = 0;
    gid_t gid = 0;
};

std::optional<Nobody> nobody()
{
    const passwd* entry = ::getpwnam("nobody");
    if (!entry)
        return std::nullopt;
    return Nobody{entry->pw_uid, entry->pw_gid};
}

bool waitReadable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1;
}

// A local server of another user: a child process that drops to `nobody`, listens on the path,
// takes one connection and reports how many bytes it received before the other end closed.
class ForeignServer
{
public:
    ForeignServer(const QString& path, Nobody user)
    {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        std::memcpy(address.sun_path, native.constData(), std::min<size_t>(native.size(), sizeof address.sun_path - 1));
        int ready[2];
        int report[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(report, O_CLOEXEC) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            // Only async-signal-safe calls from here on; the ids change through the system calls.
            if (::syscall(SYS_setresgid, user.gid, user.gid, user.gid) != 0 ||
                ::syscall(SYS_setresuid, user.uid, user.uid, user.uid) != 0)
                ::_exit(1);
            const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (server < 0 || ::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
                ::listen(server, 4) != 0)
                ::_exit(2);
            if (::write(ready[1], "r", 1) != 1)
                ::_exit(3);
            const int client = ::accept(server, nullptr, nullptr);
            long long total = 0;
            char buffer[256];
            ssize_t n = 0;
            while (client >= 0 && (n = ::read(client, buffer, sizeof buffer)) > 0)
                total += n;
            if (::write(report[1], &total, sizeof total) != sizeof total)
                ::_exit(4);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(report[1]);
        m_ready = ready[0];
        m_report = report[0];
    }
    ~ForeignServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        for (int fd : {m_ready, m_report})
            if (fd >= 0)
                ::close(fd);
    }

    // Waits until the child listens.
    bool listening() const
    {
        char byte = 0;
        return m_pid > 0 && waitReadable(m_ready, 10000) && ::read(m_ready, &byte, 1) == 1 && byte == 'r';
    }

    // What the child received over its one connection, once that connection was closed.
    std::optional<long long> received() const
    {
        long long total = -1;
        if (!waitReadable(m_report, 10000) || ::read(m_report, &total, sizeof total) != sizeof total)
            return std::nullopt;
        return total;
    }

private:
    pid_t m_pid = -1;
    int m_ready = -1;
    int m_report = -1;
};

bool isPrivateFolderOfOurs(const QString& path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700;
}

int connectRaw(const QString& path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), std::min<size_t>(native.size(), sizeof address.sun_path - 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

Q_DECLARE_METATYPE(Folder)

// One instance per user: later launches hand over to the first over a local socket.
class TestSingleInstance : public QObject
{
    Q_OBJECT

    ShortTempDir m_dir;

    QString socketPath(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Where the socket goes, for the states the runtime folder and the temporary folder can be in.
    void defaultPathIsPrivate_data()
    {
        QTest::addColumn<QByteArray>("runtime"); // XDG_RUNTIME_DIR: null unset, else relative to the case folder
        QTest::addColumn<int>("runtimeMode");
        QTest::addColumn<QString>("takenByNobody"); // a folder in the temporary folder that another user made
        QTest::addColumn<bool>("ownFolderOpen"); // our folder exists already with mode 0755
        QTest::addColumn<Folder>("expected");
        const QString own = QStringLiteral("tarn-backup-manager-%1").arg(::getuid());
        const QString qtFallback =
            QStringLiteral("runtime-%1").arg(QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name));
        QTest::newRow("runtime folder private") << QByteArray("run") << 0700 << QString() << false << Folder::runtime;
        QTest::newRow("runtime folder unset") << QByteArray() << 0 << QString() << false << Folder::own;
        QTest::newRow("runtime folder empty") << QByteArray("") << 0 << QString() << false << Folder::own;
        QTest::newRow("runtime folder relative") << QByteArray("relative") << 0700 << QString() << false << Folder::own;
        QTest::newRow("runtime folder open to others")
            << QByteArray("run") << 0755 << QString() << false << Folder::own;
        QTest::newRow("unset, the usual fallback taken by another user")
            << QByteArray() << 0 << qtFallback << false << Folder::own;
        QTest::newRow("unset, our folder left open") << QByteArray() << 0 << QString() << true << Folder::own;
        QTest::newRow("unset, our folder taken by another user") << QByteArray() << 0 << own << false << Folder::none;
    }

    void defaultPathIsPrivate()
    {
        QFETCH(QByteArray, runtime);
        QFETCH(int, runtimeMode);
        QFETCH(QString, takenByNobody);
        QFETCH(bool, ownFolderOpen);
        QFETCH(Folder, expected);

        ShortTempDir base;
        QVERIFY(base.isValid());
        const QDir dir(base.path());
        QVERIFY(dir.mkpath(QStringLiteral("temp")));
        const QString temp = dir.filePath(QStringLiteral("temp"));
        const QString ownFolder = QDir(temp).filePath(QStringLiteral("tarn-backup-manager-%1").arg(::getuid()));
        const QString socketName = QStringLiteral("tarn-backup-manager-%1.socket").arg(::getuid());

        QByteArray runtimeValue = runtime;
        if (!runtime.isEmpty() && runtime != "relative") {
            const QString runtimeFolder = dir.filePath(QString::fromLatin1(runtime));
            QVERIFY(dir.mkpath(runtimeFolder));
            QVERIFY(::chmod(QFile::encodeName(runtimeFolder).constData(), runtimeMode) == 0);
            runtimeValue = QFile::encodeName(runtimeFolder);
        }
        if (!takenByNobody.isEmpty()) {
            const std::optional<Nobody> user = nobody();
            if (::geteuid() != 0 || !user)
                TARN_SKIP_UNLESS_PRIVILEGED(
                    QStringLiteral("needs root and the user nobody to make a folder of another user"));
            const QByteArray taken = QFile::encodeName(QDir(temp).filePath(takenByNobody));
            QVERIFY(::mkdir(taken.constData(), 0777) == 0);
            QVERIFY(::chmod(taken.constData(), 0777) == 0);
            QVERIFY(::chown(taken.constData(), user->uid, user->gid) == 0);
        }
        if (ownFolderOpen) {
            QVERIFY(::mkdir(QFile::encodeName(ownFolder).constData(), 0700) == 0);
            QVERIFY(::chmod(QFile::encodeName(ownFolder).constData(), 0755) == 0);
        }

        const EnvironmentValue runtimeVariable("XDG_RUNTIME_DIR", runtimeValue);
        const EnvironmentValue tempVariable("TMPDIR", QFile::encodeName(temp));
        const QString path = SingleInstance::defaultSocketPath();

        switch (expected) {
        case Folder::runtime:
            QCOMPARE(path, QDir(QString::fromLocal8Bit(runtimeValue)).filePath(socketName));
            break;
        case Folder::own:
            QCOMPARE(path, QDir(ownFolder).filePath(socketName));
            QVERIFY(isPrivateFolderOfOurs(ownFolder));
            break;
        case Folder::none:
            QCOMPARE(path, QString());
            QCOMPARE(SingleInstance(path).claim(), SingleInstance::Role::standalone);
            break;
        }
        if (!path.isEmpty()) {
            SingleInstance instance(path);
            QCOMPARE(instance.claim(), SingleInstance::Role::primary);
        }
    }

    // A symbolic link at our folder's name is not followed, wherever it points.
    void defaultPathRefusesALink()
    {
        ShortTempDir temp;
        QVERIFY(temp.isValid());
        QVERIFY(QDir(temp.path()).mkdir(QStringLiteral("elsewhere")));
        const QString link = QDir(temp.path()).filePath(QStringLiteral("tarn-backup-manager-%1").arg(::getuid()));
        QVERIFY(QFile::link(QDir(temp.path()).filePath(QStringLiteral("elsewhere")), link));
        const EnvironmentValue runtimeVariable("XDG_RUNTIME_DIR", QByteArray());
        const EnvironmentValue tempVariable("TMPDIR", QFile::encodeName(temp.path()));
        QCOMPARE(SingleInstance::defaultSocketPath(), QString());
    }

    void secondLaunchActivatesTheFirst()
    {
        SingleInstance first(socketPath("a.socket"));
        QCOMPARE(first.claim(), SingleInstance::Role::primary);
        QVERIFY(first.isListening());
        QSignalSpy activated(&first, &SingleInstance::activationRequested);

        SingleInstance second(socketPath("a.socket"));
        QCOMPARE(second.claim(), SingleInstance::Role::secondary);
        QVERIFY(!second.isListening());
        QVERIFY(activated.wait());
        QCOMPARE(activated.count(), 1);

        // Each later launch asks again.
        SingleInstance third(socketPath("a.socket"));
        QCOMPARE(third.claim(), SingleInstance::Role::secondary);
        QVERIFY(activated.wait());
        QCOMPARE(activated.count(), 2);
    }

    // A server of another user at the path learns nothing, and the launch runs on its own.
    void noHandOverToAnotherUser()
    {
        const std::optional<Nobody> user = nobody();
        if (::geteuid() != 0 || !user)
            TARN_SKIP_UNLESS_PRIVILEGED(QStringLiteral("needs root and the user nobody to listen as another user"));
        ShortTempDir open;
        QVERIFY(open.isValid());
        QVERIFY(::chmod(QFile::encodeName(open.path()).constData(), 0777) == 0);
        const QString path = QDir(open.path()).filePath(QStringLiteral("foreign.socket"));
        ForeignServer foreign(path, *user);
        QVERIFY(foreign.listening());

        SingleInstance launch(path);
        QCOMPARE(launch.claim(), SingleInstance::Role::standalone);
        QVERIFY(!launch.isListening());
        QCOMPARE(foreign.received(), std::optional<long long>(0));
        QVERIFY(QFile::exists(path)); // not ours to remove
    }

    // Only the exact request activates; anything else on the socket is dropped.
    void strangersAreIgnored()
    {
        SingleInstance first(socketPath("b.socket"));
        QCOMPARE(first.claim(), SingleInstance::Role::primary);
        QSignalSpy activated(&first, &SingleInstance::activationRequested);
        QLocalSocket stranger;
        stranger.connectToServer(first.socketPath());
        QVERIFY(stranger.waitForConnected(1000));
        stranger.write("quit\n");
        QVERIFY(stranger.waitForBytesWritten(1000));
        QSignalSpy gone(&stranger, &QLocalSocket::disconnected);
        QVERIFY(gone.wait());
        QCOMPARE(activated.count(), 0);
    }

    // A client that sends no whole request is dropped: after the timeout when it stays silent, at
    // once when its line grows longer than a request can be.
    void clientsWithoutARequestAreDropped_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("timeoutMs");
        QTest::newRow("silent") << QByteArray() << 50;
        QTest::newRow("half a request") << QByteArray("activ") << 50;
        QTest::newRow("line longer than a request") << QByteArray(SingleInstance::maxRequestBytes + 10, 'a') << 600000;
        QTest::newRow("request after an over-long start")
            << (QByteArray(SingleInstance::maxRequestBytes, 'a') + "activate\n") << 600000;
    }

    void clientsWithoutARequestAreDropped()
    {
        QFETCH(QByteArray, sent);
        QFETCH(int, timeoutMs);
        SingleInstance first(socketPath("e.socket"));
        first.setClientTimeout(timeoutMs);
        QCOMPARE(first.claim(), SingleInstance::Role::primary);
        QSignalSpy activated(&first, &SingleInstance::activationRequested);

        QLocalSocket client;
        QSignalSpy gone(&client, &QLocalSocket::disconnected);
        client.connectToServer(first.socketPath());
        QVERIFY(client.waitForConnected(1000));
        if (!sent.isEmpty()) {
            client.write(sent);
            QVERIFY(client.waitForBytesWritten(1000));
        }
        QVERIFY(gone.wait(10000));
        QCOMPARE(activated.count(), 0);

        // The server still answers the next launch.
        SingleInstance next(first.socketPath());
        QCOMPARE(next.claim(), SingleInstance::Role::secondary);
        QVERIFY(activated.wait());
    }

    // A client that writes without end is dropped once its line is too long; the server takes no
    // more of it than the system buffers between the two ends.
    void floodingClientIsDropped()
    {
        SingleInstance first(socketPath("f.socket"));
        first.setClientTimeout(600000);
        QCOMPARE(first.claim(), SingleInstance::Role::primary);
        QSignalSpy activated(&first, &SingleInstance::activationRequested);

        const int fd = connectRaw(first.socketPath());
        QVERIFY(fd >= 0);
        constexpr long long limit = 256ll << 20;
        std::atomic<long long> accepted = 0;
        std::atomic<bool> done = false;
        std::thread flood([&] {
            const QByteArray chunk(1 << 16, 'x');
            while (accepted < limit) {
                const ssize_t n = ::send(fd, chunk.constData(), chunk.size(), MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                accepted += n;
            }
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 60000);
        flood.join();
        ::close(fd);
        QVERIFY2(accepted < 16ll << 20, qPrintable(QStringLiteral("%1 bytes taken").arg(accepted.load())));
        QCOMPARE(activated.count(), 0);
    }

    void leftoversDoNotBlock_data()
    {
        QTest::addColumn<bool>("staleFile");
        QTest::newRow("socket file of an ended instance") << true;
        QTest::newRow("first instance ended cleanly") << false;
    }

    void leftoversDoNotBlock()
    {
        QFETCH(bool, staleFile);
        const QString path = socketPath(staleFile ? "c.socket" : "d.socket");
        if (staleFile) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else {
            SingleInstance ended(path);
            QCOMPARE(ended.claim(), SingleInstance::Role::primary);
        }
        SingleInstance next(path);
        QCOMPARE(next.claim(), SingleInstance::Role::primary);
        QVERIFY(next.isListening());
    }

    void unusableFolderRunsWithoutTheGuard()
    {
        SingleInstance instance(m_dir.filePath(QStringLiteral("missing/folder/x.socket")));
        QCOMPARE(instance.claim(), SingleInstance::Role::standalone);
    }
};

TARN_TEST_MAIN(TestSingleInstance)
#include "TestSingleInstance.moc"
