#include "core/archive/FinderCommentError.h"
#include "core/archive/PasswordValidationError.h"
#include "tests/support/TestMain.h"

class TestFailureValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void descriptionsAndIds_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("description");

        using E = PasswordValidationError;
        QTest::newRow("passwordsDoNotMatch") << int(E::passwordsDoNotMatch) << "passwordsDoNotMatch"
                                             << "Deine Passwörter stimmen nicht überein.";
        QTest::newRow("passwordTooWeak") << int(E::passwordTooWeak) << "passwordTooWeak"
                                         << "Dein Passwort ist zu kurz. Es muss mindestens 4 Zeichen enthalten.";
        QTest::newRow("passwordContainsSpaces") << int(E::passwordContainsSpaces) << "passwordContainsSpaces"
                                                << "Dein Passwort darf keine Leerzeichen enthalten.";
        QTest::newRow("passwordInvalidCharacters") << int(E::passwordInvalidCharacters) << "passwordInvalidCharacters"
                                                   << "Dein Passwort darf nur Buchstaben und Zahlen enthalten.";
        QTest::newRow("passwordNotSaved") << int(E::passwordNotSaved) << "passwordNotSaved"
                                          << "Dein Passwort konnte nicht gespeichert werden.";
        QTest::newRow("unknownError") << int(E::unknownError) << "unknownError"
                                      << "Ein unbekannter Fehler ist aufgetreten.";
        QTest::newRow("existingPasswordNeedsOverride")
            << int(E::existingPasswordNeedsOverride) << "existingPasswordNeedsOverride"
            << "Es gibt bereits ein Passwort im Schlüsselbund. Möchtest du das vorhandene Passwort überschreiben? "
               "Backups, die mit dem alten Passwort gespeichert wurden, können danach **nicht mehr "
               "wiederhergestellt** werden.";
        QTest::newRow("passwordCannotBeDeleted")
            << int(E::passwordCannotBeDeleted) << "passwordCannotBeDeleted"
            << "Das Passwort kann nicht gelöscht werden, da es für die Entschlüsselung von Archiven benötigt wird.";
    }

    void descriptionsAndIds()
    {
        QFETCH(int, code);
        QFETCH(QString, id);
        QFETCH(QString, description);
        const PasswordValidationError error(static_cast<PasswordValidationError::Code>(code));
        QCOMPARE(error.id(), id);
        QCOMPARE(error.errorDescription(), description);
    }

    void keychainErrorCarriesItsMessage()
    {
        const auto empty = PasswordValidationError::keychain({});
        QCOMPARE(empty.errorDescription(), QStringLiteral("Es gab einen Fehler beim Zugriff auf den Schlüsselbund: "));
        QCOMPARE(empty.id(), QStringLiteral("keychainError:"));

        const auto a = PasswordValidationError::keychain(QStringLiteral("locked"));
        const auto b = PasswordValidationError::keychain(QStringLiteral("denied"));
        QVERIFY(a != b);
        QVERIFY(a.id() != b.id());
        QCOMPARE(a, PasswordValidationError::keychain(QStringLiteral("locked")));
        QCOMPARE(a.id(), QStringLiteral("keychainError:locked"));
        QVERIFY(empty != PasswordValidationError(PasswordValidationError::unknownError));
    }

    void commentTooLongCarriesTheStoredText()
    {
        const FinderCommentError error(FinderCommentError::commentTooLong, QStringLiteral("cut"));
        QCOMPARE(error.code, FinderCommentError::commentTooLong);
        QCOMPARE(error.truncatedComment, QStringLiteral("cut"));
        QCOMPARE(FinderCommentError::name(error.code), "commentTooLong");
    }

    void resultHoldsSuccessOrFailure()
    {
        ArchiveResult ok;
        QVERIFY(ok.hasValue());
        ArchiveResult failed = fail(FinderCommentError(FinderCommentError::directoryNotFound));
        QVERIFY(!failed);
        QCOMPARE(failed.error().code, FinderCommentError::directoryNotFound);

        Result<QString, PasswordValidationError> text = QStringLiteral("x");
        QCOMPARE(text.value(), QStringLiteral("x"));
        Result<QString, PasswordValidationError> none = fail(PasswordValidationError::unknownError);
        QCOMPARE(none.error().code, PasswordValidationError::unknownError);
        QCOMPARE(none.valueOr(QStringLiteral("fallback")), QStringLiteral("fallback"));
    }
};

TARN_TEST_MAIN(TestFailureValues)
#include "TestFailureValues.moc"
