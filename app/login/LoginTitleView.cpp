#include "app/login/LoginTitleView.h"

#include "kit/theme/FontFaces.h"
#include "kit/theme/TarnColor.h"

#include <QEvent>
#include <QGraphicsBlurEffect>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QPainter>

namespace {
constexpr qreal fontSize = 42;
constexpr qreal shadowRadius = 4;
constexpr qreal shadowOpacity = 0.3;
constexpr int shadowOffset = 2;
// Room around the text for the shadows' offset and blur.
constexpr int margin = shadowOffset + 2 * int(shadowRadius);

QFont titleFont()
{
    return FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), fontSize, QFont::Normal);
}

// Blurs an image of any pixel ratio; the radius is in logical pixels.
QImage blurred(const QImage& source, qreal radius)
{
    // The scene works in device pixels: a pixmap that kept its ratio would cover only part of it.
    QPixmap pixels = QPixmap::fromImage(source);
    pixels.setDevicePixelRatio(1);
    QGraphicsScene scene;
    QGraphicsPixmapItem* item = scene.addPixmap(pixels);
    auto* blur = new QGraphicsBlurEffect;
    blur->setBlurRadius(radius * source.devicePixelRatio());
    blur->setBlurHints(QGraphicsBlurEffect::QualityHint);
    item->setGraphicsEffect(blur);
    QImage result(source.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    scene.render(&painter, QRectF(result.rect()), QRectF(source.rect()));
    painter.end();
    result.setDevicePixelRatio(source.devicePixelRatio());
    return result;
}

} // namespace

LoginTitleView::LoginTitleView(const QString& text, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
{
    setFont(titleFont());
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LoginTitleView::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(m_text) + 2 * margin, metrics.height() + 2 * margin};
}

void LoginTitleView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
        m_shadow = QImage();
        update();
    }
    QWidget::changeEvent(event);
}

QImage LoginTitleView::shadowImage(qreal devicePixelRatio) const
{
    if (!m_shadow.isNull() && m_shadow.devicePixelRatio() == devicePixelRatio &&
        m_shadow.size() == size() * devicePixelRatio) {
        return m_shadow;
    }
    QImage text(size() * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    text.setDevicePixelRatio(devicePixelRatio);
    text.fill(Qt::transparent);
    QPainter painter(&text);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font());
    painter.setPen(TarnColor::withOpacity(TarnColor::controlBackgroundColor(), shadowOpacity));
    painter.drawText(rect(), Qt::AlignCenter, m_text);
    painter.end();
    m_shadow = blurred(text, shadowRadius);
    return m_shadow;
}

void LoginTitleView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // At the pixel ratio of what is painted on: the screen, or an image of the widget.
    const QImage shadow = shadowImage(painter.device()->devicePixelRatioF());
    painter.drawImage(QPoint(-shadowOffset, -shadowOffset), shadow);
    painter.drawImage(QPoint(shadowOffset, shadowOffset), shadow);
    painter.setFont(font());
    painter.setPen(TarnColor::accentColor());
    painter.drawText(rect(), Qt::AlignCenter, m_text);
}
