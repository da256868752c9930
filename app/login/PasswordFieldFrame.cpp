#include "app/login/PasswordFieldFrame.h"

#include "app/common/ShellTimings.h"
#include "kit/inputs/SecureInputView.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr qreal cornerRadius = 5;
} // namespace

PasswordFieldFrame::PasswordFieldFrame(SecureInputView* field, QWidget* parent)
    : QWidget(parent)
    , m_field(field)
    , m_fillColor(TarnColor::controlBackgroundColor())
    , m_lineAnimation(this, "lineWidth")
{
    setFixedSize(frameSize);
    setCursor(Qt::IBeamCursor);
    m_field->setParent(this);
    m_field->installEventFilter(this);
    m_lineAnimation.setEasingCurve(Motion::easeInOut());
}

void PasswordFieldFrame::setLineWidth(qreal width)
{
    m_lineWidth = width;
    update();
}

void PasswordFieldFrame::setFillColor(const QColor& color)
{
    m_fillColor = color;
    update();
}

QRectF PasswordFieldFrame::boxRect() const
{
    const qreal boxHeight = fieldHeight + 2 * verticalPadding;
    return {0, (height() - boxHeight) / 2.0, qreal(width()), boxHeight};
}

void PasswordFieldFrame::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QRectF box = boxRect();
    m_field->setGeometry(QRectF(box.left() + horizontalPadding, box.top() + verticalPadding,
                                box.width() - 2 * horizontalPadding, fieldHeight)
                             .toRect());
}

bool PasswordFieldFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field) {
        if (event->type() == QEvent::FocusIn) {
            setFocused(true);
        } else if (event->type() == QEvent::FocusOut) {
            setFocused(false);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PasswordFieldFrame::setFocused(bool focused)
{
    if (focused == m_focused) {
        return;
    }
    m_focused = focused;
    m_lineAnimation.stop();
    if (!focused) {
        setLineWidth(unfocusedLineWidth);
        return;
    }
    setLineWidth(focusGainLineWidth);
    m_lineAnimation.setDuration(qMax(1, ShellTimings::focusAnimationMs));
    m_lineAnimation.setStartValue(focusGainLineWidth);
    m_lineAnimation.setEndValue(focusedLineWidth);
    m_lineAnimation.start();
}

void PasswordFieldFrame::mousePressEvent(QMouseEvent* event)
{
    m_field->setFocus(Qt::MouseFocusReason);
    event->accept();
}

void PasswordFieldFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = m_lineWidth / 2.0;
    QPainterPath box;
    box.addRoundedRect(boxRect().adjusted(inset, inset, -inset, -inset), cornerRadius, cornerRadius);
    painter.fillPath(box, m_fillColor);
    const QColor stroke = m_focused ? TarnColor::accentColor() : TarnColor::withOpacity(TarnColor::secondary(), 0.8);
    painter.strokePath(box, QPen(stroke, m_lineWidth));
}
