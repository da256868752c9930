#pragma once

#include "app/backup/BackupActionType.h"
#include "kit/dialogs/BlurredSheetContentHelper.h"
#include "kit/dialogs/SheetOverlay.h"
#include "platform/processes/RunningApplication.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

class ActionContext;
class AppContext;
class BottomUpdateView;
class QEventLoopLocker;
class RestoreButtonView;
class WarningTextHelper;

// The screen of the logged-in user: the menu of backup actions, their sheets, the result line and
// the bottom update bar.
//
// One action sheet is open at a time. Before a restore or an erase every running instance of the
// sibling app is looked for; with the user's consent all are force-quit, and the work starts a moment
// after they have all exited. The work looks again right before it replaces or removes Data and
// stops if the sibling runs again. A look-up that takes too long stops the action with a message. An
// erase that would take the backup folder with it asks first. That start belongs to its sheet:
// closing the sheet drops it. While work runs, further starts are ignored, the inactivity logout
// waits and the application does not quit.
class MainAppView : public QWidget
{
    Q_OBJECT

public:
    // The sibling app among the running applications: the executable named so, or the Flatpak app of
    // that id.
    static QString siblingBundleIdentifier();
    // Test hook: the identifier looked for instead, so that tests find their stand-ins and never the
    // user's real sibling app; empty for the real one.
    static void setSiblingBundleIdentifierForTesting(const QString& identifier);
    static QString closeAlertTitle();
    static QString closeFailureText();
    // Shown when the running applications cannot be read: restore and erase do not start.
    static QString processListFailureText();
    // Shown when reading one process did not end in time (its program lies on a file system that does
    // not answer): the process, as the look-up names it.
    static QString processCheckFailureText(const QString& process);
    // Shown when the sibling app runs again right before Data would be replaced or removed.
    static QString siblingRunsAgainText();
    // Shown before an erase when the backup folder lies in the data folder, naming it.
    static QString backupsInDataText(const QString& backupFolder);
    // The same question when the backup folder does not answer, so that where it lies is unknown.
    static QString backupFolderNotAnsweringText(const QString& backupFolder);

    // Delays in milliseconds; tests shorten them.
    struct Timing
    {
        int backgroundUpdateCheckDelay = 3000;
        int startDelayAfterTermination = 1000;
        int terminationTimeout = 5000;
        int eraseCloseDelay = 1000;
        // How long one look-up of the running applications may take.
        int processCheckTimeout = 3000;
    };

    explicit MainAppView(AppContext* appContext, QWidget* parent = nullptr);
    ~MainAppView() override;

    void setTiming(const Timing& timing);

    // A menu row's action: opens the action's sheet, unless one is open.
    void openSheet(BackupActionType type);
    // The sheet's action button.
    void startSelectedAction(BackupActionType type);
    // The sheet's "Abbrechen" and the screens' closeView.
    void closeSheet();

    ActionContext* actionContext() const { return m_context; }
    std::optional<BackupActionType> backupActionType() const { return m_backupActionType; }
    QList<RestoreButtonView*> rows() const { return m_rows; }
    BlurredSheetContentHelper* sheet() const { return m_sheet; }
    // The screen in the open sheet.
    QWidget* screen() const { return m_screen; }
    SheetOverlay* progressPopUp() const { return m_progressOverlay; }
    SheetOverlay* closeAlert() const { return m_closeAlert; }
    SheetOverlay* closeFailureAlert() const { return m_closeFailureAlert; }
    // The question before an erase that would take the backup folder with it.
    SheetOverlay* backupsInDataAlert() const { return m_backupsInDataAlert; }
    WarningTextHelper* messageView() const { return m_messageView; }
    BottomUpdateView* bottomBar() const { return m_bottomBar; }
    // A restore or erase start waits for the sibling app: its look-up, question, exit or delay.
    bool hasPendingStart() const { return m_pendingStart; }

Q_SIGNALS:
    // The background update check ran.
    void backgroundUpdateCheckStarted();
    // The sibling app has exited; the action starts after the delay, unless its sheet closes first.
    void actionStartScheduled();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void askAboutBackupsInData();
    void showBackupsInDataAlert(const QString& text);
    void closeCareSoftwareIfRunning(BackupActionType type);
    void askToClose(const QList<RunningApplication>& applications);
    void terminateCareSoftwareAndContinue(const QList<RunningApplication>& applications);
    void showCloseFailure(const QString& text);
    void forgetSheet();
    void onProgressLoadTextChanged(const std::optional<QString>& text);
    void setWorking(bool working);
    void updateLogoutPause();

    QPointer<AppContext> m_appContext;
    ActionContext* m_context = nullptr;
    Timing m_timing;
    QList<RestoreButtonView*> m_rows;
    WarningTextHelper* m_messageView = nullptr;
    BottomUpdateView* m_bottomBar = nullptr;

    std::optional<BackupActionType> m_backupActionType;
    // Counts sheets; delayed work checks it to know whether its sheet is still the open one.
    int m_sheetSerial = 0;
    QPointer<SheetOverlay> m_sheetOverlay;
    QPointer<BlurredSheetContentHelper> m_sheet;
    QPointer<QWidget> m_screen;
    QPointer<SheetOverlay> m_progressOverlay;

    bool m_pendingStart = false;
    std::optional<QList<RunningApplication>> m_runningApplications;
    QPointer<SheetOverlay> m_closeAlert;
    bool m_isCloseFailureShown = false;
    QPointer<SheetOverlay> m_closeFailureAlert;
    // What the backups-in-Data card says while it shows.
    std::optional<QString> m_backupsInData;
    QPointer<SheetOverlay> m_backupsInDataAlert;

    bool m_working = false;
    bool m_logoutPaused = false;
    std::unique_ptr<QEventLoopLocker> m_quitLock;
};
