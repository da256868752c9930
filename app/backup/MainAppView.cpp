#include "app/backup/MainAppView.h"

#include "app/backup/ActionContext.h"
#include "app/backup/CreateZipView.h"
#include "app/backup/DeleteButtonView.h"
#include "app/backup/RestoreZipView.h"
#include "app/common/AppContext.h"
#include "app/updates/BottomUpdateView.h"
#include "app/updates/CheckForUpdatesViewModel.h"
#include "core/workflows/AppDataEraser.h"
#include "kit/controls/PopUpLottieHelper.h"
#include "kit/controls/RestoreButtonView.h"
#include "kit/dialogs/AlertCustom.h"
#include "kit/dialogs/BlurredSheetContentHelper.h"
#include "kit/inputs/WarningTextHelper.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/TarnColor.h"
#include "platform/AppSettings.h"
#include "platform/Diagnostics.h"
#include "platform/WhenFinished.h"
#include "platform/processes/Workspace.h"
#include "platform/updates/Updater.h"

#include <QEventLoopLocker>
#include <QGridLayout>
#include <QLabel>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString& siblingIdentifierForTesting()
{
    static QString identifier;
    return identifier;
}

// How the force-quit of the sibling app ended.
enum class Termination { closed, survived, unknown };

using Lookup = Result<QList<RunningApplication>, Workspace::LookupFailure>;

// The user's words for a look-up that gave no list.
QString lookupFailureText(const Workspace::LookupFailure& failure)
{
    if (failure.timedOut && !failure.process.isEmpty())
        return MainAppView::processCheckFailureText(failure.process);
    return MainAppView::processListFailureText();
}

Lookup failedLookup()
{
    return fail(Workspace::LookupFailure{false, QStringLiteral("no thread for the look-up"), {}});
}

} // namespace

QString MainAppView::siblingBundleIdentifier()
{
    return siblingIdentifierForTesting().isEmpty() ? QStringLiteral("de.orlwen") : siblingIdentifierForTesting();
}

void MainAppView::setSiblingBundleIdentifierForTesting(const QString& identifier)
{
    siblingIdentifierForTesting() = identifier;
}

QString MainAppView::closeAlertTitle()
{
    return QStringLiteral("Betreuungssoftware schließen");
}

QString MainAppView::closeFailureText()
{
    return QStringLiteral("Die Betreuungssoftware konnte nicht geschlossen werden. Bitte schließe sie selbst und "
                          "versuche es erneut.");
}

QString MainAppView::processListFailureText()
{
    return QStringLiteral("Die laufenden Programme lassen sich nicht lesen, daher ist nicht sicher, dass die "
                          "Betreuungssoftware geschlossen ist. Die Aktion wurde nicht gestartet.");
}

QString MainAppView::processCheckFailureText(const QString& process)
{
    return QStringLiteral("Das laufende Programm %1 ließ sich nicht rechtzeitig prüfen, daher ist nicht sicher, dass "
                          "die Betreuungssoftware geschlossen ist. Die Aktion wurde nicht gestartet.")
        .arg(process);
}

QString MainAppView::siblingRunsAgainText()
{
    return QStringLiteral("Die Betreuungssoftware wurde erneut gestartet. Die Daten wurden nicht verändert. Bitte "
                          "schließe sie und versuche es noch einmal.");
}

QString MainAppView::backupsInDataText(const QString& backupFolder)
{
    return QStringLiteral("Der Backup-Ordner „%1“ liegt im Datenordner der Betreuungssoftware. Seine Backups werden "
                          "mit gelöscht. Möchtest du trotzdem fortfahren?")
        .arg(backupFolder);
}

QString MainAppView::backupFolderNotAnsweringText(const QString& backupFolder)
{
    return QStringLiteral("Der Backup-Ordner „%1“ antwortet nicht. Ob er im Datenordner der Betreuungssoftware liegt "
                          "und seine Backups mit gelöscht werden, lässt sich nicht prüfen. Möchtest du trotzdem "
                          "fortfahren?")
        .arg(backupFolder);
}

MainAppView::MainAppView(AppContext* appContext, QWidget* parent)
    : QWidget(parent)
    , m_appContext(appContext)
    , m_context(new ActionContext(this))
{
    auto* stack = new QGridLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);

    auto* column = new QWidget(this);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->addStretch();
    auto* menu = new QVBoxLayout;
    menu->setContentsMargins(16, 16, 16, 16);
    menu->setSpacing(20);
    const auto addRow = [&](const QString& icon, const QString& title, const QString& subTitle,
                            std::optional<QColor> color, std::function<void()> action) {
        auto* row = new RestoreButtonView(icon, title, subTitle, color, std::move(action), column);
        menu->addWidget(row, 0, Qt::AlignHCenter);
        m_rows << row;
    };
    addRow(QStringLiteral("tray.and.arrow.down"), QStringLiteral("Erstellen"),
           QStringLiteral("Ein neues Backup wird erstellt"), std::nullopt,
           [this] { openSheet(BackupActionType::create); });
    addRow(QStringLiteral("tray.and.arrow.up"), QStringLiteral("Wiederherstellen"),
           QStringLiteral("Backup wiederherstellen oder bearbeiten"), std::nullopt,
           [this] { openSheet(BackupActionType::restore); });
    addRow(QStringLiteral("trash"), QStringLiteral("Löschen"), QStringLiteral("Alle App-Daten löschen"),
           TarnColor::red(), [this] { openSheet(BackupActionType::delete_); });
    addRow(QStringLiteral("gearshape.2.fill"), QStringLiteral("Einstellungen"),
           QStringLiteral("Backup-Einstellungen bearbeiten"), std::nullopt, [this] {
               if (m_appContext)
                   m_appContext->openSettings();
           });
    columnLayout->addLayout(menu);
    columnLayout->addStretch();
    Updater* updater = m_appContext ? m_appContext->updater() : nullptr;
    m_bottomBar = new BottomUpdateView(new CheckForUpdatesViewModel(updater, this),
                                       m_appContext ? m_appContext->updaterDelegate() : nullptr, column);
    columnLayout->addWidget(m_bottomBar);
    stack->addWidget(column, 0, 0);

    ActionContext* context = m_context;
    m_messageView =
        new WarningTextHelper(Binding<std::optional<QString>>([context] { return context->messageText(); },
                                                              [context](const std::optional<QString>& text) {
                                                                  if (context->messageText() != text)
                                                                      context->setMessageText(text);
                                                              }),
                              TarnColor::accentColor(), this);
    stack->addWidget(m_messageView, 0, 0, Qt::AlignBottom);

    connect(m_context, &ActionContext::messageTextChanged, m_messageView, &WarningTextHelper::setWarningText);
    connect(m_context, &ActionContext::progressLoadTextChanged, this, &MainAppView::onProgressLoadTextChanged);
    connect(m_context, &ActionContext::closeViewRequested, this, &MainAppView::closeSheet);
    connect(m_context, &ActionContext::isReadingPasswordChanged, this, &MainAppView::updateLogoutPause);
    setTiming(m_timing);
}

void MainAppView::setTiming(const Timing& timing)
{
    m_timing = timing;
    // The sibling may have been started again since it was closed: the work looks once more right
    // before it replaces or removes Data.
    m_context->setDataGuard(
        [identifier = siblingBundleIdentifier(),
         timeout = std::chrono::milliseconds(timing.processCheckTimeout)]() -> std::optional<QString> {
            const Lookup running = Workspace::runningApplications(identifier, timeout);
            if (!running)
                return lookupFailureText(running.error());
            if (running->isEmpty())
                return std::nullopt;
            qCDebug(lcDiagnostics).noquote()
                << QStringLiteral("Приложение снова запущено: ") + running->first().description();
            return siblingRunsAgainText();
        });
}

MainAppView::~MainAppView()
{
    for (SheetOverlay* overlay : {m_backupsInDataAlert.data(), m_closeFailureAlert.data(), m_closeAlert.data(),
                                  m_progressOverlay.data(), m_sheetOverlay.data()}) {
        if (overlay)
            overlay->dismiss();
    }
    setWorking(false);
}

void MainAppView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous() || !m_appContext)
        return;
    // A silent check shortly after the screen appears, when checks are automatic but downloads are not.
    Updater* updater = m_appContext->updater();
    if (!updater || !updater->automaticallyChecksForUpdates() || updater->automaticallyDownloadsUpdates())
        return;
    QTimer::singleShot(m_timing.backgroundUpdateCheckDelay, this, [this] {
        Updater* current = m_appContext ? m_appContext->updater() : nullptr;
        if (!current)
            return;
        Q_EMIT backgroundUpdateCheckStarted();
        current->checkForUpdatesInBackground();
    });
}

void MainAppView::openSheet(BackupActionType type)
{
    if (m_backupActionType)
        return;
    m_backupActionType = type;
    ++m_sheetSerial;

    QWidget* screen = nullptr;
    switch (type) {
    case BackupActionType::create:
        screen = new CreateZipView(m_context);
        break;
    case BackupActionType::restore:
        screen = new RestoreZipView(m_context);
        break;
    case BackupActionType::delete_: {
        auto* erase = new DeleteButtonView(m_context);
        erase->setCloseDelay(m_timing.eraseCloseDelay);
        screen = erase;
        break;
    }
    }
    m_screen = screen;

    auto* header = new QLabel(BackupActionTypes::rawValue(type));
    header->setTextFormat(Qt::PlainText);
    header->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Bold"), 16, QFont::Bold));

    BlurredSheetContentHelper::Fields fields;
    fields.header = header;
    fields.content = screen;
    fields.minWidth = 10;
    fields.alignment = Qt::AlignLeft | Qt::AlignVCenter;
    fields.textLeft = [] { return QStringLiteral("Abbrechen"); };
    fields.textMiddle = [type] { return BackupActionTypes::actionTitle(type); };
    fields.isMiddleDisabled = m_context->isButtonDisabled();
    fields.callbackLeft = [this] { closeSheet(); };
    fields.callbackMiddle = [this, type](bool) { startSelectedAction(type); };
    m_sheet = new BlurredSheetContentHelper(std::move(fields));
    connect(m_context, &ActionContext::isButtonDisabledChanged, m_sheet, &BlurredSheetContentHelper::setMiddleDisabled);

    m_sheetOverlay = SheetOverlay::present(this, m_sheet);
    // Also closed from outside (the window hidden, a logout): forget it then as well.
    const int serial = m_sheetSerial;
    connect(m_sheetOverlay, &SheetOverlay::dismissed, this, [this, serial] {
        if (serial == m_sheetSerial)
            forgetSheet();
    });
}

void MainAppView::closeSheet()
{
    QPointer<SheetOverlay> overlay = m_sheetOverlay;
    forgetSheet();
    if (overlay)
        overlay->dismiss();
}

void MainAppView::forgetSheet()
{
    // Whatever still waits for this sheet (a look-up, the sibling's exit, the delayed start) is dropped.
    ++m_sheetSerial;
    m_pendingStart = false;
    if (m_screen)
        disconnect(m_context, nullptr, m_screen, nullptr);
    m_context->setIsButtonDisabled(false);
    for (SheetOverlay* alert : {m_closeFailureAlert.data(), m_closeAlert.data(), m_backupsInDataAlert.data()}) {
        if (alert)
            alert->dismiss();
    }
    m_backupActionType.reset();
    m_sheetOverlay = nullptr;
    m_sheet = nullptr;
    m_screen = nullptr;
}

void MainAppView::startSelectedAction(BackupActionType type)
{
    if (m_backupActionType != type)
        return;
    if (m_context->isWorking() || m_pendingStart) {
        qCDebug(lcDiagnostics).noquote() << "Действие уже выполняется, повторный запуск пропущен.";
        return;
    }
    if (type == BackupActionType::create)
        m_context->togglePerformAction();
    else if (type == BackupActionType::delete_)
        askAboutBackupsInData();
    else
        closeCareSoftwareIfRunning(type);
}

void MainAppView::askAboutBackupsInData()
{
    const QString folder = AppSettings::instance().savedPath();
    if (folder.isEmpty()) {
        closeCareSoftwareIfRunning(BackupActionType::delete_);
        return;
    }
    m_pendingStart = true;
    const int serial = m_sheetSerial;
    // Resolving the folder may wait on a file system that does not answer: after as long as a process
    // look-up may take, the folder counts as one that may lie in Data. The first answer holds.
    const auto answered = std::make_shared<bool>(false);
    const auto decide = [this, serial, folder, answered](std::optional<bool> holds) {
        if (serial != m_sheetSerial || std::exchange(*answered, true))
            return;
        if (holds && !*holds)
            closeCareSoftwareIfRunning(BackupActionType::delete_);
        else
            showBackupsInDataAlert(holds ? backupsInDataText(folder) : backupFolderNotAnsweringText(folder));
    };
    QTimer::singleShot(m_timing.processCheckTimeout, this, [decide] { decide(std::nullopt); });
    const auto inside = continueOn(
        this, Workspace::runOnOwnThread([folder] { return AppDataEraser::holds(folder); }),
        [](bool holds) { return holds; }, false);
    whenFinished(this, inside, [decide](bool holds) { decide(holds); });
}

void MainAppView::showBackupsInDataAlert(const QString& text)
{
    const int serial = m_sheetSerial;
    m_backupsInData = text;
    const auto cancel = AlertCustomButton<QString>::make(QStringLiteral("Abbrechen"), TarnColor::accentColor(), true);
    const auto erase = AlertCustomButton<QString>::make(QStringLiteral("Löschen"), TarnColor::red(), false,
                                                        [this, serial](const std::optional<QString>&) {
                                                            if (serial == m_sheetSerial)
                                                                closeCareSoftwareIfRunning(BackupActionType::delete_);
                                                        });
    m_backupsInDataAlert = AlertCustom::alertCustom<QString>(
        m_sheet.data(), Binding<std::optional<QString>>::to(&m_backupsInData), QStringLiteral("Backups im Datenordner"),
        [](const std::optional<QString>& shown) {
            auto* label = qobject_cast<QLabel*>(AlertCommon::messageText(shown.value_or(QString())));
            label->setAlignment(Qt::AlignCenter);
            return label;
        },
        {cancel, erase}, AlertCustomType::trash);
    // "Abbrechen", or the card closed any other way: nothing starts. "Löschen" starts anew after this.
    if (m_backupsInDataAlert)
        connect(m_backupsInDataAlert, &SheetOverlay::dismissed, this, [this] { m_pendingStart = false; });
    else
        m_pendingStart = false;
}

void MainAppView::closeCareSoftwareIfRunning(BackupActionType)
{
    m_pendingStart = true;
    const int serial = m_sheetSerial;
    const QString identifier = siblingBundleIdentifier();
    const std::chrono::milliseconds timeout(m_timing.processCheckTimeout);
    // On a thread of its own: a look-up that hangs past its time is left there, and the answer comes in time.
    const auto found = continueOn(
        this, Workspace::runOnOwnThread([identifier, timeout] {
            return Workspace::runningApplications(identifier, timeout);
        }),
        [](const Lookup& running) { return running; }, failedLookup());
    whenFinished(this, found, [this, serial, identifier](const Lookup& running) {
        if (serial != m_sheetSerial)
            return;
        if (!running) {
            // Nobody can tell whether the sibling runs: the work must not start.
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Не удалось прочитать список процессов: ") +
                    running.error().reason + running.error().process;
            m_pendingStart = false;
            showCloseFailure(lookupFailureText(running.error()));
            return;
        }
        if (running->isEmpty()) {
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Приложение с идентификатором ") + identifier +
                    QStringLiteral(" не найдено среди запущенных.");
            m_pendingStart = false;
            m_context->togglePerformAction();
            return;
        }
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Приложение найдено: ") + identifier +
                QStringLiteral(". Завершаем его. ") + running->first().description();
        askToClose(*running);
    });
}

void MainAppView::askToClose(const QList<RunningApplication>& applications)
{
    using Item = QList<RunningApplication>;
    m_runningApplications = applications;
    const QString purpose = m_backupActionType == BackupActionType::restore
        ? QStringLiteral("um die Wiederherstellung des Backups fortzusetzen?")
        : QStringLiteral("um die Datenlöschung fortzusetzen?");

    const auto cancel = AlertCustomButton<Item>::make(QStringLiteral("Abbrechen"), TarnColor::accentColor());
    const auto ok = AlertCustomButton<Item>::make(QStringLiteral("OK"), TarnColor::red(), true,
                                                  [this](const std::optional<Item>& running) {
                                                      if (running)
                                                          terminateCareSoftwareAndContinue(*running);
                                                  });
    m_closeAlert = AlertCustom::alertCustom<Item>(
        m_sheet.data(), Binding<std::optional<Item>>::to(&m_runningApplications), closeAlertTitle(),
        [purpose](const std::optional<Item>&) {
            auto* label = qobject_cast<QLabel*>(AlertCommon::messageText(
                QStringLiteral("Möchtest du, dass das Programm die Betreuungssoftware schließt, ") + purpose));
            label->setAlignment(Qt::AlignCenter);
            return label;
        },
        {cancel, ok}, AlertCustomType::warn);
    // "Abbrechen", or the card closed any other way: nothing starts. "OK" starts anew after this.
    if (m_closeAlert)
        connect(m_closeAlert, &SheetOverlay::dismissed, this, [this] { m_pendingStart = false; });
    else
        m_pendingStart = false;
}

void MainAppView::terminateCareSoftwareAndContinue(const QList<RunningApplication>& applications)
{
    m_pendingStart = true;
    const int serial = m_sheetSerial;
    const QString identifier = siblingBundleIdentifier();
    const std::chrono::milliseconds timeout(m_timing.terminationTimeout);
    const std::chrono::milliseconds checkTimeout(m_timing.processCheckTimeout);
    // Shown when a look-up fails; written by the worker before it ends.
    const auto failure = std::make_shared<QString>(processListFailureText());
    const auto work = Workspace::runOnOwnThread([applications, identifier, timeout, checkTimeout, failure] {
        // Every instance goes, also one started after the question; then all of them must be gone.
        const auto current = Workspace::runningApplications(identifier, checkTimeout);
        if (!current) {
            *failure = lookupFailureText(current.error());
            return Termination::unknown;
        }
        QList<RunningApplication> instances = applications;
        for (const RunningApplication& application : *current) {
            if (!instances.contains(application))
                instances.append(application);
        }
        for (const RunningApplication& application : instances)
            application.forceTerminate();
        if (!Workspace::waitForTermination(instances, timeout))
            return Termination::survived;
        const auto left = Workspace::runningApplications(identifier, checkTimeout);
        if (!left) {
            *failure = lookupFailureText(left.error());
            return Termination::unknown;
        }
        return left->isEmpty() ? Termination::closed : Termination::survived;
    });
    const auto terminated = continueOn(
        this, work, [](Termination termination) { return termination; }, Termination::unknown);
    whenFinished(this, terminated, [this, serial, failure](Termination termination) {
        if (serial != m_sheetSerial)
            return;
        if (termination != Termination::closed) {
            m_pendingStart = false;
            showCloseFailure(termination == Termination::unknown ? *failure : closeFailureText());
            return;
        }
        QTimer::singleShot(m_timing.startDelayAfterTermination, m_sheet.data(), [this, serial] {
            if (serial != m_sheetSerial)
                return;
            m_pendingStart = false;
            m_context->togglePerformAction();
        });
        Q_EMIT actionStartScheduled();
    });
}

void MainAppView::showCloseFailure(const QString& text)
{
    qCDebug(lcDiagnostics).noquote()
        << "Приложение не завершилось или список процессов недоступен, действие не начато.";
    m_isCloseFailureShown = true;
    const auto ok = AlertCustomButton<AlertNoItem>::make(QStringLiteral("OK"), TarnColor::accentColor(), true);
    m_closeFailureAlert = AlertCustom::alertCustom(
        m_sheet.data(), Binding<bool>::to(&m_isCloseFailureShown), closeAlertTitle(),
        [text] { return AlertCommon::messageText(text); }, {ok}, AlertCustomType::warn);
}

void MainAppView::onProgressLoadTextChanged(const std::optional<QString>& text)
{
    if (!text) {
        if (m_progressOverlay)
            m_progressOverlay->dismiss();
        setWorking(false);
        return;
    }
    setWorking(true);
    if (m_progressOverlay) {
        if (auto* popUp = qobject_cast<PopUpLottieHelper*>(m_progressOverlay->card()))
            popUp->setText(*text);
        return;
    }
    QWidget* host = m_sheet ? static_cast<QWidget*>(m_sheet.data()) : this;
    if (host->isVisible())
        m_progressOverlay = SheetOverlay::present(host, new PopUpLottieHelper(*text));
}

void MainAppView::setWorking(bool working)
{
    if (m_working != working) {
        m_working = working;
        // The last window's closing does not end the work.
        if (working)
            m_quitLock = std::make_unique<QEventLoopLocker>();
        else
            m_quitLock.reset();
    }
    updateLogoutPause();
}

void MainAppView::updateLogoutPause()
{
    // The inactivity logout waits for the work, but not for a keyring prompt that waits for the user.
    const bool paused = m_working && !m_context->isReadingPassword();
    if (m_logoutPaused == paused)
        return;
    m_logoutPaused = paused;
    if (!m_appContext)
        return;
    if (paused)
        m_appContext->beginBackgroundWork();
    else
        m_appContext->endBackgroundWork();
}
