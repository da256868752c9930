#include "platform/WhenFinished.h"
#include "tests/support/TestMain.h"

#include <QMutex>
#include <QPromise>
#include <QScopeGuard>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <memory>
#include <stdexcept>

namespace {

// What the handlers saw, from whichever thread they ran on.
struct Calls
{
    mutable QMutex mutex;
    QList<int> values;
    QList<QThread*> threads;

    void record(int value)
    {
        const QMutexLocker lock(&mutex);
        values.append(value);
        threads.append(QThread::currentThread());
    }
    int count() const
    {
        const QMutexLocker lock(&mutex);
        return values.size();
    }
};

// Every form on one future: whenFinished, continueOn, and continueOn with substitute -1.
struct Forms
{
    Calls plain;
    Calls chained;
    Calls substituted;
    QFuture<int> continued;
    QFuture<int> continuedWithSubstitute;

    void attach(QObject* context, const QFuture<int>& future)
    {
        whenFinished(context, future, [this](int value) { plain.record(value); });
        continued = continueOn(context, future, [this](int value) {
            chained.record(value);
            return value * 2;
        });
        continuedWithSubstitute = continueOn(
            context, future,
            [this](int value) {
                substituted.record(value);
                return value * 2;
            },
            -1);
    }
};

// A thread that finishes one promise per go, as close to the caller's next step as it can.
class Finisher
{
public:
    Finisher()
        : m_thread(QThread::create([this] { run(); }))
    {
        m_thread->start();
    }
    ~Finisher()
    {
        m_stop = true;
        m_go.release();
        m_thread->wait();
    }

    void finish(std::shared_ptr<QPromise<int>> promise, int value)
    {
        m_promise = std::move(promise);
        m_value = value;
        m_go.release();
    }
    void waitDone() { m_done.acquire(); }

private:
    void run()
    {
        for (;;) {
            m_go.acquire();
            if (m_stop)
                return;
            m_promise->addResult(m_value);
            m_promise->finish();
            m_promise.reset();
            m_done.release();
        }
    }

    std::unique_ptr<QThread> m_thread;
    QSemaphore m_go;
    QSemaphore m_done;
    std::shared_ptr<QPromise<int>> m_promise;
    int m_value = 0;
    std::atomic<bool> m_stop = false;
};

std::shared_ptr<QPromise<int>> startedPromise()
{
    auto promise = std::make_shared<QPromise<int>>();
    promise->start();
    return promise;
}

} // namespace

class TestWhenFinished : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deliversOnTheContextThread_data()
    {
        QTest::addColumn<bool>("contextOnWorker");
        QTest::addColumn<bool>("finishedBefore");
        QTest::newRow("finished by a worker") << false << false;
        QTest::newRow("finished before the call") << false << true;
        QTest::newRow("context on a worker thread") << true << false;
    }

    void deliversOnTheContextThread()
    {
        QFETCH(bool, contextOnWorker);
        QFETCH(bool, finishedBefore);

        QThread contextThread;
        auto* context = new QObject;
        const auto cleanup = qScopeGuard([&] {
            if (contextOnWorker) {
                QMetaObject::invokeMethod(
                    context, [context] { delete context; }, Qt::BlockingQueuedConnection);
                contextThread.quit();
                contextThread.wait();
            } else {
                delete context;
            }
        });
        if (contextOnWorker) {
            contextThread.start();
            context->moveToThread(&contextThread);
        }
        QThread* const expectedThread = context->thread();

        Forms forms;
        auto promise = startedPromise();
        if (finishedBefore) {
            promise->addResult(7);
            promise->finish();
        }
        const auto attach = [&] { forms.attach(context, promise->future()); };
        if (contextOnWorker)
            QMetaObject::invokeMethod(context, attach, Qt::BlockingQueuedConnection);
        else
            attach();

        Finisher finisher;
        if (!finishedBefore) {
            finisher.finish(promise, 7);
            finisher.waitDone();
        }
        for (Calls* calls : {&forms.plain, &forms.chained, &forms.substituted}) {
            QTRY_COMPARE(calls->count(), 1);
            QCOMPARE(calls->values.first(), 7);
            QCOMPARE(calls->threads.first(), expectedThread);
        }
        QTRY_VERIFY(forms.continued.isFinished() && forms.continuedWithSubstitute.isFinished());
        QCOMPARE(forms.continued.result(), 14);
        QCOMPARE(forms.continuedWithSubstitute.result(), 14);
    }

    void futureEndingWithoutResult_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("cancelled") << QStringLiteral("cancel");
        QTest::newRow("finished without a value") << QStringLiteral("finish");
        QTest::newRow("failed with an exception") << QStringLiteral("exception");
        QTest::newRow("promise dropped") << QStringLiteral("drop");
    }

    // Nothing runs, the chained future is cancelled; only a substitute goes on.
    void futureEndingWithoutResult()
    {
        QFETCH(QString, ending);
        QObject context;
        Forms forms;
        auto promise = startedPromise();
        forms.attach(&context, promise->future());
        if (ending == QLatin1String("cancel")) {
            promise->future().cancel();
            promise->finish();
        } else if (ending == QLatin1String("finish")) {
            promise->finish();
        } else if (ending == QLatin1String("exception")) {
            promise->setException(std::make_exception_ptr(std::runtime_error("engine failed")));
            promise->finish();
        } else {
            promise.reset();
        }

        QTRY_VERIFY(forms.continuedWithSubstitute.isFinished());
        QCOMPARE(forms.substituted.values, QList<int>{-1});
        QCOMPARE(forms.continuedWithSubstitute.result(), -2);
        QTRY_VERIFY(forms.continued.isFinished());
        QVERIFY(forms.continued.isCanceled());
        QCOMPARE(forms.continued.resultCount(), 0);
        QCOMPARE(forms.chained.count(), 0);
        QCOMPARE(forms.plain.count(), 0);
    }

    void contextDestroyedFirst_data()
    {
        QTest::addColumn<bool>("finishedBeforeDestruction");
        QTest::newRow("future still running") << false;
        QTest::newRow("finished, not yet delivered") << true;
    }

    void contextDestroyedFirst()
    {
        QFETCH(bool, finishedBeforeDestruction);
        auto* context = new QObject;
        Forms forms;
        auto promise = startedPromise();
        forms.attach(context, promise->future());
        bool voidRan = false;
        QPromise<void> voidPromise;
        voidPromise.start();
        whenFinished(context, voidPromise.future(), [&voidRan] { voidRan = true; });
        const QFuture<void> voidContinued = continueOn(context, voidPromise.future(), [&voidRan] { voidRan = true; });

        Finisher finisher;
        if (finishedBeforeDestruction) {
            finisher.finish(promise, 7);
            finisher.waitDone();
            voidPromise.finish();
        }
        delete context;
        // The chain learns at once that it ends here.
        QVERIFY(forms.continued.isFinished() && forms.continued.isCanceled());
        QVERIFY(forms.continuedWithSubstitute.isFinished() && forms.continuedWithSubstitute.isCanceled());
        QVERIFY(voidContinued.isFinished() && voidContinued.isCanceled());
        if (!finishedBeforeDestruction) {
            finisher.finish(promise, 7);
            finisher.waitDone();
            voidPromise.finish();
        }
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCOMPARE(forms.plain.count() + forms.chained.count() + forms.substituted.count(), 0);
        QVERIFY(!voidRan);
    }

    // The GUI thread deletes the context while a worker finishes the future, over and over.
    void contextDestroyedWhileWorkerFinishes()
    {
        Finisher finisher;
        std::atomic<int> ran = 0;
        int cancelled = 0;
        constexpr int rounds = 20000;
        for (int round = 0; round < rounds; ++round) {
            auto* context = new QObject;
            auto promise = startedPromise();
            whenFinished(context, promise->future(), [&ran](int) { ++ran; });
            const QFuture<int> continued = continueOn(context, promise->future(), [&ran](int value) {
                ++ran;
                return value;
            });
            finisher.finish(std::move(promise), round);
            delete context;
            finisher.waitDone();
            QCoreApplication::sendPostedEvents();
            if (continued.isFinished() && continued.isCanceled())
                ++cancelled;
        }
        QCOMPARE(ran.load(), 0);
        QCOMPARE(cancelled, rounds);
    }

    void voidFutures_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("finished") << false;
        QTest::newRow("cancelled") << true;
    }

    void voidFutures()
    {
        QFETCH(bool, cancel);
        QObject context;
        QPromise<void> promise;
        promise.start();
        int plain = 0;
        whenFinished(&context, promise.future(), [&plain] { ++plain; });
        int chained = 0;
        const QFuture<int> continued = continueOn(&context, promise.future(), [&chained] { return ++chained; });
        if (cancel)
            promise.future().cancel();
        promise.finish();

        QTRY_VERIFY(continued.isFinished());
        QCOMPARE(continued.isCanceled(), cancel);
        QCOMPARE(plain, cancel ? 0 : 1);
        QCOMPARE(chained, cancel ? 0 : 1);
        if (!cancel)
            QCOMPARE(continued.result(), 1);
    }
};

TARN_TEST_MAIN(TestWhenFinished)
#include "TestWhenFinished.moc"
