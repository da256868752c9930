#include "kit/inputs/WarningTextHelper.h"

#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"
#include "kit/theme/TarnFont.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int kVerticalPadding = 5;
constexpr int kShadowRadius = 4;
const QPointF kShadowOffset(2, -2);
} // namespace

WarningTextHelper::WarningTextHelper(Binding<std::optional<QString>> warningText, const QColor& txtColor,
                                     QWidget* parent)
    : QWidget(parent)
    , m_warningText(std::move(warningText))
    , m_txtColor(txtColor)
    , m_fade(this, "opacity")
    , m_move(this, "slide")
{
    setFont(TarnFont(TarnFont::roboto_regular14).font());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);

    m_clearTimer.setSingleShot(true);
    m_clearTimer.setTimerType(Qt::PreciseTimer);
    m_clearTimer.setInterval(clearDelayMs);
    connect(&m_clearTimer, &QTimer::timeout, this, &WarningTextHelper::clear);

    m_fade.setDuration(transitionMs);
    m_fade.setEasingCurve(Motion::easeInOut());
    m_fade.setStartValue(1.0);
    m_fade.setEndValue(0.0);
    connect(&m_fade, &QPropertyAnimation::finished, this, [this] {
        if (!m_shown) {
            m_present = false;
            updateGeometry();
            update();
        }
    });
    m_move.setDuration(transitionMs);
    m_move.setEasingCurve(Motion::easeInOut());
    m_move.setStartValue(1.0);
    m_move.setEndValue(0.0);

    apply(m_warningText.get(), true);
}

void WarningTextHelper::setWarningText(const std::optional<QString>& text)
{
    m_warningText.set(text);
    apply(text, true);
}

void WarningTextHelper::refresh()
{
    const std::optional<QString> text = m_warningText.get();
    apply(text, text != m_shown);
}

void WarningTextHelper::apply(const std::optional<QString>& text, bool restart)
{
    if (!text) {
        m_clearTimer.stop();
        if (m_shown) {
            m_shown.reset();
            m_move.stop();
            m_fade.start();
        }
        return;
    }
    const bool appearing = !m_shown;
    m_shown = text;
    m_painted = *text;
    if (appearing) {
        m_fade.stop();
        m_opacity = 1;
        m_present = true;
        m_move.start();
    }
    if (restart || appearing)
        m_clearTimer.start();
    updateGeometry();
    update();
}

void WarningTextHelper::clear()
{
    m_warningText.set(std::nullopt);
    apply(std::nullopt, false);
}

void WarningTextHelper::setOpacity(qreal opacity)
{
    m_opacity = opacity;
    update();
}

void WarningTextHelper::setSlide(qreal slide)
{
    m_slide = slide;
    update();
}

QSize WarningTextHelper::sizeHint() const
{
    if (!m_present)
        return {0, 0};
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(m_painted) + 2 * kShadowRadius,
            metrics.height() + 2 * kVerticalPadding + kShadowRadius};
}

void WarningTextHelper::paintEvent(QPaintEvent*)
{
    if (!m_present)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);
    painter.translate(0, m_slide * height());

    const QFontMetrics metrics(font());
    const QRectF band(0, kShadowRadius, width(), metrics.height() + 2 * kVerticalPadding);

    // A soft shadow: a few widening layers of the faint secondary colour, offset right and up.
    const QColor shadow = TarnColor::withOpacity(TarnColor::secondary(), 0.1);
    for (int i = kShadowRadius; i > 0; --i) {
        QColor layer = shadow;
        layer.setAlphaF(shadow.alphaF() / kShadowRadius);
        painter.fillRect(band.translated(kShadowOffset).adjusted(-i, -i, i, i), layer);
    }
    painter.fillRect(band, TarnColor::controlBackgroundColor());

    painter.setFont(font());
    painter.setPen(m_txtColor);
    painter.drawText(band, Qt::AlignCenter | Qt::TextSingleLine,
                     metrics.elidedText(m_painted, Qt::ElideRight, width()));
}
