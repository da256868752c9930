#include "kit/theme/FocusMark.h"

#include "kit/theme/TarnColor.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace {
constexpr qreal ringWidth = 2;
} // namespace

bool FocusMark::isShown(const QWidget* widget)
{
    return widget && widget->hasFocus() && widget->window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

QColor FocusMark::color()
{
    return TarnColor::iconColor();
}

void FocusMark::paintRing(QPainter* painter, const QRectF& shape, qreal radius, const QColor& color)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const qreal inset = ringWidth / 2;
    const QRectF ring = shape.adjusted(inset, inset, -inset, -inset);
    const qreal innerRadius = qMax<qreal>(0, qMin(radius - inset, qMin(ring.width(), ring.height()) / 2));
    QPainterPath path;
    path.addRoundedRect(ring, innerRadius, innerRadius);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(color, ringWidth));
    painter->drawPath(path);
    painter->restore();
}

void FocusMark::paintPatch(QPainter* painter, const QRectF& area, qreal radius)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(area, radius, radius);
    painter->fillPath(path, TarnColor::withOpacity(color(), 0.15));
    painter->restore();
    paintRing(painter, area, radius, TarnColor::withOpacity(color(), 0.8));
}
