#pragma once

#include <QColor>
#include <QRectF>

class QPainter;
class QWidget;

// The kit's mark of the control that has the keyboard focus. Controls draw it inside their own bounds,
// so that it needs no room of its own: a ring along the control's shape, or a soft patch behind a
// control without a filled shape of its own.
namespace FocusMark {

// True while the widget holds the keyboard focus and its window has been navigated with the keyboard
// (Tab, arrows, shortcuts), as the platform style decides for its own focus frames.
bool isShown(const QWidget* widget);
// The colour of the mark: the "iconColor" preference.
QColor color();
// A ring of the colour along the inside of a rounded rectangle.
void paintRing(QPainter* painter, const QRectF& shape, qreal radius, const QColor& color);
// A faint fill of the mark's colour with a ring at its edge.
void paintPatch(QPainter* painter, const QRectF& area, qreal radius);

} // namespace FocusMark
