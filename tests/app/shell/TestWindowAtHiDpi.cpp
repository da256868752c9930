#include "app/backup/MainAppView.h"
#include "app/shell/DraggableWindow.h"
#include "app/shell/WindowButton.h"
#include "app/shell/WindowChrome.h"
#include "app/shell/WindowContent.h"
#include "app/updates/BottomUpdateView.h"
#include "tests/app/shell/HiDpiTestMain.h"
#include "tests/app/shell/ShellTestSupport.h"

#include <QScreen>

using namespace ShellTestSupport;

namespace {

QScreen* screenNamed(const QString& name)
{
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() == name)
            return screen;
    }
    return nullptr;
}

QRect globalRect(const QWidget* widget)
{
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

} // namespace

// The main window at 200 % on screens of several sizes: it never asks for more room than the
// screen leaves free, so its buttons and its bottom line stay on the screen.
class TestWindowAtHiDpi : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::screens().size(), 3);
        QCOMPARE(QGuiApplication::primaryScreen()->devicePixelRatio(), 2.0);
        QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry().size(), QSize(960, 540));
        m_keyring = startKeyring();
        QVERIFY(m_keyring->isRunning());
        shortenTimings();
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void windowFitsItsScreen_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("shownFirstOn");
        QTest::newRow("1920x1080") << QStringLiteral("Full HD") << QString();
        QTest::newRow("1366x768") << QStringLiteral("Laptop") << QString();
        QTest::newRow("2560x1440, room for all of it") << QStringLiteral("QHD") << QString();
        QTest::newRow("1920x1080, moved over from 2560x1440") << QStringLiteral("Full HD") << QStringLiteral("QHD");
        QTest::newRow("1366x768, moved over from 2560x1440") << QStringLiteral("Laptop") << QStringLiteral("QHD");
    }

    void windowFitsItsScreen()
    {
        QFETCH(QString, screen);
        QFETCH(QString, shownFirstOn);
        QScreen* target = screenNamed(screen);
        QScreen* first = shownFirstOn.isEmpty() ? target : screenNamed(shownFirstOn);
        QVERIFY(target && first);

        DraggableWindow window;
        window.setScreen(first);
        window.move(first->availableGeometry().topLeft());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (first != target) {
            QCOMPARE(window.size(), DraggableWindow::naturalSize());
            window.setScreen(target);
            window.move(target->availableGeometry().topLeft());
        }
        QTRY_COMPARE(window.screen(), target);

        const QRect available = target->availableGeometry();
        const QSize expected = DraggableWindow::naturalSize().boundedTo(available.size());
        QCOMPARE(window.minimumSize(), expected);
        QTRY_COMPARE(window.size(), expected);
        QVERIFY2(available.contains(window.frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(window.frameGeometry().x())
                                .arg(window.frameGeometry().y())
                                .arg(window.width())
                                .arg(window.height())));
        // The content takes what is left below the chrome.
        QVERIFY(window.contentWidget()->minimumHeight() <= window.height() - window.chrome()->height());
        QCOMPARE(window.contentWidget()->geometry().bottom() + 1 <= window.height(), true);
    }

    // A launch on the 1920x1080 screen: the window stands centred inside the free area, and its
    // window buttons and the main screen's bottom line with the version lie on the screen.
    void launchedWindowIsWithinReach()
    {
        QVERIFY(storeAppPassword(std::nullopt));
        const std::unique_ptr<AppDelegate> delegate = launch();
        QVERIFY(delegate);
        QVERIFY(delegate->isAuthenticated());
        DraggableWindow* window = delegate->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QRect available = window->screen()->availableGeometry();
        QVERIFY(available.contains(window->frameGeometry()));
        QVERIFY(qAbs(window->frameGeometry().center().x() - available.center().x()) <= 1);

        for (const WindowButton* button :
             {window->chrome()->closeButton(), window->chrome()->minimizeButton(), window->chrome()->zoomButton()}) {
            QVERIFY(available.contains(globalRect(button)));
        }
        MainAppView* main = delegate->windowContent()->mainAppView();
        QVERIFY(main);
        QTRY_VERIFY(main->bottomBar()->isVisible());
        QTRY_VERIFY(available.contains(globalRect(main->bottomBar())));
        QVERIFY(globalRect(window).contains(globalRect(main->bottomBar())));
    }
};

TARN_TEST_HIDPI_MAIN(TestWindowAtHiDpi, TARN_HIDPI_SCREENS)
#include "TestWindowAtHiDpi.moc"
