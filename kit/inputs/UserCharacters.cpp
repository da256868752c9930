#include "kit/inputs/UserCharacters.h"

#include <QTextBoundaryFinder>

namespace UserCharacters {

qsizetype count(const QString& text)
{
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype characters = 0;
    while (finder.toNextBoundary() != -1)
        ++characters;
    return characters;
}

QString truncated(const QString& text, qsizetype limit)
{
    if (limit < 0)
        return text;
    if (limit == 0)
        return {};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype characters = 0;
    qsizetype boundary = 0;
    while ((boundary = finder.toNextBoundary()) != -1) {
        if (++characters == limit)
            return text.left(boundary);
    }
    return text;
}

} // namespace UserCharacters
