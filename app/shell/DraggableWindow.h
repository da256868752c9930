#pragma once

#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <optional>

class QScreen;
class WindowChrome;
class WindowToolbar;

// The main window: frameless, with window chrome of its own. While isDraggable is true (the locked
// look) it moves when dragged by its background; its title band moves it in every look. Its edges
// resize it. It never asks for more room than its screen leaves free: its minimum is its natural
// size, bounded by the screen's available area. shake() signals a wrong password.
class DraggableWindow : public QWidget
{
    Q_OBJECT

public:
    // Size of the content below the chrome, where the screen leaves room for it.
    static constexpr QSize contentSize{900, 500};
    // The window's size for that content: the content, the chrome and the border.
    static QSize naturalSize();
    // Width of the band along the edges that resizes the window.
    static constexpr int resizeMargin = 5;
    // Shake: three steps of this many pixels, then back to the start.
    static constexpr int shakeOffset = 10;
    static constexpr int shakeSteps = 3;

    explicit DraggableWindow(QWidget* parent = nullptr);
    ~DraggableWindow() override;

    bool isDraggable() const { return m_isDraggable; }
    void setIsDraggable(bool draggable) { m_isDraggable = draggable; }

    // Moves the window right, left, right and back to where it started; returns at once. A shake
    // asked for while one runs is ignored.
    void shake();
    bool isShaking() const { return m_shakeTimer.isActive(); }
    // Where the window system lets an application place its window (X11), the shake moves the
    // window; elsewhere (Wayland) it moves the window's content by the same offsets.
    bool shakeMovesWindow() const { return m_shakeMovesWindow; }
    void setShakeMovesWindow(bool movesWindow) { m_shakeMovesWindow = movesWindow; }

    WindowChrome* chrome() const { return m_chrome; }
    WindowToolbar* toolbar() const;
    // The widget below the chrome; the window takes ownership.
    void setContentWidget(QWidget* content);
    QWidget* contentWidget() const { return m_content; }
    // The frame that holds the chrome and the content (what a content shake moves).
    QWidget* frame() const { return m_frame; }

    // Zoom: maximised, or back to the normal size.
    void toggleZoom();

Q_SIGNALS:
    void shakeFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    static QSize chromeSize();
    // The natural size, bounded by the free area of the window's screen.
    QSize roomOnScreen() const;
    QSize contentMinimumSize() const;
    // The minimum never exceeds the screen's free area, and a window larger than it shrinks to it.
    void fitToScreen();
    void followScreen(QScreen* screen);
    void shakeStep();
    void placeShake(int offset);
    Qt::Edges edgesAt(const QPoint& position) const;
    bool handleWindowMouseEvent(QEvent* event);
    void followDrag(const QPoint& globalPosition);

    bool m_isDraggable = true;
    bool m_shakeMovesWindow;
    QWidget* m_frame;
    WindowChrome* m_chrome;
    QWidget* m_content = nullptr;
    QTimer m_shakeTimer;
    int m_shakeCounter = 0;
    QPoint m_shakeStart;
    // A drag the window follows itself, where the window system does not move it.
    std::optional<QPoint> m_dragPressGlobal;
    QPoint m_dragStartPosition;
    bool m_filteringWindow = false;
    Qt::Edges m_cursorEdges;
    QMetaObject::Connection m_screenConnection;
};
