#include "kit/inputs/InputPatterns.h"

#include <QRegularExpression>

namespace InputPatterns {

Outcome apply(const std::optional<QString>& restrictRegex, const std::optional<QString>& warnRegex, const QString& text)
{
    if (restrictRegex) {
        QRegularExpression expression(*restrictRegex);
        if (!expression.isValid() || !expression.match(text).hasMatch())
            return {text, false};
        QString stripped = text;
        stripped.remove(expression);
        return {stripped, true};
    }
    if (warnRegex) {
        const QRegularExpression expression(*warnRegex);
        if (!expression.isValid())
            return {text, false};
        return {text, expression.match(text).hasMatch()};
    }
    return {text, false};
}

} // namespace InputPatterns
