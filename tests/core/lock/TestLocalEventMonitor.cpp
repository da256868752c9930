#include "core/lock/LocalEventMonitor.h"
#include "tests/support/TestMain.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWindow>

namespace {

// Records the events it receives, to show that the monitor passes them on.
class Receiver : public QObject
{
public:
    QList<QEvent::Type> received;

protected:
    bool event(QEvent* event) override
    {
        received.append(event->type());
        return QObject::event(event);
    }
};

} // namespace

Q_DECLARE_METATYPE(QSharedPointer<QEvent>)

class TestLocalEventMonitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void countsActivityOnly_data()
    {
        QTest::addColumn<QSharedPointer<QEvent>>("event");
        QTest::addColumn<bool>("counted");
        const QPointF at(10, 10);
        auto mouse = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons) {
            return QSharedPointer<QEvent>(new QMouseEvent(type, at, at, button, buttons, Qt::NoModifier));
        };
        auto key = [](QEvent::Type type, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            return QSharedPointer<QEvent>(new QKeyEvent(type, code, modifiers));
        };
        QTest::newRow("left press") << mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton) << true;
        QTest::newRow("right press") << mouse(QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton) << true;
        QTest::newRow("left double click")
            << mouse(QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::LeftButton) << true;
        QTest::newRow("middle press") << mouse(QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton) << false;
        QTest::newRow("move") << mouse(QEvent::MouseMove, Qt::NoButton, Qt::NoButton) << true;
        QTest::newRow("drag") << mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton) << false;
        QTest::newRow("release") << mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton) << false;
        QTest::newRow("key press") << key(QEvent::KeyPress, Qt::Key_A) << true;
        QTest::newRow("key press with shift") << key(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier) << true;
        QTest::newRow("return") << key(QEvent::KeyPress, Qt::Key_Return) << true;
        QTest::newRow("key release") << key(QEvent::KeyRelease, Qt::Key_A) << false;
        QTest::newRow("shift alone") << key(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier) << false;
        QTest::newRow("caps lock") << key(QEvent::KeyPress, Qt::Key_CapsLock) << false;
        QTest::newRow("wheel") << QSharedPointer<QEvent>(new QWheelEvent(at, at, QPoint(), QPoint(0, 120), Qt::NoButton,
                                                                         Qt::NoModifier, Qt::NoScrollPhase, false))
                               << false;
        QTest::newRow("timer") << QSharedPointer<QEvent>(new QTimerEvent(1)) << false;
    }

    void countsActivityOnly()
    {
        QFETCH(QSharedPointer<QEvent>, event);
        QFETCH(bool, counted);
        int calls = 0;
        const LocalEventMonitor monitor([&] { ++calls; });
        Receiver receiver;
        QCoreApplication::sendEvent(&receiver, event.data());
        QCOMPARE(calls, counted ? 1 : 0);
        // Never swallowed.
        QCOMPARE(receiver.received, QList<QEvent::Type>{event->type()});
    }

    void seesEventsOfTheApplicationsWindows()
    {
        int calls = 0;
        const LocalEventMonitor monitor([&] { ++calls; });
        QWindow window;
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        calls = 0;
        QTest::mouseMove(&window, QPoint(20, 20));
        QVERIFY(calls > 0);
        calls = 0;
        QTest::keyClick(&window, Qt::Key_X);
        QVERIFY(calls > 0);
        calls = 0;
        QTest::keyClick(&window, Qt::Key_Control);
        QCOMPARE(calls, 0);
    }

    void installedWhileAlive()
    {
        const int before = LocalEventMonitor::installedCount();
        int calls = 0;
        {
            const LocalEventMonitor monitor([&] { ++calls; });
            QCOMPARE(LocalEventMonitor::installedCount(), before + 1);
        }
        QCOMPARE(LocalEventMonitor::installedCount(), before);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
        QObject target;
        QCoreApplication::sendEvent(&target, &press);
        QCOMPARE(calls, 0);
    }
};

TARN_TEST_MAIN_WITH(TestLocalEventMonitor, QGuiApplication)
#include "TestLocalEventMonitor.moc"
