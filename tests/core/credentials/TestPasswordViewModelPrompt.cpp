#include "core/credentials/KeychainService.h"
#include "core/credentials/PasswordViewModel.h"
#include "tests/support/FutureAnswer.h"
#include "tests/support/KeyringPrompt.h"
#include "tests/support/PrivateDisplay.h"
#include "tests/support/PrivateKeyring.h"
#include "tests/support/TestMain.h"

#include <memory>

// Replacing the archive password in a locked keyring, with the keyring's real prompt: the check for
// an existing password asks to unlock. Unlocked, the existing password is found and the user is
// asked before it is replaced; dismissed, the save stops there, without a second prompt for the
// write that would replace the password unasked.
class TestPasswordViewModelPrompt : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateDisplay> m_display;
    std::unique_ptr<PrivateKeyring> m_keyring;
    std::unique_ptr<KeyringPrompt> m_prompt;
    const PasswordModel m_archive{ModelType::zipPassword, QStringLiteral("test.TestPasswordViewModelPrompt.Zip"),
                                  QString(), false};
    const QString m_key = rawValue(ModelType::zipPassword);

private Q_SLOTS:
    void initTestCase() { QVERIFY(startPromptingKeyring(m_display, m_keyring, m_prompt)); }

    void cleanupTestCase()
    {
        m_prompt.reset();
        m_keyring.reset();
        m_display.reset();
    }

    void archiveSave_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QString>("error"); // the user's text
        QTest::newRow("unlocked: the question comes")
            << true
            << PasswordValidationError(PasswordValidationError::existingPasswordNeedsOverride).errorDescription();
        QTest::newRow("dismissed: the save stops")
            << false
            << QStringLiteral("Es gab einen Fehler beim Zugriff auf den Schlüsselbund: Der Schlüsselbund ist gesperrt. "
                              "Entsperre ihn, um fortzufahren.");
    }

    void archiveSave()
    {
        QFETCH(bool, answered);
        QFETCH(QString, error);
        QVERIFY(m_keyring->unlock());
        QVERIFY(KeychainService(m_archive.service).set(QStringLiteral("Alt1234"), m_key));
        QVERIFY(m_keyring->lock());

        PasswordViewModel viewModel(m_archive);
        viewModel.setPassword1(QStringLiteral("Neu12345"));
        viewModel.setPassword2(QStringLiteral("Neu12345"));
        const auto saved = follow(viewModel.validateAndSaveAsync(), this);
        QVERIFY(m_prompt->waitForWindow());
        QVERIFY(answered ? m_prompt->answer(PrivateKeyring::password()) : m_prompt->dismiss());
        QTRY_VERIFY_WITH_TIMEOUT(saved->has_value(), 20000);
        QVERIFY(!saved->value());
        QCOMPARE(saved->value().error().errorDescription(), error);
        QCOMPARE(m_prompt->count(), 0);
        QCOMPARE(viewModel.warningText(), std::nullopt);

        QVERIFY(m_keyring->unlock());
        const auto stored = KeychainService(m_archive.service).getString(m_key);
        QVERIFY(stored);
        QCOMPARE(stored->value_or(QString()), QStringLiteral("Alt1234"));
    }
};

TARN_TEST_MAIN(TestPasswordViewModelPrompt)
#include "TestPasswordViewModelPrompt.moc"
