#include "core/credentials/KeychainService.h"
#include "core/credentials/PasswordViewModel.h"
#include "tests/support/FutureAnswer.h"
#include "tests/support/PrivateKeyring.h"
#include "tests/support/TestMain.h"

#include <memory>

// A keyring of its own whose default collection gets locked, on a bus where the keyring cannot
// show its unlock prompt (no prompter can be started): each call asks to unlock, the keyring
// refuses at once, and the call fails as locked, with the German text that says what to do.
class TestLockedKeyring : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;
    const QString m_service = QStringLiteral("test.TestLockedKeyring.ZipPassword");
    const PasswordModel m_archiveModel{ModelType::zipPassword, m_service, QString(), false};
    const PasswordModel m_appModel{ModelType::masterPassword, QStringLiteral("test.TestLockedKeyring.Master"),
                                   QString(), true};
    const QString m_flagKey = QStringLiteral("useTouchID");
    const QString m_lockedText = QStringLiteral("Der Schlüsselbund ist gesperrt. Entsperre ihn, um fortzufahren.");

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

    void callFailsAsLocked_data()
    {
        QTest::addColumn<QString>("call");
        QTest::newRow("read") << "read";
        QTest::newRow("write") << "write";
        QTest::newRow("remove") << "remove";
    }

    void callFailsAsLocked()
    {
        QFETCH(QString, call);
        const KeychainService keychain(m_service);
        const QString key = QStringLiteral("zipPassword");
        std::optional<SecretStoreError> error;
        if (call == QLatin1String("read")) {
            const auto result = keychain.getString(key);
            QVERIFY(!result);
            error = result.error();
        } else {
            const auto result =
                call == QLatin1String("write") ? keychain.set(QStringLiteral("Neu1"), key) : keychain.remove(key);
            QVERIFY(!result);
            error = result.error();
        }
        QCOMPARE(error->code, SecretStoreError::locked);
        QCOMPARE(error->message(), m_lockedText);
    }

    void flagReadsFalse()
    {
        const KeychainService keychain(m_service);
        QVERIFY(!keychain.getBool(m_flagKey));
        keychain.setBool(false, m_flagKey); // silent
        PasswordViewModel viewModel(m_appModel);
        QCOMPARE(await(viewModel.loadTouchIDAsync(), this), std::optional<bool>(false));
        QVERIFY(!viewModel.useTouchID());
    }

    void asyncCallsReportTheLockedStore()
    {
        const KeychainService keychain(m_service);
        const auto found = await(keychain.getStringAsync(QStringLiteral("zipPassword")), this);
        QVERIFY(found && !found->hasValue());
        QCOMPARE(found->error().code, SecretStoreError::locked);
        const auto digest = await(keychain.getDigestAsync(QStringLiteral("zipPassword")), this);
        QVERIFY(digest && !digest->hasValue());
        QCOMPARE(digest->error().code, SecretStoreError::locked);
        const auto stored = await(keychain.setAsync(QStringLiteral("Neu1"), QStringLiteral("zipPassword")), this);
        QVERIFY(stored && !stored->hasValue());
        QCOMPARE(stored->error().code, SecretStoreError::locked);
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
        const auto outcome = await(viewModel.validateAndSaveAsync(), this);
        QVERIFY(outcome);
        const auto& result = *outcome;
        QVERIFY(!result);
        QCOMPARE(result.error(), PasswordValidationError::keychain(m_lockedText));
        QCOMPARE(result.error().errorDescription(),
                 QStringLiteral("Es gab einen Fehler beim Zugriff auf den Schlüsselbund: ") + m_lockedText);
        QVERIFY(!result.error().errorDescription().contains(QStringLiteral("Geheim2")));
        QCOMPARE(viewModel.warningText(), std::nullopt);
    }

    void removalReportsCannotBeDeleted()
    {
        PasswordViewModel viewModel(m_archiveModel);
        const auto outcome = await(viewModel.deletePasswordAsync(), this);
        QVERIFY(outcome);
        const auto& result = *outcome;
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
