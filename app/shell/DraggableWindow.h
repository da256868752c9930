#pragma once

#include <QWidget>

// The main window: frameless, with window chrome of its own. While isDraggable is true (the locked
// look) it moves when dragged by its background; shake() signals a wrong password.
class DraggableWindow : public QWidget
{
    Q_OBJECT

public:
    explicit DraggableWindow(QWidget* parent = nullptr);
    ~DraggableWindow() override;

    bool isDraggable() const { return m_isDraggable; }
    void setIsDraggable(bool draggable) { m_isDraggable = draggable; }

    // Moves the window right, left, right and back to where it started; returns at once.
    void shake();

private:
    bool m_isDraggable = true;
};
