#include "kit/controls/PressableView.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace {
bool isPlain(const QKeyEvent* event)
{
    return (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}
} // namespace

PressableView::PressableView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
}

void PressableView::setHovered(bool hovered)
{
    if (m_hovered == hovered)
        return;
    m_hovered = hovered;
    update();
    Q_EMIT hoveredChanged(hovered);
}

void PressableView::setPressed(bool pressed)
{
    if (!pressed)
        m_source = PressSource::none;
    if (m_pressed == pressed)
        return;
    m_pressed = pressed;
    update();
    Q_EMIT pressedChanged(pressed);
}

void PressableView::click()
{
    if (!canPress())
        return;
    Q_EMIT clicked();
    run();
}

void PressableView::pressableChanged()
{
    setFocusPolicy(isPressable() ? Qt::TabFocus : Qt::NoFocus);
    if (!isPressable())
        setPressed(false);
    update();
}

void PressableView::enterEvent(QEnterEvent* event)
{
    setHovered(true);
    QWidget::enterEvent(event);
}

void PressableView::leaveEvent(QEvent* event)
{
    setHovered(false);
    QWidget::leaveEvent(event);
}

void PressableView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // A press on a control that cannot run still lands on it, not on what lies behind.
    event->accept();
    if (!canPress())
        return;
    setPressed(true);
    m_source = PressSource::mouse;
}

void PressableView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    if (m_source != PressSource::mouse)
        return;
    setPressed(false);
    if (rect().contains(event->position().toPoint()))
        click();
}

void PressableView::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const bool runs = key == Qt::Key_Space || (m_returnRuns && (key == Qt::Key_Return || key == Qt::Key_Enter));
    if (!runs || !isPlain(event) || !canPress()) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->isAutoRepeat())
        return;
    if (key == Qt::Key_Space) {
        setPressed(true);
        m_source = PressSource::space;
        return;
    }
    click();
}

void PressableView::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Space || event->isAutoRepeat() || m_source != PressSource::space) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    event->accept();
    setPressed(false);
    click();
}

void PressableView::focusOutEvent(QFocusEvent* event)
{
    // A Space held while the focus leaves runs nothing.
    if (m_source == PressSource::space)
        setPressed(false);
    QWidget::focusOutEvent(event);
}

void PressableView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        setPressed(false);
    QWidget::changeEvent(event);
}
