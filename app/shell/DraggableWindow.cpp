#include "app/shell/DraggableWindow.h"

#include "app/common/ShellTimings.h"
#include "app/shell/WindowButton.h"
#include "app/shell/WindowChrome.h"
#include "kit/theme/TarnColor.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace {
// A hairline around the frameless window, so that it stands out from what lies behind it.
constexpr int borderWidth = 1;
} // namespace

DraggableWindow::DraggableWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_shakeMovesWindow(!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
    , m_frame(new QWidget(this))
    , m_chrome(new WindowChrome)
{
    setWindowTitle(QStringLiteral("Tarn-Backup-Manager"));
    m_chrome->setTitle(windowTitle());

    auto* column = new QVBoxLayout(m_frame);
    column->setContentsMargins(borderWidth, borderWidth, borderWidth, borderWidth);
    column->setSpacing(0);
    column->addWidget(m_chrome);
    setContentWidget(new QWidget);

    resize(naturalSize());
    fitToScreen();

    connect(m_chrome->closeButton(), &WindowButton::clicked, this, &QWidget::close);
    connect(m_chrome->minimizeButton(), &WindowButton::clicked, this, &QWidget::showMinimized);
    connect(m_chrome->zoomButton(), &WindowButton::clicked, this, &DraggableWindow::toggleZoom);

    m_shakeTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_shakeTimer, &QTimer::timeout, this, &DraggableWindow::shakeStep);
}

DraggableWindow::~DraggableWindow() = default;

WindowToolbar* DraggableWindow::toolbar() const
{
    return m_chrome->toolbar();
}

void DraggableWindow::setContentWidget(QWidget* content)
{
    auto* column = static_cast<QVBoxLayout*>(m_frame->layout());
    if (m_content) {
        column->removeWidget(m_content);
        delete m_content;
    }
    m_content = content;
    m_content->setMinimumSize(contentMinimumSize());
    column->addWidget(m_content, 1);
}

QSize DraggableWindow::naturalSize()
{
    return contentSize + chromeSize();
}

QSize DraggableWindow::chromeSize()
{
    return {2 * borderWidth, WindowChrome::titleRowHeight + WindowChrome::toolbarRowHeight + 2 * borderWidth};
}

QSize DraggableWindow::roomOnScreen() const
{
    const QScreen* current = screen();
    return current ? naturalSize().boundedTo(current->availableGeometry().size()) : naturalSize();
}

QSize DraggableWindow::contentMinimumSize() const
{
    return contentSize.boundedTo(roomOnScreen() - chromeSize());
}

void DraggableWindow::fitToScreen()
{
    const QSize room = roomOnScreen();
    setMinimumSize(room);
    if (m_content) {
        m_content->setMinimumSize(contentMinimumSize());
    }
    if (!isMaximized() && !isFullScreen() && (width() > room.width() || height() > room.height())) {
        resize(size().boundedTo(room));
    }
}

void DraggableWindow::followScreen(QScreen* screen)
{
    disconnect(m_screenConnection);
    if (screen) {
        m_screenConnection = connect(screen, &QScreen::availableGeometryChanged, this, &DraggableWindow::fitToScreen);
    }
    fitToScreen();
}

void DraggableWindow::toggleZoom()
{
    if (isMaximized()) {
        showNormal();
    } else {
        showMaximized();
    }
}

void DraggableWindow::shake()
{
    if (isShaking()) {
        return;
    }
    m_shakeCounter = 0;
    m_shakeStart = pos();
    m_shakeTimer.start(ShellTimings::shakeStepMs);
}

void DraggableWindow::shakeStep()
{
    if (m_shakeCounter < shakeSteps) {
        placeShake(m_shakeCounter % 2 == 0 ? shakeOffset : -shakeOffset);
        ++m_shakeCounter;
        return;
    }
    placeShake(0);
    m_shakeTimer.stop();
    Q_EMIT shakeFinished();
}

void DraggableWindow::placeShake(int offset)
{
    if (m_shakeMovesWindow) {
        move(m_shakeStart + QPoint(offset, 0));
    } else {
        m_frame->move(offset, 0);
    }
}

Qt::Edges DraggableWindow::edgesAt(const QPoint& position) const
{
    Qt::Edges edges;
    if (isMaximized() || isFullScreen()) {
        return edges;
    }
    if (position.x() < resizeMargin) {
        edges |= Qt::LeftEdge;
    } else if (position.x() >= width() - resizeMargin) {
        edges |= Qt::RightEdge;
    }
    if (position.y() < resizeMargin) {
        edges |= Qt::TopEdge;
    } else if (position.y() >= height() - resizeMargin) {
        edges |= Qt::BottomEdge;
    }
    return edges;
}

void DraggableWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The window's own events come before any child sees them: the edges resize whatever lies there.
    if (!m_filteringWindow && windowHandle()) {
        windowHandle()->installEventFilter(this);
        m_filteringWindow = true;
        connect(windowHandle(), &QWindow::screenChanged, this, &DraggableWindow::followScreen);
        followScreen(windowHandle()->screen());
    }
}

bool DraggableWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == windowHandle() && handleWindowMouseEvent(event)) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool DraggableWindow::handleWindowMouseEvent(QEvent* event)
{
    if (event->type() != QEvent::MouseMove && event->type() != QEvent::MouseButtonPress) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const Qt::Edges edges = edgesAt(mouse->position().toPoint());
    if (event->type() == QEvent::MouseMove) {
        if (mouse->buttons() == Qt::NoButton && edges != m_cursorEdges) {
            m_cursorEdges = edges;
            if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge)) {
                setCursor(Qt::SizeFDiagCursor);
            } else if (edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge)) {
                setCursor(Qt::SizeBDiagCursor);
            } else if (edges & (Qt::LeftEdge | Qt::RightEdge)) {
                setCursor(Qt::SizeHorCursor);
            } else if (edges) {
                setCursor(Qt::SizeVerCursor);
            } else {
                unsetCursor();
            }
        }
        return false;
    }
    return mouse->button() == Qt::LeftButton && edges && windowHandle()->startSystemResize(edges);
}

void DraggableWindow::mousePressEvent(QMouseEvent* event)
{
    // Presses that no control took arrive here: the background of the chrome or of the content.
    const QRect band = m_chrome->geometry().translated(m_frame->pos());
    const bool draggable = m_isDraggable || band.contains(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !draggable) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    if (windowHandle() && windowHandle()->startSystemMove()) {
        return;
    }
    m_dragPressGlobal = event->globalPosition().toPoint();
    m_dragStartPosition = pos();
}

void DraggableWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragPressGlobal) {
        followDrag(event->globalPosition().toPoint());
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void DraggableWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragPressGlobal && event->button() == Qt::LeftButton) {
        followDrag(event->globalPosition().toPoint());
        m_dragPressGlobal.reset();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void DraggableWindow::followDrag(const QPoint& globalPosition)
{
    move(m_dragStartPosition + (globalPosition - *m_dragPressGlobal));
}

void DraggableWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_frame->setGeometry(QRect(m_frame->pos().x(), 0, width(), height()));
}

void DraggableWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), TarnColor::windowBackgroundColor());
    if (!isMaximized() && !isFullScreen()) {
        painter.setPen(TarnColor::withOpacity(TarnColor::secondary(), 0.6));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
