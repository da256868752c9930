#include "kit/controls/RestoreButtonView.h"

#include "kit/controls/ControlAccessibility.h"
#include "kit/theme/FocusMark.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/Motion.h"
#include "kit/theme/SymbolImage.h"
#include "kit/theme/TarnColor.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QVariantAnimation>

namespace {

constexpr qreal rowWidth = 300;
constexpr qreal padTop = 2, padLeading = 1, padBottom = 2, padTrailing = 10;
constexpr qreal badgeFrame = 60, badgePadding = 5;
constexpr qreal spacing = 20;
constexpr qreal textColumnWidth = 170;
constexpr qreal textSpacing = 4;
constexpr int subtitleMaxLines = 2;

qreal lerp(qreal from, qreal to, qreal t)
{
    return from + (to - from) * t;
}

QColor mix(const QColor& from, const QColor& to, qreal t)
{
    return QColor::fromRgbF(float(lerp(from.redF(), to.redF(), t)), float(lerp(from.greenF(), to.greenF(), t)),
                            float(lerp(from.blueF(), to.blueF(), t)), float(lerp(from.alphaF(), to.alphaF(), t)));
}

} // namespace

RestoreButtonView::RestoreButtonView(const QString& iconName, const QString& title, const QString& subTitle,
                                     std::optional<QColor> color, std::function<void()> action, QWidget* parent)
    : PressableView(parent)
    , m_iconName(iconName)
    , m_title(title)
    , m_subTitle(subTitle)
    , m_color(std::move(color))
    , m_action(std::move(action))
    , m_titleFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Bold"), 16, QFont::Bold))
    , m_subtitleFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 12, QFont::Normal))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    pressableChanged();
    ControlAccessibility::install();
    m_animation = new QVariantAnimation(this);
    m_animation->setEasingCurve(Motion::easeInOut());
    connect(m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setHoverProgress(value.toReal()); });
    connect(this, &PressableView::hoveredChanged, this, &RestoreButtonView::animateHover);
}

void RestoreButtonView::animateHover(bool hover)
{
    const qreal target = hover ? 1.0 : 0.0;
    m_animation->stop();
    if (Motion::defaultDuration() == 0) {
        setHoverProgress(target);
    } else {
        m_animation->setDuration(Motion::defaultDuration());
        m_animation->setStartValue(m_progress);
        m_animation->setEndValue(target);
        m_animation->start();
    }
}

void RestoreButtonView::setHoverProgress(qreal progress)
{
    m_progress = qBound<qreal>(0, progress, 1);
    update();
}

QColor RestoreButtonView::rowColor() const
{
    return m_color.value_or(TarnColor::accentColor());
}

qreal RestoreButtonView::symbolSize() const
{
    return lerp(25, 40, m_progress);
}

qreal RestoreButtonView::diskSize() const
{
    return lerp(58, 70, m_progress);
}

qreal RestoreButtonView::textOffset() const
{
    return lerp(0, -5, m_progress);
}

qreal RestoreButtonView::backgroundOpacity() const
{
    return lerp(0.6, 0.8, m_progress);
}

QStringList RestoreButtonView::subtitleLines() const
{
    QStringList lines;
    QTextLayout layout(m_subTitle, m_subtitleFont);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(textColumnWidth);
        if (lines.size() == subtitleMaxLines - 1) {
            // The last allowed line takes the rest of the text, cut with an ellipsis.
            const QString rest = m_subTitle.mid(line.textStart());
            lines << QFontMetricsF(m_subtitleFont).elidedText(rest, Qt::ElideRight, textColumnWidth);
            break;
        }
        lines << m_subTitle.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

QSize RestoreButtonView::sizeHint() const
{
    const qreal textHeight = QFontMetricsF(m_titleFont).height() + textSpacing +
        subtitleLines().size() * QFontMetricsF(m_subtitleFont).lineSpacing();
    const qreal height = qMax(badgeFrame + 2 * badgePadding, textHeight);
    return QSizeF(padLeading + rowWidth + padTrailing, padTop + height + padBottom).toSize();
}

void RestoreButtonView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    QPainterPath clip;
    clip.addRoundedRect(bounds, 5, 5);
    painter.setClipPath(clip);

    QPainterPath capsule;
    const qreal radius = bounds.height() / 2;
    capsule.addRoundedRect(bounds, radius, radius);
    painter.fillPath(capsule, TarnColor::withOpacity(TarnColor::controlBackgroundColor(), backgroundOpacity()));

    const QColor color = rowColor();
    const QColor control = TarnColor::controlBackgroundColor();
    const qreal rowHeight = bounds.height() - padTop - padBottom;
    const QPointF badgeCenter(padLeading + badgePadding + badgeFrame / 2, padTop + rowHeight / 2);
    auto disk = [&](qreal size, const QColor& fill) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawEllipse(badgeCenter, size / 2, size / 2);
    };
    disk(badgeFrame, color);
    disk(diskSize(), mix(control, color, m_progress));
    const qreal symbol = symbolSize();
    SymbolImage::paint(&painter, QRectF(badgeCenter - QPointF(symbol / 2, symbol / 2), QSizeF(symbol, symbol)),
                       m_iconName, mix(color, control, m_progress));

    const QFontMetricsF titleMetrics(m_titleFont);
    const QFontMetricsF subtitleMetrics(m_subtitleFont);
    const QStringList lines = subtitleLines();
    const qreal textHeight = titleMetrics.height() + textSpacing + lines.size() * subtitleMetrics.lineSpacing();
    const qreal textX = padLeading + badgeFrame + 2 * badgePadding + spacing + textOffset();
    qreal y = padTop + (rowHeight - textHeight) / 2;

    QFont titleFont = m_titleFont;
    titleFont.setUnderline(isHovered());
    painter.setFont(titleFont);
    painter.setPen(color);
    painter.drawText(QRectF(textX, y, textColumnWidth, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(m_title, Qt::ElideRight, textColumnWidth));
    y += titleMetrics.height() + textSpacing;
    painter.setFont(m_subtitleFont);
    painter.setPen(TarnColor::secondary());
    for (const QString& line : lines) {
        painter.drawText(QRectF(textX, y, textColumnWidth, subtitleMetrics.lineSpacing()),
                         Qt::AlignLeft | Qt::AlignVCenter, line);
        y += subtitleMetrics.lineSpacing();
    }
    if (FocusMark::isShown(this))
        FocusMark::paintRing(&painter, bounds, radius, color);
}

void RestoreButtonView::run()
{
    m_action();
}
