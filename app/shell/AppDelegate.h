#pragma once

#include "app/common/AppContext.h"
#include "app/common/AppPassword.h"
#include "app/shell/WindowToolbar.h"
#include "kit/dialogs/SheetOverlay.h"

#include <QPointer>

#include <optional>

class DraggableWindow;
class InactivityMonitor;
class StandardUpdaterController;
class ToolbarItem;
class Updater;
class UpdaterDelegate;
class WindowContent;

// Starts the application: the inactivity monitor, the updater and the main window. Holds the
// authentication flag that decides between the login and the main screen, the window's locked and
// unlocked looks and the lock item of its toolbar.
class AppDelegate : public AppContext, public WindowToolbarDelegate
{
    Q_OBJECT

public:
    // The toolbar item that locks the application.
    static inline const QString customButtonIdentifier = QStringLiteral("customButton");
    // The notice after the launch's recovery kept Data's old content in a folder of the container.
    static QString recoveryNoticeTitle();
    static QString recoveryNoticeText(const QString& folderName);

    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    DraggableWindow* mainWindow() const;
    WindowContent* windowContent() const;
    StandardUpdaterController* updaterController() const { return m_updaterController; }
    Updater* updater() const override;
    UpdaterDelegate* updaterDelegate() const override { return m_updaterDelegate; }
    InactivityMonitor* inactivityMonitor() const override { return m_inactivityMonitor; }

    bool isTouchIdOnAppear() const override { return m_isTouchIdOnAppear; }
    void setIsTouchIdOnAppear(bool value) override { m_isTouchIdOnAppear = value; }

    bool isAuthenticated() const override { return m_isAuthenticated; }
    // Published, then applied to the monitor.
    void setIsAuthenticated(bool authenticated) override;

    // Launch: the monitor's logout action, the first authentication state, the main window. The
    // window shows at once in the locked look; the store's answer about the app password decides
    // whether the user starts logged in, and that first state is published when it arrives.
    void applicationDidFinishLaunching();
    // Before the process quits.
    void applicationWillTerminate();
    // Another launch asked this instance to show itself.
    void applicationShouldHandleReopen();

    void applyUnlockedWindowStyle(DraggableWindow* window);
    void applyLockedWindowStyle(DraggableWindow* window);
    void showLockButton() override;
    void hideLockButton() override;
    ToolbarItem* makeLockToolbarItem();
    // The window of the view when it is ours, else the main window.
    void shakeWindow(QWidget* view) override;

    // Backup work in progress: while any runs, an inactivity timeout does not log out; the
    // inactivity time counts again from the end of the last one.
    void beginBackgroundWork() override;
    void endBackgroundWork() override;
    bool isBackgroundWorkRunning() const { return m_backgroundWork > 0; }
    // The open recovery notice, or nullptr.
    SheetOverlay* recoveryNotice() const { return m_recoveryNoticeCard; }

    QStringList toolbarAllowedItemIdentifiers(WindowToolbar* toolbar) override;
    QStringList toolbarDefaultItemIdentifiers(WindowToolbar* toolbar) override;
    ToolbarItem* toolbarItemForIdentifier(WindowToolbar* toolbar, const QString& itemIdentifier) override;

public Q_SLOTS:
    // The lock item's action.
    void customButtonAction();
    // Asks the application to open its settings window.
    void openSettings() override;

Q_SIGNALS:
    void settingsRequested();
    // The store answered at launch and the first state was published.
    void launchDecided();
    // The unlocked look's check of the app password ended: the lock item follows the answer.
    void lockButtonUpdated();
    // The launch's recovery of an interrupted restore ended.
    void recoveryFinished();

private:
    void setupApplication();
    void setupMainWindow();
    void decideLaunch(const AppPassword::ReadResult& result);
    void applyAuthenticationState();
    void performLogout();
    void lockMainWindow();
    void dismissSheets();
    void insertLockItem(DraggableWindow* window);
    void removeLockItem(DraggableWindow* window);
    // Runs a change of the main window's toolbar after the current event, if the window still exists.
    void queueOnMainWindow(void (AppDelegate::*change)(DraggableWindow*));
    // Shows the pending recovery notice once the main screen stands in its unlocked look.
    void showRecoveryNotice();

    QPointer<DraggableWindow> m_mainWindow;
    QPointer<WindowContent> m_windowContent;
    StandardUpdaterController* m_updaterController = nullptr;
    UpdaterDelegate* m_updaterDelegate = nullptr;
    InactivityMonitor* m_inactivityMonitor = nullptr;
    bool m_isTouchIdOnAppear = true;
    bool m_isAuthenticated = false;
    int m_backgroundWork = 0;
    // The folder the recovery kept the old content in, until the user has seen the notice.
    std::optional<QString> m_recoveryFolder;
    bool m_mainLookApplied = false;
    bool m_isRecoveryNoticeShown = false;
    QPointer<SheetOverlay> m_recoveryNoticeCard;
};
