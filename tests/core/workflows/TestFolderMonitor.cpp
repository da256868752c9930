#include "core/workflows/FolderMonitor.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

#include <dirent.h>
#include <unistd.h>

namespace {

bool touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

// Counts callbacks and remembers the thread of the last one; safe to call from any thread.
struct Recorder
{
    std::atomic<int> calls{0};
    QSemaphore called;
    std::mutex mutex;
    QString threadName;
    bool onMainThread = false;

    std::function<void()> callback()
    {
        return [this] {
            {
                std::lock_guard lock(mutex);
                threadName = QThread::currentThread()->objectName();
                onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
            }
            ++calls;
            called.release();
        };
    }
    bool waitForCall() { return called.tryAcquire(1, 10000); }
};

} // namespace

class TestFolderMonitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_folder = m_dir->filePath(QStringLiteral("watched"));
        QVERIFY(QDir().mkdir(m_folder));
        QVERIFY(touch(m_folder + QStringLiteral("/existing.txt")));
    }

    void cleanup() { m_dir.reset(); }

    void changesReportOnWorkerThread_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("create file inside") << "create";
        QTest::newRow("create folder inside") << "mkdir";
        QTest::newRow("rename inside") << "rename";
        QTest::newRow("delete inside") << "delete";
        QTest::newRow("move in from outside") << "moveIn";
        QTest::newRow("delete watched folder") << "deleteSelf";
        QTest::newRow("rename watched folder") << "renameSelf";
    }

    void changesReportOnWorkerThread()
    {
        QFETCH(QString, change);
        const QString existing = m_folder + QStringLiteral("/existing.txt");

        FolderMonitor monitor(m_folder);
        monitor.startMonitoring();
        QVERIFY(monitor.monitoredFolderFileDescriptor() != -1);
        Recorder recorder;
        monitor.setFolderDidChange(recorder.callback()); // set after starting on purpose

        if (change == QLatin1String("create"))
            QVERIFY(touch(m_folder + QStringLiteral("/new.txt")));
        else if (change == QLatin1String("mkdir"))
            QVERIFY(QDir(m_folder).mkdir(QStringLiteral("sub")));
        else if (change == QLatin1String("rename"))
            QVERIFY(QFile::rename(existing, m_folder + QStringLiteral("/renamed.txt")));
        else if (change == QLatin1String("delete"))
            QVERIFY(QFile::remove(existing));
        else if (change == QLatin1String("moveIn")) {
            const QString outside = m_dir->filePath(QStringLiteral("outside.txt"));
            QVERIFY(touch(outside));
            QVERIFY(QFile::rename(outside, m_folder + QStringLiteral("/inside.txt")));
        } else if (change == QLatin1String("deleteSelf"))
            QVERIFY(QDir(m_folder).removeRecursively());
        else if (change == QLatin1String("renameSelf"))
            QVERIFY(QDir().rename(m_folder, m_dir->filePath(QStringLiteral("moved"))));

        QVERIFY(recorder.waitForCall());
        std::lock_guard lock(recorder.mutex);
        QCOMPARE(recorder.threadName, QStringLiteral("FolderMonitorQueue"));
        QVERIFY(!recorder.onMainThread);
    }

    void startingTwiceWatchesOnce()
    {
        FolderMonitor monitor(m_folder);
        Recorder recorder;
        monitor.setFolderDidChange(recorder.callback());
        monitor.startMonitoring();
        const int descriptor = monitor.monitoredFolderFileDescriptor();
        const int openAfterFirst = openDescriptorCount();
        monitor.startMonitoring();
        QCOMPARE(monitor.monitoredFolderFileDescriptor(), descriptor);
        QCOMPARE(openDescriptorCount(), openAfterFirst);

        QVERIFY(touch(m_folder + QStringLiteral("/a.txt")));
        QVERIFY(recorder.waitForCall());
    }

    void destructionClosesDescriptorsAndSilencesCallback()
    {
        const int before = openDescriptorCount();
        Recorder old;
        auto monitor = std::make_unique<FolderMonitor>(m_folder);
        monitor->setFolderDidChange(old.callback());
        monitor->startMonitoring();
        QVERIFY(openDescriptorCount() > before);
        monitor.reset();
        QCOMPARE(openDescriptorCount(), before);

        // A second monitor on the same folder sees the change; the destroyed one must stay quiet.
        Recorder fresh;
        FolderMonitor witness(m_folder);
        witness.setFolderDidChange(fresh.callback());
        witness.startMonitoring();
        QVERIFY(touch(m_folder + QStringLiteral("/after.txt")));
        QVERIFY(fresh.waitForCall());
        QCOMPARE(old.calls.load(), 0);
    }

    void destructionWaitsForRunningCallback()
    {
        QSemaphore entered;
        QSemaphore release;
        std::atomic<bool> finished{false};
        auto* monitor = new FolderMonitor(m_folder);
        monitor->setFolderDidChange([&] {
            entered.release();
            release.acquire();
            finished = true;
        });
        monitor->startMonitoring();
        QVERIFY(touch(m_folder + QStringLiteral("/trigger.txt")));
        QVERIFY(entered.tryAcquire(1, 10000));

        std::atomic<bool> finishedWhenDestroyed{false};
        std::thread destroyer([&] {
            delete monitor;
            finishedWhenDestroyed = finished.load();
        });
        release.release();
        destroyer.join();
        QVERIFY(finishedWhenDestroyed);
    }

    void manyMonitorsLeaveNoDescriptors()
    {
        // Far beyond the per-user limit of inotify instances, if any leaked.
        const int before = openDescriptorCount();
        for (int i = 0; i < 200; ++i) {
            FolderMonitor monitor(m_folder);
            monitor.startMonitoring();
            QVERIFY2(monitor.monitoredFolderFileDescriptor() != -1, qPrintable(QString::number(i)));
        }
        QCOMPARE(openDescriptorCount(), before);

        Recorder recorder;
        FolderMonitor last(m_folder);
        last.setFolderDidChange(recorder.callback());
        last.startMonitoring();
        QVERIFY(touch(m_folder + QStringLiteral("/still-works.txt")));
        QVERIFY(recorder.waitForCall());
    }

    void missingFolderLeavesMonitorIdle()
    {
        const QString missing = m_dir->filePath(QStringLiteral("not here"));
        const int before = openDescriptorCount();
        FolderMonitor monitor(missing);

        const QByteArray printed = captureStdout([&] { monitor.startMonitoring(); });
        QCOMPARE(printed, QByteArray("Failed to open directory: " + QFile::encodeName(missing) + '\n'));
        QCOMPARE(monitor.monitoredFolderFileDescriptor(), -1);
        QCOMPARE(openDescriptorCount(), before);

        // Once the folder exists, a later start watches it.
        QVERIFY(QDir().mkdir(missing));
        Recorder recorder;
        monitor.setFolderDidChange(recorder.callback());
        monitor.startMonitoring();
        QVERIFY(monitor.monitoredFolderFileDescriptor() != -1);
        QVERIFY(touch(missing + QStringLiteral("/x")));
        QVERIFY(recorder.waitForCall());
    }

private:
    template <typename F>
    static QByteArray captureStdout(F&& action)
    {
        std::fflush(stdout);
        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            return {};
        const int saved = ::dup(STDOUT_FILENO);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[1]);
        action();
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        QByteArray out;
        char buffer[512];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
            out.append(buffer, n);
        ::close(pipeFds[0]);
        return out;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
};

TARN_TEST_MAIN(TestFolderMonitor)
#include "TestFolderMonitor.moc"
