#include "platform/fingerprint/FingerprintReader.h"
#include "tests/support/FakeFprintd.h"
#include "tests/support/FutureAnswer.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TestMain.h"

#include <QFuture>
#include <QTimer>

#include <memory>
#include <optional>

using namespace std::chrono_literals;

// Against a fake fprintd on a private bus.
class TestFingerprintReader : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_bus;
    std::unique_ptr<QDBusConnection> m_client;

    static FakeFprintd::Config config(bool hasDevice, const QStringList& fingers, const QStringList& results,
                                      const QStringList& held = {})
    {
        FakeFprintd::Config c;
        c.hasDevice = hasDevice;
        c.enrolledFingers = fingers;
        c.verifyResults = results;
        c.heldMethods = held;
        return c;
    }

    // One more check answered by the service: replies sent before it have been handled by then.
    void roundTrip(FingerprintReader& reader) { QVERIFY(await(reader.checkAvailability(), this).has_value()); }

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
        FingerprintReader reader(*m_client);
        QCOMPARE(await(FingerprintReader(*m_client).checkAvailability(), this), std::optional<bool>(available));

        QCOMPARE(await(reader.checkAvailability(), this), std::optional<bool>(available));
    }

    // A service that takes calls and never answers.
    void hungServiceBlocksNobody()
    {
        FakeFprintd service(m_bus->address());
        QVERIFY(service.isRegistered());
        service.setConfig(config(true, {QStringLiteral("left-thumb")}, {}, FakeFprintd::allMethods()));
        FingerprintReader reader(*m_client);
        reader.setAvailabilityDeadline(200ms);
        reader.setCallTimeout(200ms);

        bool loopRan = false;
        QTimer::singleShot(0, this, [&loopRan] { loopRan = true; });
        const QFuture<bool> future = reader.checkAvailability();
        QVERIFY(!future.isFinished());
        QCOMPARE(await(future, this), std::optional<bool>(false));
        QVERIFY(loopRan);
        QCOMPARE(service.heldReplies(), 1);

        QSignalSpy finished(&reader, &FingerprintReader::verificationFinished);
        reader.verify();
        QVERIFY(finished.wait());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QVERIFY(!reader.isVerifying());
    }

    void lateAvailabilityRepliesAreDropped_data()
    {
        QTest::addColumn<QString>("heldMethod");
        QTest::addColumn<bool>("readerGone");
        QTest::newRow("device, cancelled") << QStringLiteral("GetDefaultDevice") << false;
        QTest::newRow("fingers, cancelled") << QStringLiteral("ListEnrolledFingers") << false;
        QTest::newRow("device, reader gone") << QStringLiteral("GetDefaultDevice") << true;
        QTest::newRow("fingers, reader gone") << QStringLiteral("ListEnrolledFingers") << true;
    }

    void lateAvailabilityRepliesAreDropped()
    {
        QFETCH(QString, heldMethod);
        QFETCH(bool, readerGone);
        FakeFprintd service(m_bus->address());
        service.setConfig(config(true, {QStringLiteral("left-thumb")}, {}, {heldMethod}));
        auto reader = std::make_unique<FingerprintReader>(*m_client);

        QFuture<bool> future = reader->checkAvailability();
        const auto answer = follow(future, this);
        QTRY_COMPARE(service.heldReplies(), 1);
        if (readerGone)
            reader.reset();
        else
            reader->cancelAvailabilityChecks();
        QVERIFY(future.isFinished());
        QVERIFY(future.isCanceled());

        service.setConfig(config(true, {QStringLiteral("left-thumb")}, {}));
        service.releaseHeldReplies();
        if (reader)
            roundTrip(*reader);
        else
            roundTrip(*std::make_unique<FingerprintReader>(*m_client));
        QVERIFY(!answer->has_value());
        QCOMPARE(future.resultCount(), 0);
    }

    void noBusIsUnavailable()
    {
        FingerprintReader reader(QDBusConnection(QStringLiteral("not-connected")));
        QCOMPARE(await(FingerprintReader(QDBusConnection(QStringLiteral("not-connected"))).checkAvailability(), this),
                 std::optional<bool>(false));
        const QFuture<bool> future = reader.checkAvailability();
        QVERIFY(future.isFinished());
        QCOMPARE(future.result(), false);
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

    void cancelWhileWaitingForAFingerAndALateMatch()
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

        // A match the reader reports late is no success.
        service.sendVerifyStatus(QStringLiteral("verify-match"), true);
        roundTrip(reader);
        QCOMPARE(finished.count(), 1);

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

    // The device answers its claim only after the check was cancelled: it is handed back.
    void lateClaimAfterCancelReleasesTheDevice()
    {
        FakeFprintd service(m_bus->address());
        service.setConfig(
            config(true, {QStringLiteral("left-thumb")}, {QStringLiteral("verify-match")}, {QStringLiteral("Claim")}));
        FingerprintReader reader(*m_client);
        QSignalSpy finished(&reader, &FingerprintReader::verificationFinished);
        reader.verify();
        QTRY_COMPARE(service.calls().claims, 1);
        reader.cancel();
        QCOMPARE(finished.count(), 1);

        service.releaseHeldReplies();
        QTRY_COMPARE(service.calls().releases, 1);
        QCOMPARE(service.calls().claimed, false);
        QCOMPARE(service.calls().verifyStarts, 0);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
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
