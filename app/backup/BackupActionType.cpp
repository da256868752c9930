#include "app/backup/BackupActionType.h"

QString BackupActionTypes::rawValue(BackupActionType type)
{
    switch (type) {
    case BackupActionType::create:
        return QStringLiteral("Backup erstellen");
    case BackupActionType::restore:
        return QStringLiteral("Backup wiederherstellen");
    case BackupActionType::delete_:
        return QStringLiteral("⚠️ App-Daten löschen");
    }
    return {};
}

std::optional<BackupActionType> BackupActionTypes::fromRawValue(const QString& raw)
{
    for (BackupActionType type : {BackupActionType::create, BackupActionType::restore, BackupActionType::delete_}) {
        if (rawValue(type) == raw)
            return type;
    }
    return std::nullopt;
}

QString BackupActionTypes::actionTitle(BackupActionType type)
{
    switch (type) {
    case BackupActionType::create:
        return QStringLiteral("Erstellen");
    case BackupActionType::restore:
        return QStringLiteral("Wiederherstellen");
    case BackupActionType::delete_:
        return QStringLiteral("Löschen");
    }
    return {};
}
