#include "platform/updates/UpdateError.h"

QString UpdateError::message() const
{
    switch (code) {
    case notConfigured:
        return QStringLiteral("Für diese Version ist keine Update-Quelle eingerichtet.");
    case networkFailure:
        return QStringLiteral("Der Update-Server ist nicht erreichbar. Bitte prüfe deine Internetverbindung und "
                              "versuche es später erneut.");
    case timedOut:
        return QStringLiteral("Der Update-Server antwortet zu langsam. Die Anfrage wurde abgebrochen; bitte versuche "
                              "es später erneut.");
    case insecureAddress:
        return QStringLiteral("Die Update-Quelle verwendet keine sichere Verbindung (https). Die Anfrage wurde "
                              "abgebrochen.");
    case redirectToOtherScheme:
        return QStringLiteral("Der Update-Server hat auf eine Adresse mit einem anderen Protokoll umgeleitet. "
                              "Die Anfrage wurde abgebrochen.");
    case feedTooLarge:
        return QStringLiteral("Die Update-Informationen sind größer als 1 MiB und wurden abgelehnt.");
    case malformedFeed:
        return QStringLiteral("Die Update-Informationen sind fehlerhaft und wurden abgelehnt.");
    case noPublicKey:
        return QStringLiteral("Für diese Version ist kein Schlüssel zur Prüfung von Updates eingerichtet. "
                              "Das Update wurde nicht gespeichert.");
    case lengthMismatch:
        return QStringLiteral("Die Größe des Updates stimmt nicht mit der angekündigten Größe überein. "
                              "Die Datei wurde verworfen.");
    case badSignature:
        return QStringLiteral("Die Signatur des Updates ist ungültig. Die Datei wurde verworfen.");
    case fileError:
        return QStringLiteral("Das Update konnte nicht im Ordner „Downloads“ gespeichert werden.");
    case cancelled:
        return QStringLiteral("Der Download wurde abgebrochen.");
    }
    return {};
}

const char* UpdateError::name(Code code)
{
    switch (code) {
    case notConfigured:
        return "notConfigured";
    case networkFailure:
        return "networkFailure";
    case timedOut:
        return "timedOut";
    case insecureAddress:
        return "insecureAddress";
    case redirectToOtherScheme:
        return "redirectToOtherScheme";
    case feedTooLarge:
        return "feedTooLarge";
    case malformedFeed:
        return "malformedFeed";
    case noPublicKey:
        return "noPublicKey";
    case lengthMismatch:
        return "lengthMismatch";
    case badSignature:
        return "badSignature";
    case fileError:
        return "fileError";
    case cancelled:
        return "cancelled";
    }
    return "?";
}
