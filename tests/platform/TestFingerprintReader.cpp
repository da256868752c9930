#include "platform/fingerprint/FingerprintReader.h"
#include "tests/support/FakeFprintd.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>

#include <memory>

// Against a fake fprintd on a private bus.
class TestFingerprintReader : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_bus;
    std::unique_ptr<QDBusConnection> m_client;

    static FakeFprintd::Config config(bool hasDevice, const QStringList& fingers, const QStringList& results)
    {
        FakeFprintd::Config c;
        c.hasDevice = hasDevice;
        c.enrolledFingers = fingers;
        c.verifyResults = results;
        return c;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_bus = std::make_unique<PrivateBus>();
        QVERIFY(m_bus->isRunning());
        m_client = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(m_bus->address(), QStringLiteral("fingerprint-client")));
        QVERIFY(m_client->isConnected());
    }

    void cleanupTestCase()
    {
        m_client.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("fingerprint-client"));
        m_bus.reset();
    }

    void availability_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("hasDevice");
        QTest::addColumn<QStringList>("fingers");
        QTest::addColumn<bool>("available");
        const QStringList one{QStringLiteral("right-index-finger")};
        QTest::newRow("no service") << false << false << QStringList() << false;
        QTest::newRow("no device") << true << false << QStringList() << false;
        QTest::newRow("device without fingers") << true << true << QStringList() << false;
        QTest::newRow("device with a finger") << true << true << one << true;
    }

    void availability()
    {
        QFETCH(bool, running);
        QFETCH(bool, hasDevice);
        QFETCH(QStringList, fingers);
        QFETCH(bool, available);

        std::unique_ptr<FakeFprintd> service;
        if (running) {
            service = std::make_unique<FakeFprintd>(m_bus->address());
            QVERIFY(service->isRegistered());
            service->setConfig(config(hasDevice, fingers, {}));
        }
        const FingerprintReader reader(*m_client);
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(reader.isAvailable(), available);
        QVERIFY(elapsed.elapsed() < 2000);
    }

    void systemBusAnswersPromptly()
    {
        // Whatever this machine has (no system bus, no fprintd, a reader), the answer is quick.
        const FingerprintReader reader(QDBusConnection::systemBus());
        QElapsedTimer elapsed;
        elapsed.start();
        (void)reader.isAvailable();
        QVERIFY(elapsed.elapsed() < 2000);
    }

    void noBusIsUnavailable()
    {
        FingerprintReader reader(QDBusConnection(QStringLiteral("not-connected")));
        QVERIFY(!reader.isAvailable());
        QSignalSpy finished(&reader, &FingerprintReader::verificationFinished);
        reader.verify();
        QCOMPARE(finished.count(), 0); // answered later, never from inside verify()
        QVERIFY(finished.wait());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
    }

    void verification_data()
    {
        QTest::addColumn<bool>("hasDevice");
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<bool>("matched");
        QTest::newRow("match") << true << QStringList{QStringLiteral("verify-match")} << true;
        QTest::newRow("no match") << true << QStringList{QStringLiteral("verify-no-match")} << false;
        QTest::newRow("retry, then match")
            << true << QStringList{QStringLiteral("verify-retry-scan"), QStringLiteral("verify-match")} << true;
        QTest::newRow("disconnected") << true << QStringList{QStringLiteral("verify-disconnected")} << false;
        QTest::newRow("no device") << false << QStringList{QStringLiteral("verify-match")} << false;
    }

    void verification()
    {
        QFETCH(bool, hasDevice);
        QFETCH(QStringList, results);
        QFETCH(bool, matched);

        FakeFprintd service(m_bus->address());
        QVERIFY(service.isRegistered());
        service.setConfig(config(hasDevice, {QStringLiteral("left-thumb")}, results));
        FingerprintReader reader(*m_client);
        QSignalSpy finished(&reader, &FingerprintReader::verificationFinished);

        reader.verify();
        QVERIFY(reader.isVerifying());
        QVERIFY(finished.wait());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), matched);
        QVERIFY(!reader.isVerifying());

        if (hasDevice) {
            QCOMPARE(service.calls().verifyFinger, QStringLiteral("any"));
            // The device is handed back.
            QTRY_COMPARE(service.calls().releases, 1);
            QCOMPARE(service.calls().verifyStops, 1);
            QCOMPARE(service.calls().claimed, false);
        }
        QCOMPARE(finished.count(), 1);
    }

    void cancelWhileWaitingForAFinger()
    {
        FakeFprintd service(m_bus->address());
        service.setConfig(config(true, {QStringLiteral("left-thumb")}, {}));
        FingerprintReader reader(*m_client);
        QSignalSpy finished(&reader, &FingerprintReader::verificationFinished);

        reader.verify();
        QTRY_COMPARE(service.calls().verifyStarts, 1);
        reader.verify(); // ignored while one runs
        reader.cancel();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QTRY_COMPARE(service.calls().releases, 1);
        QCOMPARE(service.calls().verifyStops, 1);
        QCOMPARE(service.calls().claims, 1);

        // The reader can be used again.
        service.setConfig(config(true, {QStringLiteral("left-thumb")}, {QStringLiteral("verify-match")}));
        reader.verify();
        QVERIFY(finished.wait());
        QCOMPARE(finished.count(), 2);
        QCOMPARE(finished.at(1).at(0).toBool(), true);
    }

    void cancelBeforeTheDeviceAnswered()
    {
        FakeFprintd service(m_bus->address());
        service.setConfig(config(true, {QStringLiteral("left-thumb")}, {QStringLiteral("verify-match")}));
        FingerprintReader reader(*m_client);
        QSignalSpy finished(&reader, &FingerprintReader::verificationFinished);
        reader.verify();
        reader.cancel();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        reader.cancel();
        QCOMPARE(finished.count(), 1);
    }

    void serviceGoneWhileWaiting()
    {
        auto service = std::make_unique<FakeFprintd>(m_bus->address());
        service->setConfig(config(true, {QStringLiteral("left-thumb")}, {}));
        FingerprintReader reader(*m_client);
        QSignalSpy finished(&reader, &FingerprintReader::verificationFinished);
        reader.verify();
        QTRY_COMPARE(service->calls().verifyStarts, 1);
        service.reset();
        QVERIFY(finished.wait());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
    }
};

TARN_TEST_MAIN(TestFingerprintReader)
#include "TestFingerprintReader.moc"
