#pragma once

#include <QFont>
#include <QString>

#include <functional>
#include <optional>

// Font faces by name ("Roboto-Bold", "Helvetica Bold Italic"), looked up in the installed font database.
// A family that is not installed resolves to its metric twin when fontconfig names one (Helvetica:
// Nimbus Sans). Sizes are logical pixels. Every font made here falls back to the installed colour emoji
// font for the characters its face lacks, behind an installed text family.
namespace FontFaces {

// The face at a size, or nothing when neither the family nor a twin has that weight and slant.
std::optional<QFont> face(const QString& faceName, qreal size);

// The face, or the system font of the size with the given fallback weight (upright).
QFont faceOrSystem(const QString& faceName, qreal size, QFont::Weight fallbackWeight);

// The system font family at a size, weight and slant (the installed family the platform's name
// stands for).
QFont systemFont(qreal size, QFont::Weight weight, bool italic = false);

// The font of every widget that sets none of its own (check boxes, pickers, tooltips, Qt's dialogs):
// Roboto Regular at the platform's size, else the system font.
QFont applicationFont();
// Makes applicationFont() the application's and the tooltips' font. Call once the application exists.
void installApplicationFont();

// Test hook: faces for which the filter returns false count as missing. An empty filter restores the
// installed set.
void setAvailabilityFilter(std::function<bool(const QString& faceName)> filter);

} // namespace FontFaces
