#pragma once

#include <QColor>
#include <QString>

// The kind of an alert card: its header symbol and the colour of symbol and title.
enum class AlertCustomType { trash, warn, info, without };

namespace AlertCustomTypes {
// "" for without: no symbol is drawn.
QString symbolName(AlertCustomType type);
QColor color(AlertCustomType type);
} // namespace AlertCustomTypes
