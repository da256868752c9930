#include "app/login/PasswordEntryView.h"
#include "app/shell/DraggableWindow.h"
#include "app/shell/ToolbarButton.h"
#include "app/shell/ToolbarItem.h"
#include "app/shell/WindowChrome.h"
#include "app/shell/WindowContent.h"
#include "core/archive/RestoreJournal.h"
#include "core/lock/InactivityMonitor.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCommon.h"
#include "kit/dialogs/SheetOverlay.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSettings>

using namespace ShellTestSupport;

// The application delegate on a real window and a keyring of its own: the first screen after launch,
// the window's looks, the lock item, and logging out by the lock item and by inactivity.
class TestAppDelegate : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;
    const QString m_password = QStringLiteral("Geheim1!");

    static bool isLockedLook(DraggableWindow* window)
    {
        return window->isDraggable() && window->chrome()->bandOpacity() == 0.0 &&
            window->chrome()->titleOpacity() == 0.0 && !window->chrome()->isAnimating();
    }
    static bool isUnlockedLook(DraggableWindow* window)
    {
        return !window->isDraggable() && window->chrome()->bandOpacity() == 1.0 &&
            window->chrome()->titleOpacity() == 1.0 && !window->chrome()->isAnimating();
    }
    static AlertCommon* card(AppDelegate* delegate)
    {
        return delegate->recoveryNotice() ? qobject_cast<AlertCommon*>(delegate->recoveryNotice()->card()) : nullptr;
    }
    static int lockItems(DraggableWindow* window)
    {
        return int(window->toolbar()->itemIdentifiers().count(AppDelegate::customButtonIdentifier));
    }

    // A launch that ends logged in and in the unlocked look, with the app password stored (or not).
    std::unique_ptr<AppDelegate> unlockedLaunch(bool withPassword)
    {
        if (!storeAppPassword(std::nullopt)) {
            return nullptr;
        }
        auto delegate = launch();
        if (!delegate || !delegate->isAuthenticated()) {
            return nullptr;
        }
        if (withPassword && !storeAppPassword(m_password)) {
            return nullptr;
        }
        delegate->applyUnlockedWindowStyle(delegate->mainWindow());
        return delegate;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = startKeyring();
        QVERIFY(m_keyring->isRunning());
        shortenTimings();
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void cleanup()
    {
        QVERIFY(m_keyring->unlock());
        AppPasswordMarker::set(false);
        QSettings settings;
        settings.remove(InactivityMonitor::autoLogoutKey);
        settings.remove(InactivityMonitor::timeoutKey);
    }

    void launchDecides_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<bool>("storeFails");
        QTest::addColumn<bool>("marker");
        QTest::addColumn<bool>("loggedIn");
        QTest::newRow("app password stored") << true << false << false << false;
        QTest::newRow("none stored") << false << false << false << true;
        QTest::newRow("none stored, marker left over") << false << false << true << true;
        QTest::newRow("store fails, a password was saved") << true << true << true << false;
        // The store finds the app password's item, locked: it counts as stored without the marker.
        QTest::newRow("store fails, no marker") << true << true << false << false;
    }

    void launchDecides()
    {
        QFETCH(bool, stored);
        QFETCH(bool, storeFails);
        QFETCH(bool, marker);
        QFETCH(bool, loggedIn);
        QVERIFY(storeAppPassword(stored ? std::optional(m_password) : std::nullopt));
        AppPasswordMarker::set(marker);
        if (storeFails) {
            QVERIFY(m_keyring->lock());
        }

        AppDelegate delegate;
        QSignalSpy published(&delegate, &AppDelegate::isAuthenticatedChanged);
        QSignalSpy decided(&delegate, &AppDelegate::launchDecided);
        delegate.applicationDidFinishLaunching();
        // The window shows at once, locked, with nothing in it until the store has answered.
        DraggableWindow* window = delegate.mainWindow();
        QVERIFY(window && window->isVisible());
        QVERIFY(isLockedLook(window));
        QCOMPARE(window->toolbar()->itemIdentifiers(), QStringList{WindowToolbar::flexibleSpaceItemIdentifier});
        if (decided.isEmpty()) {
            QCOMPARE(delegate.windowContent()->branch(), WindowContent::Branch::none);
            QVERIFY(decided.wait());
        }

        QCOMPARE(published.count(), 1);
        QCOMPARE(published.at(0).at(0).toBool(), loggedIn);
        QCOMPARE(delegate.isAuthenticated(), loggedIn);
        QCOMPARE(delegate.windowContent()->branch(),
                 loggedIn ? WindowContent::Branch::main : WindowContent::Branch::login);
        if (stored && !storeFails) {
            QVERIFY(AppPasswordMarker::isSet()); // noted whenever the store returns the password
        }
        if (!loggedIn && storeFails) {
            // The login screen reads again and shows the store's failure in the warning line.
            QTRY_COMPARE(delegate.windowContent()->warningText(),
                         std::optional(AppPassword::failureText({SecretStoreError::locked, {}})));
        }
        // The first screen asks for its look.
        if (loggedIn) {
            QTRY_VERIFY(isUnlockedLook(window));
        } else {
            QTRY_VERIFY(delegate.windowContent()->passwordEntryView()->storedPassword() !=
                        PasswordEntryView::StoredPassword::unknown);
            // The login asks for the locked look again; its animation may still run.
            QTRY_VERIFY(isLockedLook(window));
        }
    }

    // Only while an app password exists, only in the unlocked look, and never twice.
    void lockItem_data()
    {
        QTest::addColumn<bool>("withPassword");
        QTest::newRow("app password stored") << true;
        QTest::newRow("none stored") << false;
    }

    void lockItem()
    {
        QFETCH(bool, withPassword);
        const auto delegate = unlockedLaunch(withPassword);
        QVERIFY(delegate);
        DraggableWindow* window = delegate->mainWindow();
        QTRY_VERIFY(isUnlockedLook(window));
        // The store's answer puts the item in (or leaves it out); a second restyling adds none.
        QTRY_COMPARE(lockItems(window), withPassword ? 1 : 0);
        delegate->applyUnlockedWindowStyle(window);
        delegate->applyUnlockedWindowStyle(window);
        delegate->showLockButton();
        QTRY_VERIFY(isUnlockedLook(window));
        if (withPassword) {
            QTRY_COMPARE(
                window->toolbar()->itemIdentifiers(),
                (QStringList{AppDelegate::customButtonIdentifier, WindowToolbar::flexibleSpaceItemIdentifier}));
            const ToolbarItem* item = window->toolbar()->items().constFirst();
            QCOMPARE(item->label(), QStringLiteral("Sperren"));
            QCOMPARE(item->paletteLabel(), QStringLiteral("Anwendung sperren"));
            QCOMPARE(item->view()->toolTip(),
                     QStringLiteral("Das Programm wird gesperrt, wenn du diese Taste drückst."));
            const auto* button = qobject_cast<ToolbarButton*>(item->view());
            QVERIFY(button && button->hasImage());
            QCOMPARE(button->size(), QSize(32, 32));
            QCOMPARE(button->symbolName(), QStringLiteral("lock.fill"));
        }

        // The locked look takes it out, and a second one finds nothing to take.
        delegate->applyLockedWindowStyle(window);
        QCOMPARE(lockItems(window), 0);
        delegate->applyLockedWindowStyle(window);
        QCOMPARE(window->toolbar()->itemIdentifiers(), QStringList{WindowToolbar::flexibleSpaceItemIdentifier});
        QTRY_VERIFY(isLockedLook(window));

        // Showing and hiding run after the current event, on the window's toolbar.
        delegate->showLockButton();
        QCOMPARE(lockItems(window), 0);
        QTRY_COMPARE(lockItems(window), 1);
        delegate->hideLockButton();
        QCOMPARE(lockItems(window), 1);
        QTRY_COMPARE(lockItems(window), 0);
    }

    // A locked look asked for while the unlocked one still animates leaves the title hidden.
    void lockedLookWinsOverARunningUnlock()
    {
        const auto delegate = unlockedLaunch(true);
        QVERIFY(delegate);
        DraggableWindow* window = delegate->mainWindow();
        QTRY_VERIFY(isUnlockedLook(window));
        QTRY_COMPARE(lockItems(window), 1);
        const int styleMs = std::exchange(ShellTimings::styleAnimationMs, 200);
        delegate->applyLockedWindowStyle(window);
        QTRY_VERIFY(isLockedLook(window));
        QSignalSpy answered(delegate.get(), &AppDelegate::lockButtonUpdated);
        delegate->applyUnlockedWindowStyle(window);
        delegate->applyLockedWindowStyle(window);
        QTRY_VERIFY(!window->chrome()->isAnimating());
        ShellTimings::styleAnimationMs = styleMs;
        QVERIFY(isLockedLook(window));
        // The store's answer about the app password arrives in the locked look: no item.
        QVERIFY(answered.count() == 1 || answered.wait());
        QCOMPARE(lockItems(window), 0);
    }

    void lockItemLogsOut()
    {
        const auto delegate = unlockedLaunch(true);
        QVERIFY(delegate);
        DraggableWindow* window = delegate->mainWindow();
        QTRY_COMPARE(lockItems(window), 1);
        InactivityMonitor* monitor = delegate->inactivityMonitor();
        monitor->setIsAutoLogoutEnabled(true);
        QVERIFY(monitor->hasLocalEventMonitor());
        // A sheet open in another window of the application closes with the logout.
        QWidget otherWindow;
        otherWindow.resize(400, 300);
        otherWindow.show();
        const QPointer<SheetOverlay> sheet = SheetOverlay::present(&otherWindow, new QLabel(QStringLiteral("Geheim")));
        QVERIFY(sheet && sheet->isVisible());

        QSignalSpy published(delegate.get(), &AppDelegate::isAuthenticatedChanged);
        QTest::mouseClick(window->toolbar()->items().constFirst()->view(), Qt::LeftButton);
        QCOMPARE(published.count(), 1);
        QCOMPARE(published.at(0).at(0).toBool(), false);
        QVERIFY(!monitor->hasLocalEventMonitor());
        QVERIFY(!monitor->isTimeoutPending());
        QVERIFY(!sheet || sheet->isDismissed());

        // The login screen comes, and with it the locked look without the item.
        QCOMPARE(delegate->windowContent()->branch(), WindowContent::Branch::login);
        QTRY_VERIFY(isLockedLook(window));
        QCOMPARE(lockItems(window), 0);
    }

    void timeoutLogsOut_data()
    {
        QTest::addColumn<bool>("backgroundWork");
        QTest::newRow("idle") << false;
        QTest::newRow("backup running") << true;
    }

    void timeoutLogsOut()
    {
        QFETCH(bool, backgroundWork);
        const auto delegate = unlockedLaunch(true);
        QVERIFY(delegate);
        DraggableWindow* window = delegate->mainWindow();
        QTRY_COMPARE(lockItems(window), 1);
        const QPointer<SheetOverlay> sheet =
            SheetOverlay::present(delegate->windowContent(), new QLabel(QStringLiteral("Geheim")));
        if (backgroundWork) {
            delegate->beginBackgroundWork();
        }
        InactivityMonitor* monitor = delegate->inactivityMonitor();
        QSignalSpy published(delegate.get(), &AppDelegate::isAuthenticatedChanged);
        monitor->setTimeoutInterval(0.05);
        monitor->setIsAutoLogoutEnabled(true);
        QTRY_VERIFY(!monitor->isTimeoutPending());

        if (backgroundWork) {
            // The work goes on behind an open window; its end starts the inactivity time afresh.
            QVERIFY(delegate->isAuthenticated());
            QVERIFY(published.isEmpty());
            delegate->endBackgroundWork();
            QVERIFY(monitor->isTimeoutPending());
        }
        // Logged out, the sheet of the main window closed first; the login screen may write false again.
        QTRY_VERIFY(!published.isEmpty());
        for (const QList<QVariant>& write : std::as_const(published)) {
            QCOMPARE(write.at(0).toBool(), false);
        }
        QVERIFY(!sheet || sheet->isDismissed());
        QVERIFY(!monitor->hasLocalEventMonitor());
        QTRY_VERIFY(isLockedLook(window));
        QCOMPARE(lockItems(window), 0);
    }

    void reopenAndSettings()
    {
        const auto delegate = unlockedLaunch(false);
        QVERIFY(delegate);
        DraggableWindow* window = delegate->mainWindow();
        QSignalSpy settings(delegate.get(), &AppDelegate::settingsRequested);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Comma, Qt::ControlModifier);
        QCOMPARE(settings.count(), 1);

        window->showMinimized();
        delegate->applicationShouldHandleReopen();
        QVERIFY(!window->isMinimized());
        window->close();
        QVERIFY(!window->isVisible());
        delegate->applicationShouldHandleReopen();
        QVERIFY(window->isVisible());
        QCOMPARE(delegate->mainWindow(), window); // the same window, with its state
    }

    void quittingStopsTheMonitor()
    {
        const auto delegate = unlockedLaunch(false);
        QVERIFY(delegate);
        InactivityMonitor* monitor = delegate->inactivityMonitor();
        monitor->setIsAutoLogoutEnabled(true);
        QVERIFY(monitor->isTimeoutPending());
        delegate->applicationWillTerminate();
        QVERIFY(!monitor->isTimeoutPending());
        QVERIFY(!monitor->hasLocalEventMonitor());
    }

    // A restore killed between its two renames, as its journal records it: Data's old content under
    // its aside name, the backup's content in the working folder. A fresh Data, as the sibling app
    // makes when it starts first, or none.
    static QString interruptedRestore(bool freshData)
    {
        const QString container = RestoreZipViewModel::containerURL().toLocalFile();
        RestoreJournal journal;
        journal.step = RestoreJournal::Step::movedAside;
        journal.method = RestoreJournal::Method::twoSteps;
        journal.startedMSecs = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)).toMSecsSinceEpoch();
        journal.work = QByteArrayLiteral(".TempData.Wk1234");
        journal.aside = QByteArrayLiteral(".OldData.k3Xq9z");
        const auto write = [](const QString& path, const QByteArray& content) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
        };
        const bool written = write(container + QStringLiteral("/.OldData.k3Xq9z/journal.db"), "Bewohner") &&
            write(container + QStringLiteral("/.TempData.Wk1234/journal.db"), "aus dem Backup") &&
            (!freshData || write(container + QStringLiteral("/Data/journal.db"), "neu angelegt")) &&
            write(container + QStringLiteral("/.RestoreJournal"), journal.serialize());
        return written ? container : QString();
    }

    static QByteArray contentOf(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Launching puts Data's old content back, and has nothing to tell.
    void launchRecoversAnInterruptedRestore()
    {
        const QString container = interruptedRestore(false);
        QVERIFY(!container.isEmpty());
        const auto delegate = unlockedLaunch(false);
        QVERIFY(delegate);
        QTRY_COMPARE(contentOf(container + QStringLiteral("/Data/journal.db")), QByteArray("Bewohner"));
        // Data is back before the recovery has removed its working items.
        QTRY_COMPARE(QDir(container).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList{QStringLiteral("Data")});
        QSignalSpy styled(delegate->windowContent(), &WindowContent::windowStyleApplied);
        QVERIFY(styled.wait());
        QTest::qWait(2 * ShellTimings::styleAnimationMs);
        QVERIFY(!delegate->recoveryNotice());
        QVERIFY(QDir(container).removeRecursively());
    }

    // Where a fresh Data had appeared meanwhile, both stay and the main screen says where the old
    // content went, until OK; a logout before OK brings the notice back after the next login.
    void launchTellsWhereTheOldDataWent()
    {
        const QString container = interruptedRestore(true);
        QVERIFY(!container.isEmpty());
        const QString folder = QStringLiteral("Data vor der Wiederherstellung 2024-03-05_14-07-09");
        QVERIFY(storeAppPassword(m_password));
        const auto delegate = std::make_unique<AppDelegate>();
        QSignalSpy recovered(delegate.get(), &AppDelegate::recoveryFinished);
        QSignalSpy decided(delegate.get(), &AppDelegate::launchDecided);
        delegate->applicationDidFinishLaunching();
        QVERIFY(recovered.count() == 1 || recovered.wait());
        QVERIFY(decided.count() == 1 || decided.wait());
        // Nothing shows behind the login screen.
        QVERIFY(!delegate->isAuthenticated());
        QVERIFY(!delegate->recoveryNotice());
        QCOMPARE(contentOf(container + QStringLiteral("/Data/journal.db")), QByteArray("neu angelegt"));
        QCOMPARE(contentOf(container + QLatin1Char('/') + folder + QStringLiteral("/journal.db")),
                 QByteArray("Bewohner"));
        QCOMPARE(QDir(container).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("Data"), folder}));

        for (int login = 0; login < 2; ++login) {
            delegate->setIsAuthenticated(true);
            QTRY_VERIFY(delegate->recoveryNotice());
            // Over the main screen once it stands, never over the login screen.
            QCOMPARE(delegate->windowContent()->branch(), WindowContent::Branch::main);
            QVERIFY(!delegate->windowContent()->isSliding());
            const auto* card = qobject_cast<AlertCommon*>(delegate->recoveryNotice()->card());
            QVERIFY(card);
            QCOMPARE(card->titleLabel()->text(), QStringLiteral("Wiederherstellung unterbrochen"));
            const auto* message = qobject_cast<QLabel*>(card->content());
            QVERIFY(message);
            QCOMPARE(message->text(), AppDelegate::recoveryNoticeText(folder));
            QVERIFY(message->text().contains(folder));
            if (login == 0) {
                // The lock item: the notice closes with every other card and waits for the next login.
                delegate->customButtonAction();
                QVERIFY(!delegate->isAuthenticated());
                QTRY_VERIFY(!delegate->recoveryNotice());
            }
        }
        QCOMPARE(card(delegate.get())->buttonViews().size(), 1);
        QTest::mouseClick(card(delegate.get())->buttonViews().first(), Qt::LeftButton);
        QTRY_VERIFY(!delegate->recoveryNotice());
        // Seen: not again.
        delegate->customButtonAction();
        delegate->setIsAuthenticated(true);
        QSignalSpy styled(delegate->windowContent(), &WindowContent::windowStyleApplied);
        QVERIFY(styled.wait());
        QTest::qWait(2 * ShellTimings::styleAnimationMs);
        QVERIFY(!delegate->recoveryNotice());
        QVERIFY(QDir(container).removeRecursively());
    }
};

TARN_TEST_GUI_MAIN(TestAppDelegate)
#include "TestAppDelegate.moc"
