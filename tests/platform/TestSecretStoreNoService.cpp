#include "platform/secrets/SecretStore.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/SilentService.h"
#include "tests/support/TestMain.h"

#include <memory>

using namespace std::chrono_literals;

// A session bus without a Secret Service, and then with one that never answers. Every call fails
// instead of waiting; a hang would end in the test's timeout.
class TestSecretStoreNoService : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_bus;
    SilentService m_silent;
    const SecretStore::Attributes m_item{{SecretStore::serviceAttribute, QStringLiteral("test.NoService")},
                                         {SecretStore::accountAttribute, QStringLiteral("key")}};

    // The failures of a lookup, a store and a clear, in that order; none names the password.
    QStringList failures()
    {
        const auto found = SecretStore::lookup(m_item);
        const auto stored = SecretStore::store(m_item, QStringLiteral("label"), QStringLiteral("Geheim1"));
        const auto cleared = SecretStore::clear(m_item);
        if (found || stored || cleared) {
            return {};
        }
        QStringList messages{found.error().message, stored.error().message, cleared.error().message};
        for (const QString& message : std::as_const(messages)) {
            if (message.contains(QStringLiteral("Geheim1"))) {
                return {};
            }
        }
        return messages;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_bus = std::make_unique<PrivateBus>();
        QVERIFY(m_bus->isRunning());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().toUtf8());
        SecretStore::setCallDeadline(300ms);
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("silent-secrets"));
        m_bus.reset();
    }

    void noServiceFails()
    {
        const QStringList messages = failures();
        QCOMPARE(messages.size(), 3);
        for (const QString& message : messages) {
            QVERIFY(!message.isEmpty());
            QVERIFY(message != SecretStore::timeoutMessage());
        }
    }

    // Runs last: the calls it gives up on may stay blocked until the bus goes away.
    void silentServiceFailsEveryCall()
    {
        QVERIFY(m_silent.serve(m_bus->address(), QStringLiteral("silent-secrets"),
                               QStringLiteral("org.freedesktop.secrets")));
        const QStringList messages = failures();
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages.at(0), SecretStore::timeoutMessage());
        // A change given up on is read back; with the store still silent its outcome is unknown,
        // unless the change was skipped because the lookup still hangs.
        const QString unknown =
            QStringLiteral("The secret store did not answer in time; the change may have been stored.");
        for (const QString& message : messages.mid(1)) {
            QVERIFY2(message == SecretStore::timeoutMessage() || message == unknown, qPrintable(message));
        }
    }
};

TARN_TEST_MAIN(TestSecretStoreNoService)
#include "TestSecretStoreNoService.moc"
