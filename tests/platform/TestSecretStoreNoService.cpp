#include "platform/secrets/SecretStore.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TestMain.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QElapsedTimer>

#include <memory>

namespace {

// Owns the Secret Service's name and never answers.
class SilentService : public QDBusVirtualObject
{
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

} // namespace

// A session bus without a Secret Service, and then with one that never answers.
class TestSecretStoreNoService : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_bus;
    SilentService m_silent;
    const SecretStore::Attributes m_item{{SecretStore::serviceAttribute, QStringLiteral("test.NoService")},
                                         {SecretStore::accountAttribute, QStringLiteral("key")}};

    // All three calls together fail within the time one call may take.
    void expectPromptFailures(const QString& expectedMessage)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        const auto found = SecretStore::lookup(m_item);
        QVERIFY(!found);
        const auto stored = SecretStore::store(m_item, QStringLiteral("label"), QStringLiteral("Geheim1"));
        QVERIFY(!stored);
        const auto cleared = SecretStore::clear(m_item);
        QVERIFY(!cleared);
        QVERIFY(elapsed.elapsed() < 2000);

        for (const QString& message : {found.error().message, stored.error().message, cleared.error().message}) {
            QVERIFY(!message.contains(QStringLiteral("Geheim1")));
            if (!expectedMessage.isEmpty()) {
                QCOMPARE(message, expectedMessage);
            }
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_bus = std::make_unique<PrivateBus>();
        QVERIFY(m_bus->isRunning());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().toUtf8());
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("silent-secrets"));
        m_bus.reset();
    }

    void noServiceFailsPromptly() { expectPromptFailures({}); }

    // Runs last: the calls it gives up on stay blocked until the bus goes away.
    void silentServiceFailsWithinTheDeadline()
    {
        QDBusConnection bus = QDBusConnection::connectToBus(m_bus->address(), QStringLiteral("silent-secrets"));
        QVERIFY(bus.registerVirtualObject(QStringLiteral("/"), &m_silent, QDBusConnection::SubPath));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.secrets")));
        expectPromptFailures(QStringLiteral("The secret store did not answer in time."));
    }
};

TARN_TEST_MAIN(TestSecretStoreNoService)
#include "TestSecretStoreNoService.moc"
