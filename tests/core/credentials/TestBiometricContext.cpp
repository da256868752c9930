#include "core/credentials/BiometricContext.h"
#include "platform/fingerprint/FingerprintReader.h"
#include "tests/support/FakeFprintd.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>

#include <memory>

// The biometric check over a fake fprintd, reached through the readers' default bus.
class TestBiometricContext : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_bus;

    std::unique_ptr<FakeFprintd> startService(const QStringList& fingers, const QStringList& results)
    {
        auto service = std::make_unique<FakeFprintd>(m_bus->address());
        FakeFprintd::Config config;
        config.enrolledFingers = fingers;
        config.verifyResults = results;
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

    void availability()
    {
        QElapsedTimer elapsed;
        elapsed.start();
        QVERIFY(!isTouchIDAvailable());
        QVERIFY(elapsed.elapsed() < 2000);
        {
            const auto service = startService({}, {});
            QVERIFY(!isTouchIDAvailable());
            QVERIFY(!BiometricContext().canEvaluatePolicy());
        }
        const auto service = startService({QStringLiteral("right-thumb")}, {});
        QVERIFY(isTouchIDAvailable());
        QVERIFY(BiometricContext().canEvaluatePolicy());
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

    void cancelIsAFailure()
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
    }
};

TARN_TEST_MAIN(TestBiometricContext)
#include "TestBiometricContext.moc"
