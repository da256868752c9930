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
    QList<SecretStoreError::Code> failures()
    {
        const auto found = SecretStore::lookup(m_item);
        const auto stored = SecretStore::store(m_item, QStringLiteral("label"), QStringLiteral("Geheim1"));
        const auto cleared = SecretStore::clear(m_item);
        if (found || stored || cleared) {
            return {};
        }
        for (const SecretStoreError& error : {found.error(), stored.error(), cleared.error()}) {
            if (error.message().contains(QStringLiteral("Geheim1")) ||
                error.detail.contains(QStringLiteral("Geheim1"))) {
                return {};
            }
        }
        return {found.error().code, stored.error().code, cleared.error().code};
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
        const auto codes = failures();
        QCOMPARE(codes, QList<SecretStoreError::Code>(3, SecretStoreError::noService));
    }

    // Runs last: the calls it gives up on may stay blocked until the bus goes away.
    void silentServiceFailsEveryCall()
    {
        QVERIFY(m_silent.serve(m_bus->address(), QStringLiteral("silent-secrets"),
                               QStringLiteral("org.freedesktop.secrets")));
        const auto codes = failures();
        QCOMPARE(codes.size(), 3);
        QCOMPARE(codes.at(0), SecretStoreError::timedOut);
        // A change given up on is read back; with the store still silent its outcome is unknown,
        // unless the change was skipped because the lookup still hangs.
        for (const SecretStoreError::Code code : codes.mid(1)) {
            QVERIFY2(code == SecretStoreError::timedOut || code == SecretStoreError::outcomeUnknown,
                     SecretStoreError::name(code));
        }
    }
};

TARN_TEST_MAIN(TestSecretStoreNoService)
#include "TestSecretStoreNoService.moc"
