#include "app/shell/AppDelegate.h"

#include "app/shell/DraggableWindow.h"
#include "app/updates/UpdaterDelegate.h"
#include "core/lock/InactivityMonitor.h"
#include "platform/Diagnostics.h"
#include "platform/updates/StandardUpdaterController.h"

AppDelegate::AppDelegate(QObject* parent)
    : QObject(parent)
{
    m_inactivityMonitor = new InactivityMonitor(this);
    m_updaterDelegate = new UpdaterDelegate(this);
    m_updaterController = new StandardUpdaterController(true, m_updaterDelegate, this);
}

AppDelegate::~AppDelegate()
{
    delete m_mainWindow;
}

DraggableWindow* AppDelegate::mainWindow() const
{
    return m_mainWindow;
}

Updater* AppDelegate::updater() const
{
    return m_updaterController->updater();
}

void AppDelegate::setIsAuthenticated(bool authenticated)
{
    m_isAuthenticated = authenticated;
    Q_EMIT isAuthenticatedChanged(authenticated);
    applyAuthenticationState();
}

void AppDelegate::applicationDidFinishLaunching()
{
    setupApplication();
}

void AppDelegate::applicationWillTerminate()
{
    m_inactivityMonitor->stopMonitoring();
}

void AppDelegate::applicationShouldHandleReopen()
{
    if (m_mainWindow) {
        m_mainWindow->show();
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
    }
}

void AppDelegate::setupApplication()
{
    QPointer<AppDelegate> self(this);
    m_inactivityMonitor->setOnTimeout([self] {
        if (self) {
            self->performLogout();
        }
    });
    applyAuthenticationState();
    setupMainWindow();
}

void AppDelegate::setupMainWindow()
{
    m_mainWindow = new DraggableWindow();
    m_mainWindow->show();
    setIsAuthenticated(true);
}

void AppDelegate::applyAuthenticationState()
{
    m_inactivityMonitor->setIsAuthenticated(m_isAuthenticated);
    if (m_isAuthenticated && m_inactivityMonitor->isAutoLogoutEnabled()) {
        m_inactivityMonitor->startMonitoring();
    } else if (!m_isAuthenticated) {
        m_inactivityMonitor->stopMonitoring();
    }
}

void AppDelegate::performLogout()
{
    if (isBackgroundWorkRunning()) {
        return; // endBackgroundWork() starts the inactivity time afresh
    }
    qCDebug(lcDiagnostics) << "Выполняется Logout.";
    setIsAuthenticated(false);
    lockMainWindow();
}

void AppDelegate::lockMainWindow()
{
    if (m_mainWindow) {
        QMetaObject::invokeMethod(
            this, [this, window = m_mainWindow] { applyLockedWindowStyle(window); }, Qt::QueuedConnection);
    }
}

void AppDelegate::applyUnlockedWindowStyle(DraggableWindow*) { }

void AppDelegate::applyLockedWindowStyle(DraggableWindow*) { }

void AppDelegate::showLockButton() { }

void AppDelegate::hideLockButton() { }

void AppDelegate::beginBackgroundWork()
{
    ++m_backgroundWork;
}

void AppDelegate::endBackgroundWork()
{
    if (m_backgroundWork == 0) {
        return;
    }
    if (--m_backgroundWork == 0) {
        m_inactivityMonitor->resetTimer();
    }
}

void AppDelegate::customButtonAction()
{
    setIsAuthenticated(false);
}

void AppDelegate::openSettings()
{
    Q_EMIT settingsRequested();
}
