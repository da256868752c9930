#include "platform/updates/UpdateError.h"

QString UpdateError::statusText() const
{
    return httpStatus > 0 ? QStringLiteral(" (HTTP %1)").arg(httpStatus) : QString();
}

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
    case notFound:
        return QStringLiteral("Die angefragte Datei gibt es auf dem Update-Server nicht%1. Bitte versuche es später "
                              "erneut.")
            .arg(statusText());
    case serverError:
        return QStringLiteral("Auf dem Update-Server ist ein Fehler aufgetreten%1. Bitte versuche es später erneut.")
            .arg(statusText());
    case requestRefused:
        return QStringLiteral("Der Update-Server hat die Anfrage abgelehnt%1.").arg(statusText());
    case tooManyRedirects:
        return QStringLiteral("Der Update-Server hat die Anfrage zu oft umgeleitet. Die Anfrage wurde abgebrochen.");
    case brokenOff:
        return QStringLiteral("Die Verbindung zum Update-Server ist während der Übertragung abgebrochen. Bitte "
                              "versuche es erneut.");
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
    case fileUnreadable:
        return QStringLiteral("Das heruntergeladene Update konnte nicht gelesen und daher nicht geprüft werden. Die "
                              "Datei wurde verworfen.");
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
    case notFound:
        return "notFound";
    case serverError:
        return "serverError";
    case requestRefused:
        return "requestRefused";
    case tooManyRedirects:
        return "tooManyRedirects";
    case brokenOff:
        return "brokenOff";
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
    case fileUnreadable:
        return "fileUnreadable";
    case cancelled:
        return "cancelled";
    }
    return "?";
}
