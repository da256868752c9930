#include "core/credentials/KeychainService.h"
#include "core/credentials/PasswordViewModel.h"
#include "tests/support/FutureAnswer.h"
#include "tests/support/PrivateKeyring.h"
#include "tests/support/TestMain.h"


#include <memory>

// A keyring of its own whose default collection gets locked: no call may wait for an unlock
// prompt, and failures reach the user with the store's description.
class TestLockedKeyring : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;
    const QString m_service = QStringLiteral("test.TestLockedKeyring.ZipPassword");
    const PasswordModel m_archiveModel{ModelType::zipPassword, m_service, QString(), false};
    const PasswordModel m_appModel{ModelType::masterPassword, QStringLiteral("test.TestLockedKeyring.Master"),
                                   QString(), true};
    const QString m_flagKey = QStringLiteral("useTouchID");

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = std::make_unique<PrivateKeyring>();
        QVERIFY(m_keyring->isRunning());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_keyring->busAddress().toUtf8());

        // Stored while the keyring is open.
        const KeychainService keychain(m_service);
        QVERIFY(keychain.set(QStringLiteral("Vorher1"), QStringLiteral("zipPassword")));
        keychain.setBool(true, m_flagKey);
        QVERIFY(keychain.getBool(m_flagKey));
        QVERIFY(m_keyring->lock());
    }

    void cleanupTestCase() { m_keyring.reset(); }

    void readFails()
    {
        const auto result = KeychainService(m_service).getString(QStringLiteral("zipPassword"));
        QVERIFY(!result);
        QCOMPARE(result.error().message, QStringLiteral("The keyring is locked."));
    }

    void writeFails()
    {
        const auto result = KeychainService(m_service).set(QStringLiteral("Neu1"), QStringLiteral("zipPassword"));
        QVERIFY(!result);
        QCOMPARE(result.error().message, QStringLiteral("The keyring is locked."));
    }

    void removeFails() { QVERIFY(!KeychainService(m_service).remove(QStringLiteral("zipPassword"))); }

    void flagReadsFalse()
    {
        const KeychainService keychain(m_service);
        QVERIFY(!keychain.getBool(m_flagKey));
        keychain.setBool(false, m_flagKey); // silent
        QVERIFY(!PasswordViewModel(m_appModel).useTouchID());
    }

    void asyncCallsReportTheLockedStore()
    {
        const KeychainService keychain(m_service);
        const QString locked = QStringLiteral("The keyring is locked.");
        const auto found = await(keychain.getStringAsync(QStringLiteral("zipPassword")), this);
        QVERIFY(found && !found->hasValue());
        QCOMPARE(found->error().message, locked);
        const auto stored = await(keychain.setAsync(QStringLiteral("Neu1"), QStringLiteral("zipPassword")), this);
        QVERIFY(stored && !stored->hasValue());
        QCOMPARE(stored->error().message, locked);
        const auto removed = await(keychain.removeAsync(QStringLiteral("zipPassword")), this);
        QVERIFY(removed && !removed->hasValue());
        QCOMPARE(await(keychain.getBoolAsync(m_flagKey), this), std::optional<bool>(false));
        QCOMPARE(await(keychain.setBoolAsync(false, m_flagKey), this), std::optional<bool>(false));
    }

    void saveReportsTheStoresDescription()
    {
        PasswordViewModel viewModel(m_archiveModel);
        viewModel.setPassword1(QStringLiteral("Geheim2"));
        viewModel.setPassword2(QStringLiteral("Geheim2"));
        // The existing password cannot be read, so there is no question; the write then fails.
        const auto result = viewModel.validateAndSave();
        QVERIFY(!result);
        QCOMPARE(result.error(), PasswordValidationError::keychain(QStringLiteral("The keyring is locked.")));
        QCOMPARE(result.error().errorDescription(),
                 QStringLiteral("Es gab einen Fehler beim Zugriff auf den Schlüsselbund: The keyring is locked."));
        QVERIFY(!result.error().errorDescription().contains(QStringLiteral("Geheim2")));
        QCOMPARE(viewModel.warningText(), std::nullopt);
    }

    void removalReportsCannotBeDeleted()
    {
        PasswordViewModel viewModel(m_archiveModel);
        const auto result = viewModel.deletePassword();
        QVERIFY(!result);
        QCOMPARE(result.error(), PasswordValidationError(PasswordValidationError::passwordCannotBeDeleted));
        QCOMPARE(viewModel.warningText(), std::nullopt);
    }

    // Last: nothing of the failed calls was written or removed.
    void unlockedAgainEverythingIsAsBefore()
    {
        QVERIFY(m_keyring->unlock());
        const KeychainService keychain(m_service);
        const auto result = keychain.getString(QStringLiteral("zipPassword"));
        QVERIFY(result);
        QCOMPARE(result->value_or(QString()), QStringLiteral("Vorher1"));
        QVERIFY(keychain.getBool(m_flagKey));
    }
};

TARN_TEST_MAIN(TestLockedKeyring)
#include "TestLockedKeyring.moc"
