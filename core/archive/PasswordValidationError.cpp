#include "core/archive/PasswordValidationError.h"

QString PasswordValidationError::id() const
{
    switch (code) {
    case keychainError:
        return QStringLiteral("keychainError:") + keychainMessage;
    case passwordsDoNotMatch:
        return QStringLiteral("passwordsDoNotMatch");
    case passwordTooWeak:
        return QStringLiteral("passwordTooWeak");
    case passwordContainsSpaces:
        return QStringLiteral("passwordContainsSpaces");
    case passwordInvalidCharacters:
        return QStringLiteral("passwordInvalidCharacters");
    case passwordNotSaved:
        return QStringLiteral("passwordNotSaved");
    case unknownError:
        return QStringLiteral("unknownError");
    case existingPasswordNeedsOverride:
        return QStringLiteral("existingPasswordNeedsOverride");
    case passwordCannotBeDeleted:
        return QStringLiteral("passwordCannotBeDeleted");
    }
    return {};
}

QString PasswordValidationError::errorDescription() const
{
    switch (code) {
    case keychainError:
        return QStringLiteral("Es gab einen Fehler beim Zugriff auf den Schlüsselbund: ") + keychainMessage;
    case passwordsDoNotMatch:
        return QStringLiteral("Deine Passwörter stimmen nicht überein.");
    case passwordTooWeak:
        return QStringLiteral("Dein Passwort ist zu kurz. Es muss mindestens 4 Zeichen enthalten.");
    case passwordContainsSpaces:
        return QStringLiteral("Dein Passwort darf keine Leerzeichen enthalten.");
    case passwordInvalidCharacters:
        return QStringLiteral("Dein Passwort darf nur Buchstaben und Zahlen enthalten.");
    case passwordNotSaved:
        return QStringLiteral("Dein Passwort konnte nicht gespeichert werden.");
    case unknownError:
        return QStringLiteral("Ein unbekannter Fehler ist aufgetreten.");
    case existingPasswordNeedsOverride:
        return QStringLiteral("Es gibt bereits ein Passwort im Schlüsselbund. Möchtest du das vorhandene Passwort "
                              "überschreiben? Backups, die mit dem alten Passwort gespeichert wurden, können danach "
                              "**nicht mehr wiederhergestellt** werden.");
    case passwordCannotBeDeleted:
        return QStringLiteral("Das Passwort kann nicht gelöscht werden, da es für die Entschlüsselung von Archiven "
                              "benötigt wird.");
    }
    return {};
}
