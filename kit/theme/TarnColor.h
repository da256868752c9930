#pragma once

#include <QColor>
#include <QList>
#include <QString>

// Colours of the kit: hex text conversions, the shared system colours and the icon tint preference.
namespace TarnColor {

// Upper-case "RRGGBB", or "RRGGBBAA" when not opaque; "5856D6" for a colour without RGB components.
QString toHex(const QColor& color);
// 3 (RGB), 6 (RRGGBB) or 8 (AARRGGBB, alpha first) hex digits after trimming; any other length gives
// red 1, green 1, blue 0, alpha 1 (of 255). Text that does not scan as hex counts as 0.
QColor fromHex(const QString& hex);

// Made once from the application palette on first use.
QColor windowBackgroundColor();
QColor controlBackgroundColor();
QColor textColor();

QColor accentColor();
QColor primary();
QColor secondary();
QColor red();
QColor orange();
QColor blue();
QColor green();

// The preference "iconColor" of the app's settings, or the accent colour as hex text when absent.
QString iconColorHex();
QColor iconColor();

// c at opacity (its alpha multiplied).
QColor withOpacity(QColor c, qreal opacity);

// The colour seen when c is laid over an opaque background.
QColor over(const QColor& c, const QColor& background);
// The contrast ratio of two opaque colours, from 1 to 21 (relative luminance, as WCAG defines it).
qreal contrastRatio(const QColor& a, const QColor& b);
// c, made more opaque as far as needed for a contrast of at least minimum on each of the opaque
// backgrounds (fully opaque when even that is not enough).
QColor legibleOn(const QColor& c, const QList<QColor>& backgrounds, qreal minimum = 4.5);

} // namespace TarnColor
