#include "app/common/ShellTimings.h"
#include "app/shell/DraggableWindow.h"
#include "app/shell/WindowButton.h"
#include "app/shell/WindowChrome.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>

#include <functional>
#include <memory>

// The main window's own behaviour: the shake, dragging by the background, its buttons and edges.
class TestDraggableWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<DraggableWindow> m_window;

    // Records where a widget is moved to.
    class MoveRecorder : public QObject
    {
    public:
        explicit MoveRecorder(QWidget* widget)
            : m_widget(widget)
        {
            widget->installEventFilter(this);
        }
        QList<QPoint> positions;
        std::function<void()> onFirstMove;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (watched == m_widget && event->type() == QEvent::Move) {
                positions.append(m_widget->pos());
                if (positions.size() == 1 && onFirstMove) {
                    onFirstMove();
                }
            }
            return false;
        }

    private:
        QWidget* m_widget;
    };

private Q_SLOTS:
    void initTestCase()
    {
        ShellTimings::shakeStepMs = 5;
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        m_window = std::make_unique<DraggableWindow>();
        m_window->move(200, 150);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup() { m_window.reset(); }

    void layout()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarn-Backup-Manager"));
        QVERIFY(m_window->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(m_window->contentWidget()->size(), QSize(900, 500));
        QCOMPARE(m_window->chrome()->height(), WindowChrome::titleRowHeight + WindowChrome::toolbarRowHeight);
        QVERIFY(m_window->isDraggable());
    }

    void shake_data()
    {
        QTest::addColumn<bool>("movesWindow");
        QTest::newRow("the window moves") << true;
        QTest::newRow("the content moves") << false;
    }

    // Right, left, right, back to the start; a second shake asked for meanwhile changes nothing.
    void shake()
    {
        QFETCH(bool, movesWindow);
        m_window->setShakeMovesWindow(movesWindow);
        QWidget* moved = movesWindow ? static_cast<QWidget*>(m_window.get()) : m_window->frame();
        const QPoint start = moved->pos();
        const QPoint windowStart = m_window->pos();
        MoveRecorder recorder(moved);
        QSignalSpy finished(m_window.get(), &DraggableWindow::shakeFinished);

        // Shakes asked for while one runs: at once, and after its first step.
        recorder.onFirstMove = [this] { m_window->shake(); };
        m_window->shake();
        QVERIFY(m_window->isShaking());
        m_window->shake();
        QVERIFY(finished.wait());
        QVERIFY(!m_window->isShaking());

        const QList<QPoint> expected{start + QPoint(10, 0), start + QPoint(-10, 0), start + QPoint(10, 0), start};
        QCOMPARE(recorder.positions, expected);
        QCOMPARE(moved->pos(), start);
        QCOMPARE(m_window->pos(), windowStart);
        QCOMPARE(finished.count(), 1);

        // A shake after the end runs again from where the window is then.
        m_window->shake();
        QVERIFY(finished.wait());
        QCOMPARE(recorder.positions.size(), 8);
        QCOMPARE(moved->pos(), start);
    }

    void drag_data()
    {
        QTest::addColumn<bool>("draggable");
        QTest::addColumn<bool>("onTitleBand");
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<QPoint>("moved");
        QTest::newRow("locked look, drag") << true << false << QPoint(40, -25) << QPoint(40, -25);
        QTest::newRow("locked look, press without moving") << true << false << QPoint(0, 0) << QPoint(0, 0);
        QTest::newRow("unlocked look, background") << false << false << QPoint(40, -25) << QPoint(0, 0);
        QTest::newRow("unlocked look, title band") << false << true << QPoint(-30, 12) << QPoint(-30, 12);
    }

    void drag()
    {
        QFETCH(bool, draggable);
        QFETCH(bool, onTitleBand);
        QFETCH(QPoint, delta);
        QFETCH(QPoint, moved);
        m_window->setIsDraggable(draggable);
        QWidget* target = onTitleBand ? static_cast<QWidget*>(m_window->chrome()) : m_window->contentWidget();
        const QPoint grab = onTitleBand ? QPoint(450, 10) : QPoint(300, 200);
        const QPoint start = m_window->pos();

        QTest::mousePress(target, Qt::LeftButton, {}, grab);
        QTest::mouseMove(target, grab + delta);
        // The window followed the pointer, so the pointer is over the grab point again.
        const QPoint release = m_window->pos() == start ? grab + delta : grab;
        QTest::mouseRelease(target, Qt::LeftButton, {}, release);
        QCOMPARE(m_window->pos(), start + moved);
    }

    void buttons()
    {
        WindowChrome* chrome = m_window->chrome();
        QTest::mouseClick(chrome->zoomButton(), Qt::LeftButton);
        QVERIFY(m_window->isMaximized());
        QTest::mouseClick(chrome->zoomButton(), Qt::LeftButton);
        QVERIFY(!m_window->isMaximized());
        QTest::mouseClick(chrome->minimizeButton(), Qt::LeftButton);
        QVERIFY(m_window->isMinimized());
        m_window->showNormal();

        // Closing hides the window; it stays, to be shown again with its state.
        QTest::mouseClick(chrome->closeButton(), Qt::LeftButton);
        QVERIFY(!m_window->isVisible());
        QVERIFY(!m_window->testAttribute(Qt::WA_DeleteOnClose));
    }

    void edges_data()
    {
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<int>("shape");
        QTest::newRow("left") << QPoint(2, 300) << int(Qt::SizeHorCursor);
        QTest::newRow("right") << QPoint(899, 300) << int(Qt::SizeHorCursor);
        QTest::newRow("bottom") << QPoint(450, 567) << int(Qt::SizeVerCursor);
        QTest::newRow("top left") << QPoint(1, 1) << int(Qt::SizeFDiagCursor);
        QTest::newRow("bottom left") << QPoint(1, 567) << int(Qt::SizeBDiagCursor);
        QTest::newRow("inside") << QPoint(450, 300) << int(Qt::ArrowCursor);
    }

    // The pointer over an edge shows the resize cursor; a press there resizes through the window system.
    void edges()
    {
        QFETCH(QPoint, position);
        QFETCH(int, shape);
        QCOMPARE(m_window->size(), QSize(902, 570));
        QTest::mouseMove(m_window->windowHandle(), QPoint(450, 300));
        QTest::mouseMove(m_window->windowHandle(), position);
        QCOMPARE(int(m_window->cursor().shape()), shape);
    }
};

TARN_TEST_GUI_MAIN(TestDraggableWindow)
#include "TestDraggableWindow.moc"
