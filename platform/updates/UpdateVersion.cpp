#include "platform/updates/UpdateVersion.h"

namespace UpdateVersion {

std::optional<QList<int>> parse(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > maximumLength)
        return std::nullopt;
    QList<int> components;
    for (const QStringView part : QStringView(trimmed).split(QLatin1Char('.'))) {
        if (part.isEmpty() || part.size() > maximumComponentDigits)
            return std::nullopt;
        int value = 0;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
            value = value * 10 + (c.unicode() - u'0');
        }
        components << value;
    }
    return components;
}

int compare(const QList<int>& a, const QList<int>& b)
{
    const qsizetype count = qMax(a.size(), b.size());
    for (qsizetype i = 0; i < count; ++i) {
        const int left = a.value(i, 0);
        const int right = b.value(i, 0);
        if (left != right)
            return left < right ? -1 : 1;
    }
    return 0;
}

} // namespace UpdateVersion
