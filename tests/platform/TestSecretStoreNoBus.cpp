#include "platform/secrets/SecretStore.h"
#include "tests/support/TestMain.h"

#include <QTemporaryDir>

// No session bus at all, with a display set (where the bus library would try to launch one).
class TestSecretStoreNoBus : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime;
    const SecretStore::Attributes m_item{{SecretStore::serviceAttribute, QStringLiteral("test.NoBus")},
                                         {SecretStore::accountAttribute, QStringLiteral("key")}};

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_runtime.isValid());
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        qputenv("DISPLAY", ":97");
    }

    // Each call says that there is no bus, instead of waiting for one to be launched.
    void everyCallFails()
    {
        for (int round = 0; round < 2; ++round) {
            const auto found = SecretStore::lookup(m_item);
            QVERIFY(!found);
            QCOMPARE(found.error().code, SecretStoreError::noSessionBus);

            const auto stored = SecretStore::store(m_item, QStringLiteral("label"), QStringLiteral("Geheim1"));
            QVERIFY(!stored);
            QCOMPARE(stored.error().code, SecretStoreError::noSessionBus);

            QVERIFY(!SecretStore::clear(m_item));
        }
    }
};

TARN_TEST_MAIN(TestSecretStoreNoBus)
#include "TestSecretStoreNoBus.moc"
