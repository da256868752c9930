#include "app/login/LockImageView.h"

#include <QPainter>

LockImageView::LockImageView(QWidget* parent)
    : QWidget(parent)
    , m_image(QStringLiteral(":/images/Lock.svg"))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_image.setAspectRatioMode(Qt::KeepAspectRatio);
}

void LockImageView::setFillColor(const QColor& color)
{
    m_fillColor = color;
    update();
}

QSize LockImageView::sizeHint() const
{
    return {imageSide + 2 * padding, imageSide + 2 * padding};
}

void LockImageView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height());
    QRectF circle(0, 0, side, side);
    circle.moveCenter(QRectF(rect()).center());
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_fillColor);
    painter.drawEllipse(circle);
    if (m_image.isValid()) {
        m_image.render(&painter, circle.adjusted(padding, padding, -padding, -padding));
    }
}
