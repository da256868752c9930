#include "app/shell/WindowButton.h"

#include "kit/theme/TarnColor.h"

#include <QPainter>

WindowButton::WindowButton(Kind kind, QWidget* parent)
    : QAbstractButton(parent)
    , m_kind(kind)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover); // repaints on entering and leaving
    setCursor(Qt::ArrowCursor);
    switch (kind) {
    case Kind::close:
        setAccessibleName(QStringLiteral("Schließen"));
        break;
    case Kind::minimize:
        setAccessibleName(QStringLiteral("Minimieren"));
        break;
    case Kind::zoom:
        setAccessibleName(QStringLiteral("Maximieren"));
        break;
    }
}

QSize WindowButton::sizeHint() const
{
    return {diameter + 2, diameter + 2};
}

QColor WindowButton::fillColor() const
{
    switch (m_kind) {
    case Kind::close:
        return TarnColor::red();
    case Kind::minimize:
        return TarnColor::orange();
    case Kind::zoom:
        return TarnColor::green();
    }
    return TarnColor::secondary();
}

void WindowButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle = QRectF(rect()).adjusted(1, 1, -1, -1);
    QColor fill = fillColor();
    if (isDown()) {
        fill = fill.darker(120);
    }
    painter.setPen(QPen(fill.darker(115), 0.5));
    painter.setBrush(fill);
    painter.drawEllipse(circle);
    if (!underMouse()) {
        return;
    }

    painter.setPen(QPen(QColor(0, 0, 0, 140), 1.2, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = circle.center();
    const qreal r = circle.width() * 0.26;
    switch (m_kind) {
    case Kind::close:
        painter.drawLine(c + QPointF(-r, -r), c + QPointF(r, r));
        painter.drawLine(c + QPointF(-r, r), c + QPointF(r, -r));
        break;
    case Kind::minimize:
        painter.drawLine(c + QPointF(-r, 0), c + QPointF(r, 0));
        break;
    case Kind::zoom:
        painter.drawLine(c + QPointF(-r, 0), c + QPointF(r, 0));
        painter.drawLine(c + QPointF(0, -r), c + QPointF(0, r));
        break;
    }
}
