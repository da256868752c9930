#include "platform/secrets/SecretStoreError.h"

QString SecretStoreError::message() const
{
    switch (code) {
    case locked:
        return QStringLiteral("Der Schlüsselbund ist gesperrt. Entsperre ihn, um fortzufahren.");
    case noSessionBus:
        return QStringLiteral("Der Schlüsselbund ist nicht erreichbar, weil keine D-Bus-Sitzung läuft. Starte die "
                              "App in deiner Desktop-Sitzung.");
    case noService:
        return QStringLiteral("Es läuft kein Schlüsselbund-Dienst. Installiere oder starte einen, etwa GNOME Keyring "
                              "oder KWallet, und versuche es erneut.");
    case timedOut:
        return QStringLiteral("Der Schlüsselbund antwortet nicht. Versuche es in einem Moment erneut.");
    case outcomeUnknown:
        return QStringLiteral("Der Schlüsselbund hat nicht rechtzeitig geantwortet; die Änderung wurde vielleicht "
                              "trotzdem gespeichert. Prüfe das Passwort und versuche es erneut.");
    case notText:
        return QStringLiteral("Der gespeicherte Eintrag ist kein lesbarer Text. Speichere das Passwort neu oder "
                              "lösche den Eintrag in der Schlüsselbundverwaltung.");
    case noDefaultKeyring:
        return QStringLiteral("Es gibt keinen Standard-Schlüsselbund. Lege in der Schlüsselbundverwaltung einen an "
                              "und versuche es erneut.");
    case failed:
        break;
    }
    QString text = QStringLiteral("Der Schlüsselbund hat die Anfrage nicht ausgeführt. Versuche es erneut.");
    if (!detail.isEmpty()) {
        text += QStringLiteral(" Meldung des Systems: ") + detail;
    }
    return text;
}

const char* SecretStoreError::name(Code code)
{
    switch (code) {
    case locked:
        return "locked";
    case noSessionBus:
        return "noSessionBus";
    case noService:
        return "noService";
    case timedOut:
        return "timedOut";
    case outcomeUnknown:
        return "outcomeUnknown";
    case notText:
        return "notText";
    case noDefaultKeyring:
        return "noDefaultKeyring";
    case failed:
        return "failed";
    }
    return "";
}
