#include "platform/secrets/SecretStoreError.h"

QString SecretStoreError::summary() const
{
    switch (code) {
    case locked:
        return QStringLiteral("Der Schlüsselbund ist gesperrt. Entsperre ihn, um fortzufahren.");
    case noSessionBus:
        return QStringLiteral("Keine Desktop-Sitzung gefunden. Starte die App im Desktop neu.");
    case noService:
        return QStringLiteral("Kein Schlüsselbund-Dienst. Starte GNOME Keyring oder KWallet.");
    case timedOut:
        return QStringLiteral("Der Schlüsselbund antwortet nicht. Versuche es gleich erneut.");
    case outcomeUnknown:
        return QStringLiteral("Keine Antwort vom Schlüsselbund. Prüfe, ob gespeichert wurde.");
    case notText:
        return QStringLiteral("Der Eintrag ist kein Text. Speichere das Passwort neu.");
    case noDefaultKeyring:
        return QStringLiteral("Kein Standard-Schlüsselbund. Lege einen an und versuche es erneut.");
    case failed:
        break;
    }
    return QStringLiteral("Der Schlüsselbund hat abgelehnt. Versuche es erneut.");
}

QString SecretStoreError::message() const
{
    if (code == failed && !detail.isEmpty()) {
        return summary() + QStringLiteral(" Meldung des Systems: ") + detail;
    }
    return summary();
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
