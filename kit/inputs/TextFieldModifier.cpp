#include "kit/inputs/TextFieldModifier.h"

#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {
constexpr int kPulseMs = 500;
constexpr qreal kCornerRadius = 5;
} // namespace

TextFieldModifier::TextFieldModifier(QWidget* content, const QFont& font, const QColor& textColor,
                                     const QColor& bgColor, QWidget* focusTarget, QWidget* parent)
    : QWidget(parent)
    , m_content(content)
    , m_focusTarget(focusTarget ? focusTarget : content)
    , m_textColor(textColor)
    , m_bgColor(bgColor)
    , m_focusedBorderColor(TarnColor::iconColor())
    , m_pulse(this, "lineWidth")
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addWidget(m_content);
    setPadding(QMargins(10, 4, 5, 4));

    m_content->setFont(font);
    applyContentColors();

    m_pulse.setDuration(kPulseMs);
    m_pulse.setStartValue(pulseStartLineWidth);
    m_pulse.setEndValue(focusedLineWidth);
    m_pulse.setEasingCurve(Motion::easeInOut());

    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { onApplicationFocusChanged(now); });
}

TextFieldModifier::~TextFieldModifier()
{
    // Focus moves while the children go; the pulse is gone by then.
    disconnect(qApp, nullptr, this, nullptr);
}

QColor TextFieldModifier::borderColor() const
{
    if (m_isFocused)
        return m_focusedBorderColor;
    return TarnColor::withOpacity(TarnColor::secondary(), 0.8);
}

void TextFieldModifier::setTextColor(const QColor& color)
{
    m_textColor = color;
    applyContentColors();
}

void TextFieldModifier::setBgColor(const QColor& color)
{
    m_bgColor = color;
    update();
}

void TextFieldModifier::setFocusedBorderColor(const QColor& color)
{
    m_focusedBorderColor = color;
    update();
}

void TextFieldModifier::setPadding(const QMargins& padding)
{
    layout()->setContentsMargins(padding);
}

void TextFieldModifier::setResetFocus(bool resetFocus)
{
    if (!resetFocus || !m_isFocused)
        return;
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();
}

void TextFieldModifier::setLineWidth(qreal width)
{
    m_lineWidth = width;
    update();
}

void TextFieldModifier::applyContentColors()
{
    QPalette palette = m_content->palette();
    palette.setColor(QPalette::Text, m_textColor);
    palette.setColor(QPalette::WindowText, m_textColor);
    palette.setColor(QPalette::Base, Qt::transparent);
    m_content->setPalette(palette);
}

void TextFieldModifier::onApplicationFocusChanged(QWidget* now)
{
    const bool focused = m_focusTarget && now && (now == m_focusTarget || m_focusTarget->isAncestorOf(now));
    if (focused == m_isFocused)
        return;
    m_isFocused = focused;
    if (focused) {
        m_lineWidth = pulseStartLineWidth;
        m_pulse.start();
    } else {
        m_pulse.stop();
        m_lineWidth = unfocusedLineWidth;
    }
    update();
    Q_EMIT focusChanged(focused);
}

void TextFieldModifier::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = m_lineWidth / 2;
    const QRectF box = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    QPainterPath shape;
    shape.addRoundedRect(box, kCornerRadius, kCornerRadius);
    painter.fillPath(shape, m_bgColor);
    QPen pen(borderColor(), m_lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.strokePath(shape, pen);
}

void TextFieldModifier::mousePressEvent(QMouseEvent* event)
{
    if (m_focusTarget && m_focusTarget->isEnabled() && m_focusTarget->focusPolicy() != Qt::NoFocus)
        m_focusTarget->setFocus(Qt::MouseFocusReason);
    event->accept();
}
