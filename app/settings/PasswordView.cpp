#include "app/settings/PasswordView.h"

#include "app/common/AppContext.h"
#include "app/settings/PasswordEditSheet.h"
#include "app/settings/PasswordSettingsGroup.h"
#include "app/settings/SettingsView.h"
#include "app/settings/TabButton.h"
#include "core/credentials/AppPasswordMarker.h"
#include "core/credentials/BiometricContext.h"
#include "core/credentials/PasswordViewModel.h"
#include "core/lock/InactivityMonitor.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCustom.h"
#include "kit/inputs/WarningTextHelper.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/TarnColor.h"
#include "platform/Diagnostics.h"
#include "platform/WhenFinished.h"

#include <QFuture>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

PasswordView::PasswordView(AppContext* appContext, const PasswordModel& model, QWidget* parent)
    : QWidget(parent)
    , m_appContext(appContext)
    , m_viewModel(new PasswordViewModel(model, this))
{
    auto* main = new QWidget(this);
    auto* column = new QVBoxLayout(main);
    m_column = column;
    column->setContentsMargins(50, 20, 50, 0);
    column->setSpacing(20);

    m_textLabel = new QLabel(m_viewModel->text(), main);
    m_textLabel->setTextFormat(Qt::PlainText);
    m_textLabel->setWordWrap(true);
    m_textLabel->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 14, QFont::Normal));
    column->addWidget(m_textLabel);

    m_stateLabel = new QLabel(main);
    m_stateLabel->setTextFormat(Qt::PlainText);
    m_stateLabel->setWordWrap(true);
    m_stateLabel->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 12, QFont::Normal));
    QPalette statePalette = m_stateLabel->palette();
    statePalette.setColor(QPalette::WindowText, TarnColor::red());
    m_stateLabel->setPalette(statePalette);
    m_stateLabel->hide();
    column->addWidget(m_stateLabel);

    if (isAppPassword()) {
        m_settingsGroup = new PasswordSettingsGroup(m_viewModel, m_appContext->inactivityMonitor(), main);
        m_settingsGroup->hide();
        column->addWidget(m_settingsGroup);
    }

    auto* buttonRow = new QHBoxLayout;
    m_changeButton = makeTabButton(
        QStringLiteral("Passwort erstellen"), std::nullopt, std::nullopt,
        [this] { m_viewModel->setShowTextFields(true); }, main);
    m_removeButton = makeTabButton(
        QStringLiteral("Passwort entfernen"), TarnColor::red(), std::nullopt, [this] { confirmRemoval(); }, main);
    m_changeButton->hide();
    m_removeButton->hide();
    buttonRow->addWidget(m_changeButton);
    buttonRow->addWidget(m_removeButton);
    buttonRow->addStretch();
    column->addLayout(buttonRow);
    column->addStretch();

    m_warningText = new WarningTextHelper(Binding<std::optional<QString>>([this] { return m_viewModel->warningText(); },
                                                                          [this](const std::optional<QString>& text) {
                                                                              m_viewModel->setWarningText(text);
                                                                          }),
                                          TarnColor::accentColor(), this);
    connect(m_viewModel, &PasswordViewModel::warningTextChanged, m_warningText, &WarningTextHelper::refresh);

    // The success band lies over the bottom of the column.
    auto* stack = new QGridLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(main, 0, 0);
    stack->addWidget(m_warningText, 0, 0, Qt::AlignBottom);

    connect(m_viewModel, &PasswordViewModel::showTextFieldsChanged, this,
            [this] { showEditSheet(m_viewModel->showTextFields()); });
    connect(m_viewModel, &PasswordViewModel::validationErrorChanged, this, &PasswordView::showFailureAlert);
    connect(m_appContext->inactivityMonitor(), &InactivityMonitor::isAutoLogoutEnabledChanged, this,
            &PasswordView::showStoredState);

    setFixedHeight(frameHeight());
    load(true);
}

PasswordView::~PasswordView() = default;

bool PasswordView::isAppPassword() const
{
    // The tab's part follows the password it edits, whatever happened to it since.
    return m_viewModel->key() == ModelType::masterPassword;
}

int PasswordView::frameHeight() const
{
    int height = 220;
    if (isAppPassword()) {
        if (!m_isPasswordStored) {
            height = 170;
        } else {
            height = m_appContext->inactivityMonitor()->isAutoLogoutEnabled() ? 300 : 260;
        }
    }
    // The success band lies over the bottom of the tab: where the column leaves no room for it below the
    // buttons (a wrapped text, the timeout row), the tab grows so that the band never covers them.
    const int content =
        m_column->totalHeightForWidth(SettingsView::tabWidth) + m_warningText->reservedHeight(SettingsView::tabWidth);
    return std::max(height, content);
}

// Rows shown or hidden after the stored state changed (the timeout row follows the toggle) change the
// column's height only once its layout has run: the height follows then.
bool PasswordView::event(QEvent* event)
{
    if (event->type() == QEvent::LayoutRequest && minimumHeight() != frameHeight())
        setFixedHeight(frameHeight());
    return QWidget::event(event);
}

PasswordEditSheet* PasswordView::editSheet() const
{
    return m_sheet && !m_sheet->isDismissed() ? qobject_cast<PasswordEditSheet*>(m_sheet->card()) : nullptr;
}

namespace {

QFuture<void>& storedStateHold()
{
    static QFuture<void> hold = QtFuture::makeReadyFuture();
    return hold;
}

} // namespace

void PasswordView::holdStoredStateReads(const QFuture<void>& hold)
{
    storedStateHold() = hold;
}

void PasswordView::load(bool firstBuild)
{
    const auto done = [this](auto) { readFinished(); };
    m_pendingReads += firstBuild ? 3 : 1;
    whenFinished(this, m_viewModel->storedStateAsync(),
                 [this, hold = storedStateHold()](const Result<bool, SecretStoreError>& stored) {
                     whenFinished(this, hold, [this, stored] {
                         // A failed read tells nothing: the tab says so, and why, and the user learns
                         // it from the alert too, unless a failure shows already.
                         m_isPasswordStored = stored && *stored;
                         m_isStateUnknown = !stored;
                         m_stateLabel->setText(stored ? QString() : unknownStateText(stored.error().summary()));
                         if (!stored && !m_viewModel->validationError()) {
                             m_viewModel->setValidationError(
                                 PasswordValidationError::keychain(stored.error().message()));
                         }
                         readFinished();
                     });
                 });
    if (firstBuild) {
        whenFinished(this, isTouchIDAvailableAsync(), [this](bool available) {
            m_isTouchIDAvailable = available;
            readFinished();
        });
        whenFinished(this, m_viewModel->loadTouchIDAsync(), done);
    }
}

QString PasswordView::unknownStateText(const QString& reason)
{
    return QStringLiteral("Ob ein Passwort gespeichert ist, ist unbekannt. ") + reason;
}

void PasswordView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Shown again (another tab was chosen meanwhile): an unknown state is asked for once more.
    if (m_isStateUnknown && !isLoading() && !m_busy) {
        setBusy(true);
        load(false);
    }
}

void PasswordView::readFinished()
{
    if (--m_pendingReads > 0) {
        return;
    }
    showStoredState();
    setBusy(false);
    Q_EMIT loaded();
    if (std::exchange(m_overrideSaveQueued, false) && editSheet()) {
        overrideSave();
    }
}

void PasswordView::showStoredState()
{
    if (isLoading()) {
        return;
    }
    m_changeButton->setText(m_isPasswordStored ? QStringLiteral("Passwort ändern")
                                               : QStringLiteral("Passwort erstellen"));
    // While the state is unknown, neither creating nor removing would be what the user thinks.
    m_stateLabel->setVisible(m_isStateUnknown);
    m_changeButton->setVisible(!m_isStateUnknown);
    m_removeButton->setVisible(m_isPasswordStored && !m_isStateUnknown);
    if (m_settingsGroup) {
        m_settingsGroup->setTouchIDAvailable(m_isTouchIDAvailable);
        m_settingsGroup->setVisible(m_isPasswordStored && !m_isStateUnknown);
    }
    setFixedHeight(frameHeight());
}

void PasswordView::setBusy(bool busy)
{
    m_busy = busy;
    m_changeButton->setIsDisabled(busy);
    m_removeButton->setIsDisabled(busy);
    if (PasswordEditSheet* sheet = editSheet()) {
        sheet->setMiddleDisabled(busy);
    }
}

void PasswordView::showEditSheet(bool shown)
{
    if (!shown) {
        if (m_sheet) {
            m_sheet->dismiss();
        }
        return;
    }
    if (editSheet()) {
        return;
    }
    // Each time the sheet comes on screen it starts with empty entries.
    m_viewModel->clearEntries();
    auto* sheet = new PasswordEditSheet(
        m_viewModel, [this] { m_viewModel->setShowTextFields(false); }, [this] { save(); });
    sheet->setMiddleDisabled(m_busy);
    m_sheet = SheetOverlay::present(this, sheet);
    connect(m_sheet, &SheetOverlay::dismissed, this, [this] {
        m_viewModel->setShowTextFields(false);
        // The entries go with the sheet (a running save holds its own copy); so does an override that
        // still waits for the stored state: a cancelled sheet saves nothing.
        m_overrideSaveQueued = false;
        m_viewModel->clearEntries();
    });
    sheetAppeared();
}

void PasswordView::sheetAppeared()
{
    if (!m_isTouchIDAvailable) {
        // Without a usable reader the fingerprint login is switched off; a failed write goes unreported.
        m_viewModel->setUseTouchID(false);
        whenFinished(this, m_viewModel->storeTouchIDAsync(false), [](const PasswordViewModel::Outcome&) {});
    }
}

void PasswordView::save()
{
    PasswordEditSheet* sheet = editSheet();
    if (!sheet || m_busy) {
        return;
    }
    sheet->commit();
    setBusy(true);
    whenFinished(this, m_viewModel->validateAndSaveAsync(), [this](const PasswordViewModel::Outcome& saved) {
        if (saved) {
            m_viewModel->setShowTextFields(false);
            qCDebug(lcDiagnostics) << "Passwort erfolgreich gespeichert.";
            if (isAppPassword()) {
                AppPasswordMarker::set(true);
                m_appContext->showLockButton();
            }
        } else {
            m_viewModel->setValidationError(saved.error());
        }
        load(false);
    });
}

void PasswordView::overrideSave()
{
    // The failed save that asked the question still reads the stored state again: the override waits
    // for it, then saves.
    if (m_busy) {
        m_overrideSaveQueued = true;
        return;
    }
    setBusy(true);
    whenFinished(this, m_viewModel->savePasswordAsync(), [this](const PasswordViewModel::Outcome& saved) {
        setBusy(false);
        if (saved) {
            m_viewModel->setShowTextFields(false);
            qCDebug(lcDiagnostics) << "Passwort erfolgreich gespeichert.";
        } else {
            m_viewModel->setValidationError(saved.error());
        }
    });
}

void PasswordView::confirmRemoval()
{
    if (m_busy || (m_removalConfirmation && !m_removalConfirmation->isDismissed())) {
        return;
    }
    m_isPassDelete = true;
    QList<AlertCustomButton<AlertNoItem>> buttons;
    buttons.append({QUuid::createUuid(),
                    QStringLiteral("Abbrechen"),
                    TarnColor::accentColor(),
                    false,
                    [this](const std::optional<AlertNoItem>&) { m_isPassDelete = false; },
                    {}});
    buttons.append({QUuid::createUuid(),
                    QStringLiteral("Ja"),
                    TarnColor::red(),
                    false,
                    [this](const std::optional<AlertNoItem>&) { remove(); },
                    {}});
    m_removalConfirmation = AlertCustom::alertCustom(
        this, Binding<bool>::to(&m_isPassDelete), QStringLiteral("Löschen"),
        [] { return AlertCommon::messageText(QStringLiteral("Möchtest du das Passwort wirklich löschen?")); }, buttons,
        AlertCustomType::trash);
}

void PasswordView::remove()
{
    if (m_busy) {
        return;
    }
    setBusy(true);
    whenFinished(this, m_viewModel->deletePasswordAsync(), [this](const PasswordViewModel::Outcome& deleted) {
        if (deleted) {
            removed();
        } else {
            // Shown at once, over the tab.
            m_viewModel->setValidationError(deleted.error());
            load(false);
        }
    });
}

void PasswordView::removed()
{
    // Removing either password switches the fingerprint login and automatic logout off.
    m_viewModel->setUseTouchID(false);
    whenFinished(this, m_viewModel->storeTouchIDAsync(false),
                 [this](const PasswordViewModel::Outcome&) { load(false); });
    m_isPassDelete = false;
    if (isAppPassword()) {
        AppPasswordMarker::set(false);
        m_appContext->hideLockButton();
        // A password made again in this tab is replaced only after the question, as the archive
        // password is.
        m_viewModel->setIsTouchID(false);
    }
    m_appContext->inactivityMonitor()->setIsAutoLogoutEnabled(false);
}

void PasswordView::showFailureAlert()
{
    const std::optional<PasswordValidationError> error = m_viewModel->validationError();
    if (!error || (m_failureAlert && !m_failureAlert->isDismissed())) {
        return;
    }
    using Button = AlertCustomButton<PasswordValidationError>;
    const bool asksToOverride = error->code == PasswordValidationError::existingPasswordNeedsOverride;
    QList<Button> buttons;
    if (asksToOverride) {
        buttons.append(
            Button{QUuid::createUuid(), QStringLiteral("Abbrechen"), TarnColor::accentColor(), false, {}, {}});
        buttons.append(Button{QUuid::createUuid(),
                              QStringLiteral("Speichern"),
                              TarnColor::red(),
                              false,
                              [this](const std::optional<PasswordValidationError>&) { overrideSave(); },
                              {}});
    } else {
        buttons.append(Button{QUuid::createUuid(), QStringLiteral("OK"), TarnColor::accentColor(), false, {}, {}});
    }
    // Over the edit sheet while it is open, else over the tab.
    QWidget* host = editSheet() ? static_cast<QWidget*>(editSheet()) : this;
    m_failureAlert = AlertCustom::alertCustom<PasswordValidationError>(
        host,
        Binding<std::optional<PasswordValidationError>>(
            [this] { return m_viewModel->validationError(); },
            [this](const std::optional<PasswordValidationError>& value) { m_viewModel->setValidationError(value); }),
        asksToOverride ? QStringLiteral("Warnung") : QStringLiteral("Error"),
        [](const std::optional<PasswordValidationError>& shown) {
            return AlertCommon::messageText(shown ? shown->errorDescription() : QString());
        },
        buttons, AlertCustomType::warn);
}
