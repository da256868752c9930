#include "kit/dialogs/AlertCustomType.h"

#include "kit/theme/TarnColor.h"

namespace AlertCustomTypes {

QString symbolName(AlertCustomType type)
{
    switch (type) {
    case AlertCustomType::trash:
        return QStringLiteral("trash");
    case AlertCustomType::warn:
        return QStringLiteral("exclamationmark.triangle.fill");
    case AlertCustomType::info:
        return QStringLiteral("info.circle.fill");
    case AlertCustomType::without:
        break;
    }
    return {};
}

QColor color(AlertCustomType type)
{
    switch (type) {
    case AlertCustomType::trash:
        return TarnColor::secondary();
    case AlertCustomType::warn:
        return TarnColor::orange();
    case AlertCustomType::info:
        return TarnColor::blue();
    case AlertCustomType::without:
        break;
    }
    return TarnColor::textColor();
}

} // namespace AlertCustomTypes
