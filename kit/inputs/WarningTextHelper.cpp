#include "kit/inputs/WarningTextHelper.h"

#include "kit/controls/ControlAccessibility.h"

#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"
#include "kit/theme/TarnFont.h"

#include <QAccessible>
#include <QPainter>
#include <QTextLayout>

namespace {
constexpr int kVerticalPadding = 5;
constexpr int kShadowRadius = 4;
// The widest the band asks to be; a longer message wraps instead of widening its host.
constexpr int kPreferredWidth = 400;
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
    // Preferred, not Fixed, vertically: a layout would cap the height at the size hint's, which is
    // that of the preferred width, while a narrower band needs more lines.
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    ControlAccessibility::install();

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
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
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

QStringList WarningTextHelper::lines(int width) const
{
    if (width < 0)
        width = this->width();
    QStringList result;
    if (m_painted.isEmpty() || width <= 0)
        return result;
    QString text = m_painted;
    text.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(text, font());
    QTextOption option(Qt::AlignHCenter);
    // Long words (paths, addresses) break where they must rather than run out of the band.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        result << text.mid(line.textStart(), line.textLength()).remove(QChar::LineSeparator).trimmed();
    }
    layout.endLayout();
    return result;
}

int WarningTextHelper::bandHeight(int width) const
{
    const int count = qMax<qsizetype>(1, lines(width).size());
    return int(count) * QFontMetrics(font()).lineSpacing() + 2 * kVerticalPadding;
}

int WarningTextHelper::reservedHeight(int width) const
{
    return bandHeight(width) + kShadowRadius;
}

QSize WarningTextHelper::sizeHint() const
{
    if (!m_present)
        return {0, 0};
    const QFontMetrics metrics(font());
    const int width = qMin(metrics.horizontalAdvance(m_painted) + 2 * kShadowRadius, kPreferredWidth);
    return {width, heightForWidth(width)};
}

QSize WarningTextHelper::minimumSizeHint() const
{
    if (!m_present)
        return {0, 0};
    return {0, QFontMetrics(font()).lineSpacing() + 2 * kVerticalPadding + kShadowRadius};
}

int WarningTextHelper::heightForWidth(int width) const
{
    if (!m_present)
        return 0;
    return bandHeight(width) + kShadowRadius;
}

void WarningTextHelper::paintEvent(QPaintEvent*)
{
    if (!m_present)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);
    painter.translate(0, m_slide * height());

    const QStringList shown = lines(width());
    const QFontMetrics metrics(font());
    // At the bottom of whatever height the layout gave.
    const int bandTall = bandHeight(width());
    const QRectF band(0, qMax(kShadowRadius, height() - bandTall), width(), bandTall);

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
    qreal y = band.top() + kVerticalPadding;
    for (const QString& line : shown) {
        painter.drawText(QRectF(0, y, width(), metrics.lineSpacing()), Qt::AlignCenter | Qt::TextSingleLine, line);
        y += metrics.lineSpacing();
    }
}
