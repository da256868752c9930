#include "kit/controls/TrendyButtonHelper.h"

#include "kit/controls/ControlAccessibility.h"
#include "kit/theme/FocusMark.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/Motion.h"
#include "kit/theme/SymbolImage.h"
#include "kit/theme/TarnColor.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <cmath>

namespace {
constexpr qreal bitmapIconSize = 18;
constexpr qreal iconGap = 5;
constexpr qreal countdownGap = 3;
constexpr qreal cornerRadius = 5;
constexpr qreal disabledOpacity = 0.4;
// The focus ring lies this far inside the button's edge, in the text colour.
constexpr qreal focusInset = 2;
} // namespace

TrendyButtonHelper::TrendyButtonHelper(Fields fields, QWidget* parent)
    : PressableView(parent)
    , m_fields(std::move(fields))
    , m_font(m_fields.font.font())
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    pressableChanged();
    ControlAccessibility::install();
    m_pressAnimation = new QVariantAnimation(this);
    m_pressAnimation->setEasingCurve(Motion::easeInOut());
    connect(m_pressAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setPressOpacity(value.toReal()); });
    connect(this, &PressableView::pressedChanged, this, &TrendyButtonHelper::fadePress);
}

void TrendyButtonHelper::fadePress(bool pressed)
{
    const qreal target = pressed ? 0.5 : 1.0;
    m_pressAnimation->stop();
    if (Motion::defaultDuration() == 0) {
        setPressOpacity(target);
    } else {
        m_pressAnimation->setDuration(Motion::defaultDuration());
        m_pressAnimation->setStartValue(m_pressOpacity);
        m_pressAnimation->setEndValue(target);
        m_pressAnimation->start();
    }
}

void TrendyButtonHelper::setIsDisabled(bool disabled)
{
    if (m_fields.isDisabled == disabled)
        return;
    m_fields.isDisabled = disabled;
    // Tab passes a disabled button by.
    pressableChanged();
    Q_EMIT disabledChanged(disabled);
}

void TrendyButtonHelper::setTimer(int value)
{
    if (m_fields.timer == value)
        return;
    const bool shownBefore = m_fields.timer >= 1;
    m_fields.timer = value;
    if (shownBefore || value >= 1)
        updateGeometry();
    update();
    Q_EMIT timerChanged(value);
}

void TrendyButtonHelper::setPressOpacity(qreal opacity)
{
    m_pressOpacity = opacity;
    update();
}

void TrendyButtonHelper::setText(const std::optional<QString>& text)
{
    if (m_fields.text == text)
        return;
    m_fields.text = text;
    updateGeometry();
    update();
}

void TrendyButtonHelper::setCallback(std::function<void()> callback)
{
    m_fields.callback = std::move(callback);
}

QColor TrendyButtonHelper::fillColor() const
{
    if (m_fields.isDisabled)
        return TarnColor::withOpacity(TarnColor::secondary(), disabledOpacity);
    const QColor base = m_fields.buttonColor.value_or(TarnColor::accentColor());
    return isHovered() ? TarnColor::withOpacity(base, 0.8) : base;
}

QString TrendyButtonHelper::countdownText() const
{
    if (m_fields.timer < 1)
        return {};
    return QStringLiteral("(%1)").arg(m_fields.timer);
}

QFont TrendyButtonHelper::countdownFont() const
{
    return FontFaces::faceOrSystem(QStringLiteral("Roboto-Thin"), 14, QFont::Thin);
}

qreal TrendyButtonHelper::iconWidth() const
{
    if (m_fields.iconName)
        return m_fields.imgSize;
    if (m_fields.nsImage)
        return bitmapIconSize;
    return 0;
}

QSizeF TrendyButtonHelper::contentSize() const
{
    qreal width = 0;
    qreal height = 0;
    const qreal icon = iconWidth();
    if (m_fields.iconName || m_fields.nsImage) {
        width += icon + (m_fields.text ? iconGap : 0);
        height = icon;
    }
    if (m_fields.text && !m_fields.text->isEmpty()) {
        const QFontMetricsF metrics(m_font);
        width += qMax(metrics.horizontalAdvance(*m_fields.text), m_fields.minWidth);
        height = qMax(height, metrics.height());
    }
    const QString countdown = countdownText();
    if (!countdown.isEmpty()) {
        const QFontMetricsF metrics(countdownFont());
        width += countdownGap + metrics.horizontalAdvance(countdown);
        height = qMax(height, metrics.height());
    }
    return {width, height};
}

QSize TrendyButtonHelper::sizeHint() const
{
    const QSizeF content = contentSize();
    const qreal width = content.width() + 2 * (m_fields.padding + 2);
    const qreal height = content.height() + 2 * (m_fields.padding - 2);
    return QSize(int(std::ceil(qMax<qreal>(width, 0))), int(std::ceil(qMax<qreal>(height, 0))));
}

QSize TrendyButtonHelper::minimumSizeHint() const
{
    return sizeHint();
}

TrendyButtonHelper::Layout TrendyButtonHelper::layoutIn(const QRectF& bounds) const
{
    Layout layout;
    const QSizeF content = contentSize();
    const QSizeF outer(content.width() + 2 * (m_fields.padding + 2), content.height() + 2 * (m_fields.padding - 2));
    layout.background = QRectF(bounds.center() - QPointF(outer.width() / 2, outer.height() / 2), outer);
    qreal x = layout.background.left() + m_fields.padding + 2;
    const qreal centerY = layout.background.center().y();
    if (m_fields.iconName || m_fields.nsImage) {
        const qreal icon = iconWidth();
        layout.icon = QRectF(x, centerY - icon / 2, icon, icon);
        x += icon + (m_fields.text ? iconGap : 0);
    }
    if (m_fields.text && !m_fields.text->isEmpty()) {
        const QFontMetricsF metrics(m_font);
        const qreal width = qMax(metrics.horizontalAdvance(*m_fields.text), m_fields.minWidth);
        layout.text = QRectF(x, centerY - metrics.height() / 2, width, metrics.height());
        x += width;
    }
    const QString countdown = countdownText();
    if (!countdown.isEmpty()) {
        const QFontMetricsF metrics(countdownFont());
        x += countdownGap;
        layout.countdown =
            QRectF(x, centerY - metrics.height() / 2, metrics.horizontalAdvance(countdown), metrics.height());
    }
    return layout;
}

void TrendyButtonHelper::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_pressOpacity);
    const Layout layout = layoutIn(rect());

    QPainterPath background;
    background.addRoundedRect(layout.background, cornerRadius, cornerRadius);
    painter.fillPath(background, fillColor());

    const qreal contentOpacity = m_fields.isDisabled ? disabledOpacity : 1.0;
    if (m_fields.iconName) {
        painter.save();
        painter.setOpacity(m_pressOpacity * contentOpacity);
        SymbolImage::paint(&painter, layout.icon, *m_fields.iconName,
                           m_fields.iconColor.value_or(TarnColor::controlBackgroundColor()));
        painter.restore();
    } else if (m_fields.nsImage && !m_fields.nsImage->isNull()) {
        const QSizeF fitted = m_fields.nsImage->deviceIndependentSize().scaled(layout.icon.size(), Qt::KeepAspectRatio);
        const QRectF target(layout.icon.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
        painter.drawPixmap(target, *m_fields.nsImage, m_fields.nsImage->rect());
    }
    if (!layout.text.isEmpty()) {
        painter.setFont(m_font);
        painter.setPen(m_fields.textColor);
        const QString shown = QFontMetricsF(m_font).elidedText(*m_fields.text, Qt::ElideMiddle, layout.text.width());
        painter.drawText(layout.text, int((m_fields.alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter), shown);
    }
    if (!layout.countdown.isEmpty()) {
        painter.setFont(countdownFont());
        painter.setPen(TarnColor::withOpacity(TarnColor::controlBackgroundColor(), contentOpacity));
        painter.drawText(layout.countdown, Qt::AlignCenter, countdownText());
    }
    if (!m_fields.isDisabled && FocusMark::isShown(this)) {
        const QRectF ring = layout.background.adjusted(focusInset, focusInset, -focusInset, -focusInset);
        FocusMark::paintRing(&painter, ring, cornerRadius - focusInset, m_fields.textColor);
    }
}

void TrendyButtonHelper::run()
{
    if (m_fields.callback)
        m_fields.callback();
}
