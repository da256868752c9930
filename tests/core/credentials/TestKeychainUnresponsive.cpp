#include "core/credentials/KeychainService.h"
#include "tests/support/FutureAnswer.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/SilentService.h"
#include "tests/support/TestMain.h"

#include <QTimer>

#include <memory>

using namespace std::chrono_literals;

// A Secret Service that takes every call and never answers: each asynchronous call still ends
// with a failure, and the GUI thread runs on meanwhile.
class TestKeychainUnresponsive : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_bus;
    SilentService m_silent;
    const KeychainService m_keychain{QStringLiteral("test.TestKeychainUnresponsive")};
    bool m_loopRan = false;

private Q_SLOTS:
    void initTestCase()
    {
        m_bus = std::make_unique<PrivateBus>();
        QVERIFY(m_bus->isRunning());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().toUtf8());
        QVERIFY(m_silent.serve(m_bus->address(), QStringLiteral("silent-secrets"),
                               QStringLiteral("org.freedesktop.secrets")));
        SecretStore::setCallDeadline(300ms);
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("silent-secrets"));
        m_bus.reset();
    }

    void init()
    {
        m_loopRan = false;
        QTimer::singleShot(0, this, [this] { m_loopRan = true; });
    }
    void cleanup() { QVERIFY(m_loopRan); }

    void readFails()
    {
        const auto found = await(m_keychain.getStringAsync(QStringLiteral("key")), this);
        QVERIFY(found && !found->hasValue());
        QCOMPARE(found->error().code, SecretStoreError::timedOut);
    }

    void writeFails()
    {
        const auto stored = await(m_keychain.setAsync(QStringLiteral("Geheim1"), QStringLiteral("key")), this);
        QVERIFY(stored && !stored->hasValue());
        QVERIFY(!stored->error().message().contains(QStringLiteral("Geheim1")));
        QVERIFY(!stored->error().detail.contains(QStringLiteral("Geheim1")));
    }

    void removalFails()
    {
        const auto removed = await(m_keychain.removeAsync(QStringLiteral("key")), this);
        QVERIFY(removed && !removed->hasValue());
    }

    void flagReadsFalseAndItsWriteFails()
    {
        QCOMPARE(await(m_keychain.getBoolAsync(QStringLiteral("useTouchID")), this), std::optional<bool>(false));
        QCOMPARE(await(m_keychain.setBoolAsync(true, QStringLiteral("useTouchID")), this), std::optional<bool>(false));
    }
};

TARN_TEST_MAIN(TestKeychainUnresponsive)
#include "TestKeychainUnresponsive.moc"
