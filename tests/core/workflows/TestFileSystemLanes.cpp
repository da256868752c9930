#include "platform/FileSystemLanes.h"
#include "tests/support/TestMain.h"

#include <QSemaphore>
#include <QThread>

#include <atomic>

// Folder work on threads of its own: one thread per folder, in order, and one answer for the same
// question while it is pending.
class TestFileSystemLanes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QTRY_VERIFY(!FileSystemLanes::isBusy()); }

    // A question asked again while it waits or runs is answered once, for all who asked.
    void pendingQuestionIsAnsweredOnce_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("runs");
        QTest::newRow("same key") << QStringLiteral("isFolder") << 1;
        QTest::newRow("no key") << QString() << 3;
    }

    void pendingQuestionIsAnsweredOnce()
    {
        QFETCH(QString, key);
        QFETCH(int, runs);
        QSemaphore release;
        std::atomic<int> ran{0};
        const auto ask = [&] {
            return FileSystemLanes::run(QStringLiteral("/srv/ordner/"), key, [&] {
                release.acquire();
                return ++ran;
            });
        };
        const QList<QFuture<int>> answers{ask(), ask(), ask()};
        QVERIFY(FileSystemLanes::isBusy());
        release.release(3);
        for (const QFuture<int>& answer : answers)
            QTRY_VERIFY(answer.isFinished());
        QCOMPARE(ran.load(), runs);
        if (runs == 1) {
            for (const QFuture<int>& answer : answers)
                QCOMPARE(answer.result(), 1);
        } else {
            // In order, on one thread.
            QCOMPARE(answers.at(0).result(), 1);
            QCOMPARE(answers.at(2).result(), 3);
        }
        // Answered: the next question is asked afresh.
        release.release();
        const QFuture<int> later = ask();
        QTRY_VERIFY(later.isFinished());
        QCOMPARE(later.result(), runs + 1);
    }

    // A folder that does not answer holds its own thread only: another folder's work goes on.
    void stalledFolderHoldsOneThread()
    {
        QSemaphore release;
        QList<QFuture<Qt::HANDLE>> stalled;
        for (int i = 0; i < 5; ++i)
            stalled << FileSystemLanes::run(QStringLiteral("/mnt/haengt"), [&] {
                release.acquire();
                return QThread::currentThreadId();
            });
        const QFuture<Qt::HANDLE> other =
            FileSystemLanes::run(QStringLiteral("/home/anna"), [] { return QThread::currentThreadId(); });
        QTRY_VERIFY(other.isFinished());
        for (const QFuture<Qt::HANDLE>& work : std::as_const(stalled))
            QVERIFY(!work.isFinished());
        release.release(5);
        for (const QFuture<Qt::HANDLE>& work : std::as_const(stalled)) {
            QTRY_VERIFY(work.isFinished());
            QCOMPARE(work.result(), stalled.first().result());
        }
        QVERIFY(other.result() != stalled.first().result());
        QVERIFY(stalled.first().result() != QThread::currentThreadId());
    }

    // Lanes are folders: the same folder written two ways is one lane.
    void laneOfAFolder()
    {
        QCOMPARE(FileSystemLanes::laneOf(QStringLiteral("/srv//ordner/./")), QStringLiteral("/srv/ordner"));
        QCOMPARE(FileSystemLanes::laneOf(QStringLiteral("/srv/ordner")), QStringLiteral("/srv/ordner"));
    }
};

TARN_TEST_MAIN(TestFileSystemLanes)
#include "TestFileSystemLanes.moc"
