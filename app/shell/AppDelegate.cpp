#include "app/shell/AppDelegate.h"

#include "app/common/ShellTimings.h"
#include "app/shell/DraggableWindow.h"
#include "app/shell/ToolbarButton.h"
#include "app/shell/ToolbarItem.h"
#include "app/shell/WindowChrome.h"
#include "app/shell/WindowContent.h"
#include "app/updates/UpdaterDelegate.h"
#include "core/archive/EncryptionService.h"
#include "core/lock/InactivityMonitor.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "kit/dialogs/AlertCustom.h"
#include "kit/dialogs/SheetOverlay.h"
#include "kit/theme/TarnColor.h"
#include "platform/Diagnostics.h"
#include "platform/WhenFinished.h"
#include "platform/updates/StandardUpdaterController.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

AppDelegate::AppDelegate(QObject* parent)
    : AppContext(parent)
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

WindowContent* AppDelegate::windowContent() const
{
    return m_windowContent;
}

Updater* AppDelegate::updater() const
{
    return m_updaterController->updater();
}

void AppDelegate::shakeWindow(QWidget* view)
{
    auto* window = view ? qobject_cast<DraggableWindow*>(view->window()) : nullptr;
    if (!window)
        window = m_mainWindow;
    if (window)
        window->shake();
}

void AppDelegate::setIsAuthenticated(bool authenticated)
{
    m_isAuthenticated = authenticated;
    if (!authenticated) {
        m_mainLookApplied = false;
    }
    Q_EMIT isAuthenticatedChanged(authenticated);
    applyAuthenticationState();
}

QString AppDelegate::recoveryNoticeTitle()
{
    return QStringLiteral("Wiederherstellung unterbrochen");
}

QString AppDelegate::recoveryNoticeText(const QString& folderName)
{
    return QStringLiteral("Eine Wiederherstellung wurde unterbrochen, und inzwischen ist ein neuer Ordner „Data“ "
                          "entstanden. Deine bisherigen Daten sind erhalten: Sie liegen im Ordner „%1“ neben "
                          "„Data“.")
        .arg(folderName);
}

void AppDelegate::applicationDidFinishLaunching()
{
    // A restore cut off while it swapped the sibling's Data is finished or undone before anything
    // else looks at it. Runs off the GUI thread; where Data's old content had to be kept in a
    // folder of its own, the user is told once the main screen shows.
    whenFinished(this, EncryptionService::recoverInterruptedRestore(RestoreZipViewModel::containerURL().toLocalFile()),
                 [this](const RecoveryResult& result) {
                     if (result && result->outcome == RestoreRecovery::Outcome::keptAside) {
                         m_recoveryFolder = QFileInfo(result->keptFolder).fileName();
                         showRecoveryNotice();
                     }
                     Q_EMIT recoveryFinished();
                 });
    setupApplication();
}

void AppDelegate::showRecoveryNotice()
{
    if (!m_recoveryFolder || !m_isAuthenticated || !m_mainLookApplied || !m_windowContent ||
        m_windowContent->branch() != WindowContent::Branch::main || m_windowContent->isSliding() ||
        m_recoveryNoticeCard) {
        return;
    }
    const QString text = recoveryNoticeText(*m_recoveryFolder);
    const auto ok =
        AlertCustomButton<AlertNoItem>::make(QStringLiteral("OK"), TarnColor::accentColor(), true,
                                             [this](const std::optional<AlertNoItem>&) { m_recoveryFolder.reset(); });
    // A logout closes the card before OK: it shows again after the next login.
    m_isRecoveryNoticeShown = true;
    m_recoveryNoticeCard = AlertCustom::alertCustom(
        m_windowContent, Binding<bool>::to(&m_isRecoveryNoticeShown), recoveryNoticeTitle(),
        [text] { return AlertCommon::messageText(text); }, {ok}, AlertCustomType::info);
}

void AppDelegate::applicationWillTerminate()
{
    m_inactivityMonitor->stopMonitoring();
}

void AppDelegate::applicationShouldHandleReopen()
{
    if (!m_mainWindow) {
        return;
    }
    if (m_mainWindow->isMinimized()) {
        m_mainWindow->setWindowState(m_mainWindow->windowState() & ~Qt::WindowMinimized);
    }
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
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
    auto* window = new DraggableWindow();
    // The locked look until the first screen asks for its own.
    window->chrome()->setBandOpacity(0);
    window->chrome()->setTitleOpacity(0);
    window->setIsDraggable(true);
    window->toolbar()->setDelegate(this);
    m_windowContent = new WindowContent(this);
    window->setContentWidget(m_windowContent);
    connect(m_windowContent, &WindowContent::windowStyleApplied, this, [this](bool unlocked) {
        m_mainLookApplied = unlocked;
        if (unlocked) {
            // After the look's animation, so that the card's backdrop shows the settled window.
            QTimer::singleShot(ShellTimings::styleAnimationMs, this, &AppDelegate::showRecoveryNotice);
        }
    });
    connect(m_windowContent, &WindowContent::slideFinished, this, &AppDelegate::showRecoveryNotice);

    auto* settingsShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), window);
    connect(settingsShortcut, &QShortcut::activated, this, &AppDelegate::openSettings);

    if (const QScreen* screen = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window->show();
    window->activateWindow();
    m_mainWindow = window;

    whenFinished(this, AppPassword::read(), [this](const AppPassword::ReadResult& result) { decideLaunch(result); });
}

void AppDelegate::decideLaunch(const AppPassword::ReadResult& result)
{
    // Only the answer "none stored" lets the user in without a password. A failing store keeps the
    // application locked when an app password was ever saved here.
    if (!result) {
        qCDebug(lcDiagnostics) << "Пароль приложения не прочитан:" << SecretStoreError::name(result.error().code)
                               << result.error().detail;
    }
    setIsAuthenticated(!AppPassword::existsAfter(result));
    Q_EMIT launchDecided();
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

void AppDelegate::dismissSheets()
{
    // No dialog may keep data visible behind the login screen: the main window's first.
    if (m_mainWindow) {
        SheetOverlay::dismissAll(m_mainWindow);
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != m_mainWindow) {
            SheetOverlay::dismissAll(window);
        }
    }
}

void AppDelegate::performLogout()
{
    if (isBackgroundWorkRunning()) {
        return; // endBackgroundWork() starts the inactivity time afresh
    }
    qCDebug(lcDiagnostics) << "Выполняется Logout.";
    dismissSheets();
    setIsAuthenticated(false);
    lockMainWindow();
}

void AppDelegate::lockMainWindow()
{
    if (m_mainWindow) {
        QMetaObject::invokeMethod(
            this,
            [this, window = m_mainWindow] {
                if (window) {
                    applyLockedWindowStyle(window);
                }
            },
            Qt::QueuedConnection);
    }
}

void AppDelegate::applyUnlockedWindowStyle(DraggableWindow* window)
{
    if (!window) {
        return;
    }
    const QPointer<DraggableWindow> target(window);
    // The band turns opaque first; only then the title fades in. A locked look asked for meanwhile
    // replaces the band's animation, and the title stays hidden.
    window->chrome()->animateBandOpacity(1.0, ShellTimings::styleAnimationMs, [target] {
        if (target) {
            qCDebug(lcDiagnostics) << "Animation done";
            target->chrome()->animateTitleOpacity(1.0, ShellTimings::styleAnimationMs);
        }
    });
    window->setIsDraggable(false);
    window->chrome()->setWindowButtonsVisible(true);
    // The lock item stands only while an app password exists; it comes in once the store says so.
    whenFinished(this, AppPassword::read(), [this, target](const AppPassword::ReadResult& result) {
        // Not when the window is gone or was locked again meanwhile.
        if (target && !target->isDraggable()) {
            if (AppPassword::existsAfter(result)) {
                insertLockItem(target);
            } else {
                removeLockItem(target);
            }
        }
        Q_EMIT lockButtonUpdated();
    });
}

void AppDelegate::applyLockedWindowStyle(DraggableWindow* window)
{
    if (!window) {
        return;
    }
    window->chrome()->animateBandOpacity(0.0, ShellTimings::styleAnimationMs);
    window->chrome()->animateTitleOpacity(0.0, ShellTimings::styleAnimationMs);
    window->setIsDraggable(true);
    removeLockItem(window);
    window->chrome()->setWindowButtonsVisible(true);
}

void AppDelegate::insertLockItem(DraggableWindow* window)
{
    WindowToolbar* toolbar = window->toolbar();
    if (toolbar->indexOfItem(customButtonIdentifier) >= 0) {
        return;
    }
    toolbar->insertItemWithItemIdentifier(customButtonIdentifier, 0);
    toolbar->validateVisibleItems();
}

void AppDelegate::removeLockItem(DraggableWindow* window)
{
    WindowToolbar* toolbar = window->toolbar();
    toolbar->removeItemAtIndex(toolbar->indexOfItem(customButtonIdentifier));
}

void AppDelegate::showLockButton()
{
    queueOnMainWindow(&AppDelegate::insertLockItem);
}

void AppDelegate::hideLockButton()
{
    queueOnMainWindow(&AppDelegate::removeLockItem);
}

void AppDelegate::queueOnMainWindow(void (AppDelegate::*change)(DraggableWindow*))
{
    if (!m_mainWindow) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, change] {
            if (m_mainWindow) {
                (this->*change)(m_mainWindow);
            }
        },
        Qt::QueuedConnection);
}

ToolbarItem* AppDelegate::makeLockToolbarItem()
{
    auto* button = new ToolbarButton(QStringLiteral("lock.fill"), TarnColor::accentColor(), QSize(32, 32));
    if (!button->hasImage()) {
        qCDebug(lcDiagnostics) << "Error: Failed to load image";
    }
    button->setAccessibleName(QStringLiteral("Lock Icon"));
    connect(button, &ToolbarButton::clicked, this, &AppDelegate::customButtonAction);

    auto* item = new ToolbarItem(customButtonIdentifier, button);
    item->setLabel(QStringLiteral("Sperren"));
    item->setPaletteLabel(QStringLiteral("Anwendung sperren"));
    item->setItemToolTip(QStringLiteral("Das Programm wird gesperrt, wenn du diese Taste drückst."));
    return item;
}

QStringList AppDelegate::toolbarAllowedItemIdentifiers(WindowToolbar*)
{
    return {customButtonIdentifier, WindowToolbar::flexibleSpaceItemIdentifier};
}

QStringList AppDelegate::toolbarDefaultItemIdentifiers(WindowToolbar*)
{
    return {WindowToolbar::flexibleSpaceItemIdentifier};
}

ToolbarItem* AppDelegate::toolbarItemForIdentifier(WindowToolbar*, const QString& itemIdentifier)
{
    return itemIdentifier == customButtonIdentifier ? makeLockToolbarItem() : nullptr;
}

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
    dismissSheets();
    setIsAuthenticated(false);
}

void AppDelegate::openSettings()
{
    Q_EMIT settingsRequested();
}
