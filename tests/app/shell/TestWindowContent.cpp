#include "app/backup/MainAppView.h"
#include "app/login/PasswordEntryView.h"
#include "app/shell/DraggableWindow.h"
#include "app/shell/WindowChrome.h"
#include "app/shell/WindowContent.h"
#include "kit/inputs/WarningTextHelper.h"
#include "kit/theme/TarnColor.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/TestMain.h"

#include <QApplication>

using namespace ShellTestSupport;

// The root content: which screen shows, how the two slide, the login's warning line, and the window
// looks the screens ask for.
class TestWindowContent : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;

    static int indexOf(QWidget* child) { return int(child->parentWidget()->children().indexOf(child)); }

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = startKeyring();
        QVERIFY(m_keyring->isRunning());
        shortenTimings();
        QVERIFY(storeAppPassword(std::nullopt));
    }

    // Logging in moves both screens to the right, logging out both to the left; the main screen lies
    // on top while both show, and the one that left is gone afterwards.
    void slideFollowsTheFlag()
    {
        ShellTimings::slideMs = 300;
        AppDelegate delegate;
        WindowContent content(&delegate);
        content.resize(900, 500);
        content.show();
        QSignalSpy changed(&content, &WindowContent::branchChanged);
        QSignalSpy slid(&content, &WindowContent::slideFinished);
        QCOMPARE(content.branch(), WindowContent::Branch::none);

        // The first state shows at once.
        delegate.setIsAuthenticated(false);
        QCOMPARE(content.branch(), WindowContent::Branch::login);
        QVERIFY(!content.isSliding());
        const QPointer<QWidget> login = content.loginBranch();
        QCOMPARE(login->geometry(), QRect(0, 0, 900, 500));

        delegate.setIsAuthenticated(true);
        QCOMPARE(content.branch(), WindowContent::Branch::main);
        QVERIFY(content.isSliding());
        const QPointer<QWidget> main = content.mainAppView();
        QCOMPARE(main->x(), 900);
        QCOMPARE(login->x(), 0);
        QVERIFY(indexOf(main) > indexOf(login));
        QTRY_VERIFY(main->x() < 900 && main->x() > 0);
        QCOMPARE(login->x(), 900 - main->x());
        QVERIFY(slid.wait());
        QCOMPARE(main->x(), 0);
        QTRY_VERIFY(!login);

        // A write of the same value slides nothing.
        delegate.setIsAuthenticated(true);
        QVERIFY(!content.isSliding());
        QCOMPARE(changed.count(), 2);

        delegate.setIsAuthenticated(false);
        const QPointer<QWidget> nextLogin = content.loginBranch();
        QVERIFY(nextLogin && nextLogin != login);
        QCOMPARE(nextLogin->x(), -900);
        QVERIFY(indexOf(main) > indexOf(nextLogin));
        QTRY_VERIFY(nextLogin->x() > -900 && nextLogin->x() < 0);
        QCOMPARE(main->x(), -900 - nextLogin->x());
        QVERIFY(slid.wait());
        QCOMPARE(nextLogin->x(), 0);
        QTRY_VERIFY(!main);

        // A change during a slide ends that slide first.
        delegate.setIsAuthenticated(true);
        delegate.setIsAuthenticated(false);
        QCOMPARE(content.branch(), WindowContent::Branch::login);
        QVERIFY(slid.wait());
        QCOMPARE(content.loginBranch()->x(), 0);
        QTRY_COMPARE(content.findChildren<MainAppView*>().size(), 0);
        QTRY_COMPARE(content.findChildren<PasswordEntryView*>().size(), 1);
        ShellTimings::slideMs = 20;
    }

    // The warning line is part of the login screen: red, at the bottom, gone with the login screen.
    void warningLine()
    {
        AppDelegate delegate;
        WindowContent content(&delegate);
        content.resize(900, 500);
        content.show();
        delegate.setIsAuthenticated(false);
        WarningTextHelper* line = content.warningLine();
        QVERIFY(line && !line->isBandShown());

        content.passwordEntryView()->showWarning(PasswordEntryView::wrongPasswordText);
        QCOMPARE(content.warningText(), std::optional(PasswordEntryView::wrongPasswordText));
        QCOMPARE(line->shownText(), std::optional(PasswordEntryView::wrongPasswordText));
        QCOMPARE(line->txtColor(), TarnColor::red());
        QTRY_COMPARE(line->geometry().bottom(), content.loginBranch()->height() - 1);

        delegate.setIsAuthenticated(true);
        QTRY_VERIFY(!content.warningLine());
        QCOMPARE(content.warningText(), std::nullopt);
        delegate.setIsAuthenticated(false);
        QVERIFY(!content.warningLine()->isBandShown());
    }

    // Each request applies the look of the state when it is carried out: logging in and at once out
    // again ends in the locked look, although the main screen's request comes last.
    void windowLookFollowsTheCurrentState()
    {
        ShellTimings::mainRestyleDelayMs = 120;
        ShellTimings::loginRestyleDelayMs = 40;
        const auto delegate = launch();
        QVERIFY(delegate);
        QCOMPARE(delegate->isAuthenticated(), true);
        DraggableWindow* window = delegate->mainWindow();
        WindowContent* content = delegate->windowContent();
        QSignalSpy applied(content, &WindowContent::windowStyleApplied);
        QVERIFY(applied.wait());
        QCOMPARE(applied.at(0).at(0).toBool(), true);
        QTRY_VERIFY(!window->isDraggable() && window->chrome()->titleOpacity() == 1.0);

        delegate->setIsAuthenticated(false);
        QTRY_COMPARE(applied.count(), 2);
        delegate->setIsAuthenticated(true);
        delegate->setIsAuthenticated(false);
        QTRY_COMPARE(applied.count(), 4);
        QCOMPARE(applied.at(2).at(0).toBool(), false);
        QCOMPARE(applied.at(3).at(0).toBool(), false);
        QVERIFY(window->isDraggable());
        QTRY_COMPARE(window->chrome()->bandOpacity(), 0.0);
        QCOMPARE(window->chrome()->titleOpacity(), 0.0);
        ShellTimings::mainRestyleDelayMs = 20;
        ShellTimings::loginRestyleDelayMs = 10;
    }
};

TARN_TEST_GUI_MAIN(TestWindowContent)
#include "TestWindowContent.moc"
