#pragma once

#include <QString>

#include <optional>

// The main screen's actions. The raw value is the title of the action's sheet.
enum class BackupActionType { create, restore, delete_ };

namespace BackupActionTypes {

QString rawValue(BackupActionType type);
// Exact comparison with the three titles; nothing for any other text.
std::optional<BackupActionType> fromRawValue(const QString& raw);
// The text of the sheet's action button.
QString actionTitle(BackupActionType type);

} // namespace BackupActionTypes
