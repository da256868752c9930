#pragma once

#include <QString>

// Text measured in user-perceived characters (grapheme clusters), never in UTF-16 units: an emoji
// with modifiers or a letter with a combining mark counts as one character.
namespace UserCharacters {

qsizetype count(const QString& text);

// The first `limit` characters of `text`; a negative limit means no limit. Never splits a character.
QString truncated(const QString& text, qsizetype limit);

} // namespace UserCharacters
