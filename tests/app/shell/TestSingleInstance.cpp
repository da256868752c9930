#include "platform/instance/SingleInstance.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

// One instance per user: later launches hand over to the first over a local socket.
class TestSingleInstance : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString socketPath(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void defaultPathIsPerUser()
    {
        const QString path = SingleInstance::defaultSocketPath();
        QVERIFY(path.endsWith(QStringLiteral("tarn-backup-manager-%1.socket").arg(getuid())));
        QVERIFY(path.startsWith(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)));
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
