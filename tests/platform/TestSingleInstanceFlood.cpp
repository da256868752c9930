#include "platform/instance/SingleInstance.h"
#include "tests/support/Privileged.h"
#include "tests/support/ShortTempDir.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The running instance: the probe process, with 1,024 files at most.
class ProbeInstance
{
public:
    explicit ProbeInstance(const QString& socketPath)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(TARN_INSTANCE_PROBE), {socketPath});
    }
    ~ProbeInstance()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // The next line the probe prints, or empty after the timeout.
    QByteArray nextLine(int timeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!m_process.canReadLine()) {
            if (timer.elapsed() > timeoutMs ||
                (!m_process.waitForReadyRead(100) && m_process.state() != QProcess::Running))
                return {};
        }
        return m_process.readLine().trimmed();
    }
    QByteArray ask(const QByteArray& command)
    {
        m_process.write(command + '\n');
        m_process.waitForBytesWritten(1000);
        return nextLine();
    }

private:
    QProcess m_process;
};

// A client that connects and says nothing; -1 when the server's queue is full.
int silentClient(const QString& path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

class TestSingleInstanceFlood : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // However many clients connect and stay silent, and when the instance has no descriptor left to
    // accept one with, the instance keeps its socket; once they are gone the next launch hands over.
    void survives_data()
    {
        QTest::addColumn<int>("clients");
        QTest::addColumn<bool>("exhausted");
        QTest::newRow("1,100 silent clients") << 1100 << false;
        QTest::newRow("no descriptor left for a launch") << 1 << true;
    }
    void survives()
    {
        QFETCH(int, clients);
        QFETCH(bool, exhausted);
        rlimit limit = {};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
        if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < rlim_t(clients) + 200)
            TARN_SKIP_UNLESS_PRIVILEGED(QStringLiteral("the hard limit of open files is too low to flood from here"));
        limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, rlim_t(clients) + 200);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);

        ShortTempDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("instance.socket"));
        ProbeInstance instance(path);
        QCOMPARE(instance.nextLine(), QByteArray("primary"));
        if (exhausted)
            QCOMPARE(instance.ask("exhaust"), QByteArray("exhausted"));

        // Clients connect as fast as the queue takes them, for two seconds at most.
        QList<int> connected;
        QElapsedTimer timer;
        timer.start();
        while (connected.size() < clients && timer.elapsed() < 2000) {
            const int fd = silentClient(path);
            if (fd >= 0)
                connected << fd;
            else if (errno == EAGAIN)
                QThread::usleep(200);
            else
                break;
        }
        QVERIFY(!connected.isEmpty());
        QTest::qWait(300); // the instance has had its turn at every client in its queue
        QCOMPARE(instance.ask("status"), QByteArray("listening"));
        QVERIFY(QFile::exists(path));

        for (const int fd : std::as_const(connected))
            ::close(fd);
        if (exhausted)
            QCOMPARE(instance.ask("free"), QByteArray("freed"));
        SingleInstance launch(path);
        QCOMPARE(launch.claim(), SingleInstance::Role::secondary);
        QCOMPARE(instance.nextLine(), QByteArray("activated"));
        QCOMPARE(instance.ask("status"), QByteArray("listening"));
    }
};

TARN_TEST_MAIN(TestSingleInstanceFlood)
#include "TestSingleInstanceFlood.moc"
