#include "core/credentials/BiometricContext.h"
#include "platform/fingerprint/FingerprintReader.h"
#include "tests/support/FakeFprintd.h"
#include "tests/support/FutureAnswer.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TestMain.h"

#include <QFuture>
#include <QTimer>

#include <memory>
#include <optional>

// The biometric check over a fake fprintd, reached through the readers' default bus.
class TestBiometricContext : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_bus;

    std::unique_ptr<FakeFprintd> startService(const QStringList& fingers, const QStringList& results,
                                              const QStringList& held = {})
    {
        auto service = std::make_unique<FakeFprintd>(m_bus->address());
        FakeFprintd::Config config;
        config.enrolledFingers = fingers;
        config.verifyResults = results;
        config.heldMethods = held;
        service->setConfig(config);
        return service;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_bus = std::make_unique<PrivateBus>();
        QVERIFY(m_bus->isRunning());
        FingerprintReader::setDefaultConnection(
            QDBusConnection::connectToBus(m_bus->address(), QStringLiteral("biometric-client")));
    }

    void cleanupTestCase()
    {
        FingerprintReader::setDefaultConnection(QDBusConnection(QStringLiteral("none")));
        QDBusConnection::disconnectFromBus(QStringLiteral("biometric-client"));
        m_bus.reset();
    }

    void reasonText() { QCOMPARE(BiometricContext::unlockReason, QStringLiteral("Entsperre die App mit Touch ID")); }

    void availability_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<QStringList>("fingers");
        QTest::addColumn<bool>("available");
        QTest::newRow("no service") << false << QStringList() << false;
        QTest::newRow("no finger enrolled") << true << QStringList() << false;
        QTest::newRow("a finger enrolled") << true << QStringList{QStringLiteral("right-thumb")} << true;
    }

    void availability()
    {
        QFETCH(bool, running);
        QFETCH(QStringList, fingers);
        QFETCH(bool, available);
        const auto service = running ? startService(fingers, {}) : nullptr;

        QCOMPARE(await(isTouchIDAvailableAsync(), this), std::optional<bool>(available));
        QCOMPARE(await(BiometricContext().canEvaluatePolicyAsync(), this), std::optional<bool>(available));

        BiometricContext context;
        const auto answer = follow(context.canEvaluatePolicyAsync(), this);
        const auto free = follow(isTouchIDAvailableAsync(), this);
        QTRY_VERIFY(answer->has_value() && free->has_value());
        QCOMPARE(**answer, available);
        QCOMPARE(**free, available);
    }

    // fprintd takes the calls and never answers: the GUI thread goes on, cancel() ends the check.
    void hungServiceBlocksNobody()
    {
        const auto service =
            startService({QStringLiteral("right-thumb")}, {QStringLiteral("verify-match")}, FakeFprintd::allMethods());
        BiometricContext context;
        bool loopRan = false;
        QTimer::singleShot(0, this, [&loopRan] { loopRan = true; });
        QFuture<bool> future = context.canEvaluatePolicyAsync();
        const auto answer = follow(future, this);
        QTRY_VERIFY(loopRan);
        QTRY_COMPARE(service->heldReplies(), 1);
        QVERIFY(!future.isFinished());

        QSignalSpy evaluated(&context, &BiometricContext::evaluated);
        context.evaluatePolicy(BiometricContext::unlockReason);
        QTRY_COMPARE(service->heldReplies(), 2);
        QVERIFY(context.isEvaluating());
        context.cancel();
        QVERIFY(future.isCanceled());
        QCOMPARE(evaluated.count(), 1);
        QCOMPARE(evaluated.at(0).at(0).toBool(), false);
        QVERIFY(!context.isEvaluating());

        // The held answers arrive after all: nobody hears of them.
        service->setConfig({});
        service->releaseHeldReplies();
        // A round trip after the late replies.
        QCOMPARE(await(BiometricContext().canEvaluatePolicyAsync(), this), std::optional<bool>(true));
        QCoreApplication::processEvents();
        QVERIFY(!answer->has_value());
        QCOMPARE(evaluated.count(), 1);
    }

    void lateAnswerAfterTheContextIsGone()
    {
        const auto service = startService({QStringLiteral("right-thumb")}, {}, {QStringLiteral("GetDefaultDevice")});
        auto context = std::make_unique<BiometricContext>();
        QFuture<bool> future = context->canEvaluatePolicyAsync();
        const auto answer = follow(future, this);
        QTRY_COMPARE(service->heldReplies(), 1);
        context.reset();
        QVERIFY(future.isCanceled());

        service->setConfig({});
        service->releaseHeldReplies();
        QCOMPARE(await(isTouchIDAvailableAsync(), this), std::optional<bool>(true));
        QCoreApplication::processEvents();
        QVERIFY(!answer->has_value());
    }

    void evaluation_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<bool>("success");
        QTest::newRow("match") << true << QStringList{QStringLiteral("verify-match")} << true;
        QTest::newRow("no match") << true << QStringList{QStringLiteral("verify-no-match")} << false;
        QTest::newRow("unknown error") << true << QStringList{QStringLiteral("verify-unknown-error")} << false;
        QTest::newRow("no service") << false << QStringList() << false;
    }

    void evaluation()
    {
        QFETCH(bool, running);
        QFETCH(QStringList, results);
        QFETCH(bool, success);
        const auto service = running ? startService({QStringLiteral("right-thumb")}, results) : nullptr;

        BiometricContext context;
        QList<bool> replies;
        bool onGuiThread = false;
        connect(&context, &BiometricContext::evaluated, this, [&](bool ok) {
            replies.append(ok);
            onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        });
        context.evaluatePolicy(BiometricContext::unlockReason);
        QCOMPARE(context.localizedReason(), BiometricContext::unlockReason);
        QVERIFY(replies.isEmpty());
        QTRY_COMPARE(replies.size(), 1);
        QCOMPARE(replies.constFirst(), success);
        QVERIFY(onGuiThread);
        QVERIFY(!context.isEvaluating());
    }

    void cancelIsAFailureAndALateMatchNoSuccess()
    {
        const auto service = startService({QStringLiteral("right-thumb")}, {});
        BiometricContext context;
        QSignalSpy evaluated(&context, &BiometricContext::evaluated);
        context.evaluatePolicy(BiometricContext::unlockReason);
        QTRY_COMPARE(service->calls().verifyStarts, 1);
        context.cancel();
        QCOMPARE(evaluated.count(), 1);
        QCOMPARE(evaluated.at(0).at(0).toBool(), false);
        QTRY_COMPARE(service->calls().releases, 1);

        service->sendVerifyStatus(QStringLiteral("verify-match"), true);
        // A round trip after the late signal.
        QCOMPARE(await(context.canEvaluatePolicyAsync(), this), std::optional<bool>(true));
        QCoreApplication::processEvents();
        QCOMPARE(evaluated.count(), 1);
    }
};

TARN_TEST_MAIN(TestBiometricContext)
#include "TestBiometricContext.moc"
