#include "core/credentials/PasswordViewModel.h"
#include "tests/support/TestMain.h"

#include <QLoggingCategory>

// Items under names of the test's own; the Touch ID flag is found by its account alone, so the
// executable's private keyring (TestEnvironment) is what keeps the user's flag out of reach.
class TestPasswordViewModel : public QObject
{
    Q_OBJECT

    const PasswordModel m_appModel{ModelType::masterPassword,
                                   QStringLiteral("test.de.Tarn-Backup-Manager.MasterPassword"),
                                   QStringLiteral("App-Passwort"), true};
    const PasswordModel m_archiveModel{ModelType::zipPassword,
                                       QStringLiteral("test.de.Tarn-Backup-Manager.ZipPassword"),
                                       QStringLiteral("Archiv-Passwort"), false};

    static QString stored(const PasswordModel& model)
    {
        const auto result = KeychainService(model.service).getString(rawValue(model.key));
        if (!result) {
            return QStringLiteral("<error: %1>").arg(QLatin1String(SecretStoreError::name(result.error().code)));
        }
        return result->value_or(QStringLiteral("<absent>"));
    }

    static void enter(PasswordViewModel& viewModel, const QString& first, const QString& second)
    {
        viewModel.setPassword1(first);
        viewModel.setPassword2(second);
    }

    static int failureOf(const Result<void, PasswordValidationError>& result)
    {
        return result ? -1 : int(result.error().code);
    }

    // The result of an asynchronous call, once the event loop has finished it.
    template <typename T>
    static std::optional<T> finished(QFuture<T> future)
    {
        if (!QTest::qWaitFor([&future] { return future.isFinished(); }) || future.resultCount() == 0) {
            return std::nullopt;
        }
        return future.result();
    }

    static int failureOf(const std::optional<PasswordViewModel::Outcome>& outcome)
    {
        return outcome ? failureOf(*outcome) : -2;
    }

    // The Touch ID choice of a fresh model once it has read the flag.
    static std::optional<bool> touchIDChoice(const PasswordModel& model)
    {
        PasswordViewModel viewModel(model);
        if (!finished(viewModel.loadTouchIDAsync())) {
            return std::nullopt;
        }
        return viewModel.useTouchID();
    }

private Q_SLOTS:
    void init()
    {
        for (const PasswordModel& model : {m_appModel, m_archiveModel}) {
            QVERIFY(KeychainService(model.service).remove(rawValue(model.key)));
        }
        QVERIFY(SecretStore::clear({{SecretStore::accountAttribute, PasswordViewModel::touchIDKey}}));
    }

    void cleanupTestCase() { init(); }

    void modelTypeRawValues()
    {
        QCOMPARE(rawValue(ModelType::masterPassword), QStringLiteral("masterPassword"));
        QCOMPARE(rawValue(ModelType::zipPassword), QStringLiteral("zipPassword"));
        QCOMPARE(modelTypeFromRawValue(QStringLiteral("zipPassword")), std::optional(ModelType::zipPassword));
        QCOMPARE(modelTypeFromRawValue(QStringLiteral("ZipPassword")), std::nullopt);
        QCOMPARE(modelTypeFromRawValue(QString()), std::nullopt);
    }

    void rulesApplyInOrder_data()
    {
        QTest::addColumn<QString>("password1");
        QTest::addColumn<QString>("password2");
        QTest::addColumn<int>("expected");

        using E = PasswordValidationError;
        QTest::newRow("empty") << ""
                               << "" << int(E::passwordTooWeak);
        QTest::newRow("three letters") << "abc"
                                       << "abc" << int(E::passwordTooWeak);
        QTest::newRow("three with a space") << "a b"
                                            << "a b" << int(E::passwordTooWeak);
        QTest::newRow("three, repetition differs") << "ab!"
                                                   << "xyz" << int(E::passwordTooWeak);
        QTest::newRow("three combined characters")
            << QStringLiteral("e\u0301a\u0308o\u0308") << QStringLiteral("e\u0301a\u0308o\u0308")
            << int(E::passwordTooWeak);
        QTest::newRow("two emoji in four code units") << "😀😀"
                                                      << "😀😀" << int(E::passwordTooWeak);
        QTest::newRow("four letters with a space") << "ab cd"
                                                   << "ab cd" << int(E::passwordContainsSpaces);
        QTest::newRow("space and punctuation") << "ab c!"
                                               << "xyz" << int(E::passwordContainsSpaces);
        QTest::newRow("one punctuation mark") << "Passwort1."
                                              << "Passwort1." << int(E::passwordInvalidCharacters);
        QTest::newRow("tab") << "Pass\twort"
                             << "Pass\twort" << int(E::passwordInvalidCharacters);
        QTest::newRow("no-break space") << QStringLiteral("Pass\u00A0wort") << QStringLiteral("Pass\u00A0wort")
                                        << int(E::passwordInvalidCharacters);
        QTest::newRow("symbol") << "Pass€wort"
                                << "Pass€wort" << int(E::passwordInvalidCharacters);
        QTest::newRow("emoji") << "Pass😀"
                               << "Pass😀" << int(E::passwordInvalidCharacters);
        QTest::newRow("superscript digit") << "Pass²"
                                           << "Pass²" << int(E::passwordInvalidCharacters);
        QTest::newRow("invalid before mismatch") << "Pass-wort"
                                                 << "anders" << int(E::passwordInvalidCharacters);
        QTest::newRow("last character differs") << "Passwort1"
                                                << "Passwort2" << int(E::passwordsDoNotMatch);
        QTest::newRow("umlauts, sharp s and digits") << "Äöüß2024"
                                                     << "Äöüß2025" << int(E::passwordsDoNotMatch);
        QTest::newRow("other scripts and digits")
            << QStringLiteral("Пароль密码٣٤") << QStringLiteral("Пароль密码٣") << int(E::passwordsDoNotMatch);
        QTest::newRow("combining mark") << QStringLiteral("Cafe\u0301s") << QStringLiteral("Cafés")
                                        << int(E::passwordsDoNotMatch);
        QTest::newRow("repetition only is checked for equality") << "Passwort"
                                                                 << "Pass wort!" << int(E::passwordsDoNotMatch);
    }

    void rulesApplyInOrder()
    {
        QFETCH(QString, password1);
        QFETCH(QString, password2);
        QFETCH(int, expected);

        for (const PasswordModel& model : {m_appModel, m_archiveModel}) {
            PasswordViewModel viewModel(model);
            enter(viewModel, password1, password2);
            QCOMPARE(failureOf(finished(viewModel.validateAndSaveAsync())), expected);
            QCOMPARE(stored(model), QStringLiteral("<absent>"));
            QCOMPARE(viewModel.password1(), password1);
            QCOMPARE(viewModel.password2(), password2);
            QCOMPARE(viewModel.warningText(), std::nullopt);
        }
    }

    void validPasswordIsSaved_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("letters and digits") << "Geheim42";
        QTest::newRow("four characters") << "abcd";
        QTest::newRow("umlauts and sharp s") << "Größe1";
        QTest::newRow("other scripts") << QStringLiteral("密码Пароль٣");
    }

    void validPasswordIsSaved()
    {
        QFETCH(QString, password);
        for (const PasswordModel& model : {m_appModel, m_archiveModel}) {
            PasswordViewModel viewModel(model);
            enter(viewModel, password, password);
            QCOMPARE(failureOf(finished(viewModel.validateAndSaveAsync())), -1);
            QCOMPARE(stored(model), password);
            QCOMPARE(viewModel.warningText(),
                     std::optional(QStringLiteral("Das Passwort wurde erfolgreich gespeichert!")));
            // The entries stay.
            QCOMPARE(viewModel.password1(), password);
            QCOMPARE(viewModel.password2(), password);
        }
    }

    void archivePasswordIsReplacedOnlyAfterAsking()
    {
        PasswordViewModel first(m_archiveModel);
        enter(first, QStringLiteral("Archiv1"), QStringLiteral("Archiv1"));
        QCOMPARE(failureOf(finished(first.validateAndSaveAsync())), -1);

        PasswordViewModel second(m_archiveModel);
        enter(second, QStringLiteral("Archiv2"), QStringLiteral("Archiv2"));
        const auto asked = finished(second.validateAndSaveAsync());
        QCOMPARE(failureOf(asked), int(PasswordValidationError::existingPasswordNeedsOverride));
        QCOMPARE(asked->error().errorDescription(),
                 QStringLiteral("Es gibt bereits ein Passwort im Schlüsselbund. Möchtest du das vorhandene Passwort "
                                "überschreiben? Backups, die mit dem alten Passwort gespeichert wurden, können danach "
                                "**nicht mehr wiederhergestellt** werden."));
        QCOMPARE(stored(m_archiveModel), QStringLiteral("Archiv1"));
        QCOMPARE(second.warningText(), std::nullopt);

        // The user confirmed.
        QCOMPARE(failureOf(finished(second.savePasswordAsync())), -1);
        QCOMPARE(stored(m_archiveModel), QStringLiteral("Archiv2"));
        QCOMPARE(second.warningText(), std::optional(PasswordViewModel::savedText));
    }

    void appPasswordIsReplacedWithoutAsking()
    {
        QVERIFY(KeychainService(m_appModel.service).set(QStringLiteral("Alt1"), QStringLiteral("masterPassword")));
        PasswordViewModel viewModel(m_appModel);
        enter(viewModel, QStringLiteral("Neu12"), QStringLiteral("Neu12"));
        QCOMPARE(failureOf(finished(viewModel.validateAndSaveAsync())), -1);
        QCOMPARE(stored(m_appModel), QStringLiteral("Neu12"));
    }

    void archiveTabTurnedAppTabAsksToo()
    {
        // After the app password is removed, its tab asks like the archive tab.
        QVERIFY(KeychainService(m_appModel.service).set(QStringLiteral("Alt1"), QStringLiteral("masterPassword")));
        PasswordViewModel viewModel(m_appModel);
        viewModel.setIsTouchID(false);
        enter(viewModel, QStringLiteral("Neu12"), QStringLiteral("Neu12"));
        QCOMPARE(failureOf(finished(viewModel.validateAndSaveAsync())),
                 int(PasswordValidationError::existingPasswordNeedsOverride));
        QCOMPARE(stored(m_appModel), QStringLiteral("Alt1"));
    }

    void savePasswordAppliesNoRule()
    {
        PasswordViewModel viewModel(m_archiveModel);
        enter(viewModel, QStringLiteral("a b"), QString());
        QCOMPARE(failureOf(finished(viewModel.savePasswordAsync())), -1);
        QCOMPARE(stored(m_archiveModel), QStringLiteral("a b"));
    }

    void deletePassword()
    {
        PasswordViewModel viewModel(m_archiveModel);
        QVERIFY(viewModel.keychainService().set(QStringLiteral("Archiv1"), QStringLiteral("zipPassword")));
        QCOMPARE(failureOf(finished(viewModel.deletePasswordAsync())), -1);
        QCOMPARE(stored(m_archiveModel), QStringLiteral("<absent>"));
        QCOMPARE(viewModel.warningText(), std::optional(QStringLiteral("Das Passwort wurde erfolgreich entfernt!")));

        // Nothing stored: still a success.
        PasswordViewModel again(m_appModel);
        QCOMPARE(failureOf(finished(again.deletePasswordAsync())), -1);
        QCOMPARE(again.warningText(), std::optional(PasswordViewModel::removedText));
    }

    void touchIDChoiceStartsFromTheFlag()
    {
        const KeychainService anyService(QStringLiteral("test.de.Tarn-Backup-Manager.ZipPassword"));
        QCOMPARE(touchIDChoice(m_appModel), std::optional(false));

        anyService.setBool(true, QStringLiteral("useTouchID"));
        QCOMPARE(touchIDChoice(m_appModel), std::optional(true));
        QCOMPARE(touchIDChoice(m_archiveModel), std::optional(false));

        anyService.setBool(false, QStringLiteral("useTouchID"));
        QCOMPARE(touchIDChoice(m_appModel), std::optional(false));
    }

    void passwordNeverReachesTheLog()
    {
        static QStringList messages;
        messages.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("tarn.diagnostics.debug=true"));
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& message) { messages.append(message); });
        const QString secret = QStringLiteral("Unverraten7");
        {
            PasswordViewModel viewModel(m_archiveModel);
            enter(viewModel, secret, secret);
            (void)finished(viewModel.validateAndSaveAsync());
            (void)finished(viewModel.validateAndSaveAsync()); // asks to override
            (void)finished(viewModel.savePasswordAsync());
            (void)finished(viewModel.deletePasswordAsync());
            enter(viewModel, secret + QLatin1Char('!'), secret);
            (void)finished(viewModel.validateAndSaveAsync());
        }
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        QVERIFY(!messages.isEmpty()); // the diagnostics are on
        for (const QString& message : std::as_const(messages)) {
            QVERIFY2(!message.contains(secret), qPrintable(message));
        }
    }

    void asynchronousSaveAndDelete_data()
    {
        QTest::addColumn<bool>("app");
        QTest::newRow("app password") << true;
        QTest::newRow("archive password") << false;
    }

    void asynchronousSaveAndDelete()
    {
        QFETCH(bool, app);
        const PasswordModel& model = app ? m_appModel : m_archiveModel;
        PasswordViewModel viewModel(model);
        QCOMPARE(finished(viewModel.isPasswordStoredAsync()), std::optional(false));

        // The rules answer at once and write nothing.
        enter(viewModel, QStringLiteral("Pass wort"), QStringLiteral("Pass wort"));
        QCOMPARE(failureOf(finished(viewModel.validateAndSaveAsync())),
                 int(PasswordValidationError::passwordContainsSpaces));
        QCOMPARE(stored(model), QStringLiteral("<absent>"));

        enter(viewModel, QStringLiteral("Erst1"), QStringLiteral("Erst1"));
        QCOMPARE(failureOf(finished(viewModel.validateAndSaveAsync())), -1);
        QCOMPARE(stored(model), QStringLiteral("Erst1"));
        QCOMPARE(viewModel.warningText(), std::optional(PasswordViewModel::savedText));
        QCOMPARE(finished(viewModel.isPasswordStoredAsync()), std::optional(true));

        // Replacing asks for the archive password only.
        viewModel.setWarningText(std::nullopt);
        enter(viewModel, QStringLiteral("Zweit2"), QStringLiteral("Zweit2"));
        const auto replaced = finished(viewModel.validateAndSaveAsync());
        if (app) {
            QCOMPARE(failureOf(replaced), -1);
        } else {
            QCOMPARE(failureOf(replaced), int(PasswordValidationError::existingPasswordNeedsOverride));
            QCOMPARE(stored(model), QStringLiteral("Erst1"));
            QCOMPARE(viewModel.warningText(), std::nullopt);
            QCOMPARE(failureOf(finished(viewModel.savePasswordAsync())), -1);
        }
        QCOMPARE(stored(model), QStringLiteral("Zweit2"));
        QCOMPARE(viewModel.warningText(), std::optional(PasswordViewModel::savedText));

        QCOMPARE(failureOf(finished(viewModel.deletePasswordAsync())), -1);
        QCOMPARE(stored(model), QStringLiteral("<absent>"));
        QCOMPARE(viewModel.warningText(), std::optional(PasswordViewModel::removedText));
    }

    void asynchronousTouchIDFlag()
    {
        PasswordViewModel app(m_appModel);
        PasswordViewModel archive(m_archiveModel);
        QCOMPARE(failureOf(finished(archive.storeTouchIDAsync(true))), -1);
        QVERIFY(KeychainService().getBool(PasswordViewModel::touchIDKey));
        // Read only when asked, and only for the app password.
        QVERIFY(!app.useTouchID());
        QSignalSpy changed(&app, &PasswordViewModel::useTouchIDChanged);
        QCOMPARE(finished(app.loadTouchIDAsync()), std::optional(true));
        QVERIFY(app.useTouchID());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(finished(archive.loadTouchIDAsync()), std::optional(false));
        QVERIFY(!archive.useTouchID());

        QCOMPARE(failureOf(finished(app.storeTouchIDAsync(false))), -1);
        QVERIFY(!KeychainService().getBool(PasswordViewModel::touchIDKey));
    }

    void futureOfDestroyedModelIsCancelled()
    {
        auto viewModel = std::make_unique<PasswordViewModel>(m_archiveModel);
        enter(*viewModel, QStringLiteral("Spaet1"), QStringLiteral("Spaet1"));
        QFuture<PasswordViewModel::Outcome> saving = viewModel->validateAndSaveAsync();
        viewModel.reset();
        QVERIFY(QTest::qWaitFor([&saving] { return saving.isFinished(); }));
        QVERIFY(saving.isCanceled());
        QCOMPARE(saving.resultCount(), 0);
    }

    void publishedFieldsNotifyOnChange()
    {
        PasswordViewModel viewModel(m_archiveModel);
        QCOMPARE(viewModel.isMaskedPassword(), true);
        QCOMPARE(viewModel.showTextFields(), false);
        QCOMPARE(viewModel.validationError(), std::nullopt);

        QSignalSpy errorSpy(&viewModel, &PasswordViewModel::validationErrorChanged);
        viewModel.setValidationError(PasswordValidationError::keychain(QStringLiteral("a")));
        viewModel.setValidationError(PasswordValidationError::keychain(QStringLiteral("a")));
        viewModel.setValidationError(PasswordValidationError::keychain(QStringLiteral("b")));
        viewModel.setValidationError(std::nullopt);
        QCOMPARE(errorSpy.count(), 3);

        QSignalSpy maskSpy(&viewModel, &PasswordViewModel::isMaskedPasswordChanged);
        QVERIFY(viewModel.setProperty("isMaskedPassword", false));
        QCOMPARE(maskSpy.count(), 1);
        QCOMPARE(viewModel.isMaskedPassword(), false);
    }
};

TARN_TEST_MAIN(TestPasswordViewModel)
#include "TestPasswordViewModel.moc"
