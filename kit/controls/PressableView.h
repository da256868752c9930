#pragma once

#include <QWidget>

// The press and keyboard handling of the kit's drawn buttons. A left click released inside runs it, Space
// presses it while held and runs it on release, Return and Enter run it at once; held keys do not repeat.
// It tracks hovering and pressing for the painting, is reached with Tab while it can run (a click leaves
// the focus where it was), and a disabled one runs nothing. Subclasses paint, size themselves and say in
// run() what a press does.
class PressableView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool isHovered READ isHovered WRITE setHovered NOTIFY hoveredChanged)
    Q_PROPERTY(bool isPressed READ isPressed WRITE setPressed NOTIFY pressedChanged)

public:
    explicit PressableView(QWidget* parent = nullptr);

    bool isHovered() const { return m_hovered; }
    void setHovered(bool hovered);
    bool isPressed() const { return m_pressed; }
    void setPressed(bool pressed);
    // Enabled, and able to run as the subclass says.
    bool canPress() const { return isEnabled() && isPressable(); }

public Q_SLOTS:
    // What a click does: emits clicked and runs the press, unless it cannot run.
    void click();

Q_SIGNALS:
    void clicked();
    void hoveredChanged(bool hovered);
    void pressedChanged(bool pressed);

protected:
    virtual bool isPressable() const { return true; }
    virtual void run() { }
    // Return and Enter run it unless turned off here; Space always does.
    void setReturnRuns(bool runs) { m_returnRuns = runs; }
    // To call when isPressable() changes: Tab passes a control that cannot run, and its press is dropped.
    void pressableChanged();

    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    enum class PressSource { none, mouse, space };

    bool m_hovered = false;
    bool m_pressed = false;
    bool m_returnRuns = true;
    PressSource m_source = PressSource::none;
};
