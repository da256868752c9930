#include "kit/dialogs/BoldMarkup.h"

#include <QStringList>

namespace {

const QString mark = QStringLiteral("**");

// The text cut at its marks: even indexes are plain, odd indexes bold. An unpaired last mark and
// an empty span are put back as literal text.
QStringList spans(const QString& text)
{
    QStringList parts = text.split(mark);
    if (parts.size() % 2 == 0) {
        const QString tail = parts.takeLast();
        parts.last() += mark + tail;
    }
    for (qsizetype i = parts.size() - 2; i >= 1; i -= 2) {
        if (parts[i].isEmpty()) {
            parts[i - 1] += mark + mark + parts[i + 1];
            parts.remove(i, 2);
        }
    }
    return parts;
}

QString escaped(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
}

} // namespace

QString BoldMarkup::toHtml(const QString& text)
{
    QString html = QStringLiteral("<div style=\"white-space:pre-wrap\">");
    const QStringList parts = spans(text);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i % 2 == 1)
            html += QStringLiteral("<b>") + escaped(parts[i]) + QStringLiteral("</b>");
        else
            html += escaped(parts[i]);
    }
    return html + QStringLiteral("</div>");
}

QString BoldMarkup::plainText(const QString& text)
{
    return spans(text).join(QString());
}
