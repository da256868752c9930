#pragma once

#include "core/credentials/PasswordModel.h"
#include "kit/dialogs/SheetOverlay.h"

#include <QFuture>
#include <QPointer>
#include <QWidget>

class AppContext;
class PasswordEditSheet;
class PasswordSettingsGroup;
class PasswordViewModel;
class QLabel;
class TrendyButtonHelper;
class WarningTextHelper;
class QLayout;

// A password settings tab: the model's text, creating or changing the password in the edit sheet,
// removing it after a confirmation, and on the app-password tab the Touch ID and automatic-logout
// settings. Whether a password is stored is read once when the tab is built and again after each
// save and removal, off the GUI thread; loaded() follows each read. When the store cannot tell (a
// locked keyring whose prompt was dismissed), the tab says that the state is unknown, offers no
// action, and reads again each time it is shown.
class PasswordView : public QWidget
{
    Q_OBJECT

public:
    PasswordView(AppContext* appContext, const PasswordModel& model, QWidget* parent = nullptr);
    ~PasswordView() override;

    PasswordViewModel* viewModel() const { return m_viewModel; }
    bool isAppPassword() const;
    bool isLoading() const { return m_pendingReads > 0; }
    // An action runs, or the stored state is read again after it: the buttons are disabled.
    bool isBusy() const { return m_busy; }
    bool isPasswordStored() const { return m_isPasswordStored; }
    // The last read failed: whether a password is stored is not known.
    bool isStateUnknown() const { return m_isStateUnknown; }
    static QString unknownStateText(const QString& reason);
    QLabel* stateLabel() const { return m_stateLabel; }
    bool isTouchIDAvailable() const { return m_isTouchIDAvailable; }
    // The tab's height for the stored password and the logout setting.
    int frameHeight() const;

    QLabel* textLabel() const { return m_textLabel; }
    TrendyButtonHelper* changeButton() const { return m_changeButton; }
    TrendyButtonHelper* removeButton() const { return m_removeButton; }
    // Only on the app-password tab.
    PasswordSettingsGroup* settingsGroup() const { return m_settingsGroup; }
    WarningTextHelper* warningText() const { return m_warningText; }
    // The open edit sheet, removal confirmation or failure alert, else nullptr.
    PasswordEditSheet* editSheet() const;
    SheetOverlay* removalConfirmation() const { return m_removalConfirmation; }
    SheetOverlay* failureAlert() const { return m_failureAlert; }

    // Test hook: every read of the stored state started from now on is shown only once `hold` has
    // finished with success, as with a store that answers late. A finished future ends the hold.
    static void holdStoredStateReads(const QFuture<void>& hold);

Q_SIGNALS:
    // The stored state was read (after the build, a save or a removal) and is shown.
    void loaded();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void load(bool firstBuild);
    void readFinished();
    void showStoredState();
    void setBusy(bool busy);

    void showEditSheet(bool shown);
    void sheetAppeared();
    void save();
    void overrideSave();
    void confirmRemoval();
    void remove();
    void removed();
    void showFailureAlert();

    AppContext* m_appContext;
    PasswordViewModel* m_viewModel;
    int m_pendingReads = 0;
    bool m_busy = false;
    bool m_isPasswordStored = false;
    bool m_isStateUnknown = false;
    bool m_isTouchIDAvailable = false;
    bool m_isPassDelete = false;
    bool m_overrideSaveQueued = false;

    QLabel* m_textLabel = nullptr;
    QLabel* m_stateLabel = nullptr;
    PasswordSettingsGroup* m_settingsGroup = nullptr;
    TrendyButtonHelper* m_changeButton = nullptr;
    TrendyButtonHelper* m_removeButton = nullptr;
    WarningTextHelper* m_warningText = nullptr;
    QLayout* m_column = nullptr;
    QPointer<SheetOverlay> m_sheet;
    QPointer<SheetOverlay> m_removalConfirmation;
    QPointer<SheetOverlay> m_failureAlert;
};
