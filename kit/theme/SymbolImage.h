#pragma once

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QString>

class QPainter;

// System symbols by name ("trash", "checkmark.circle.fill", ...), drawn from the kit's SVGs and tinted
// with one colour. An unknown or empty name draws nothing.
namespace SymbolImage {

bool exists(const QString& name);
// Draws the symbol aspect-fitted and centred in rect.
void paint(QPainter* painter, const QRectF& rect, const QString& name, const QColor& tint);
// The symbol fitted into size logical pixels at a device pixel ratio; null for an unknown name.
QPixmap pixmap(const QString& name, const QSizeF& size, const QColor& tint, qreal devicePixelRatio = 1.0);

} // namespace SymbolImage
