#include "app/backup/CreateZipView.h"

#include "app/backup/ActionContext.h"
#include "app/backup/ArchivePassword.h"
#include "core/workflows/ContainerGuard.h"
#include "core/workflows/CreateZipViewModel.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "kit/dialogs/AlertCustom.h"
#include "kit/inputs/TextEditorHelper.h"
#include "kit/inputs/TextViewHelper.h"
#include "kit/theme/TarnColor.h"
#include "kit/theme/TarnFont.h"
#include "platform/Diagnostics.h"
#include "platform/WhenFinished.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {

// The backup file is complete when only its comment failed.
bool isCommentFailure(FinderCommentError::Code code)
{
    return code == FinderCommentError::commentTooLong || code == FinderCommentError::failedToAddComment ||
        code == FinderCommentError::invalidEncoding;
}

} // namespace

QString CreateZipView::progressText()
{
    return QStringLiteral("Backup wird erstellt.");
}

QString CreateZipView::successText()
{
    return QStringLiteral("Das Backup wurde erfolgreich erstellt.");
}

QString CreateZipView::noFolderHint()
{
    return QStringLiteral("Kein Speicherort gewählt – lege ihn in den Einstellungen unter „Speicherort“ fest.");
}

QString CreateZipView::checkingText()
{
    return QStringLiteral("Speicherort wird geprüft …");
}

CreateZipView::CreateZipView(ActionContext* context, QWidget* parent)
    : QWidget(parent)
    , m_model(new CreateZipViewModel, [](CreateZipViewModel* model) { model->deleteLater(); })
    , m_context(context)
{
    setFixedSize(400, 200);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(20);

    const QUrl destination = m_model->destinationPath();
    m_folderRow = new TextViewHelper(
        QStringLiteral("Speicherort"),
        destination.isEmpty() ? std::nullopt : std::optional<QString>(destination.toLocalFile()),
        destination.isEmpty() ? std::nullopt : std::optional<QUrl>(destination), TarnColor::blue(), this);
    m_folderRow->setPlaceholder(noFolderHint(), TarnColor::red());
    m_checkingLabel = new QLabel(checkingText(), this);
    m_checkingLabel->setTextFormat(Qt::PlainText);
    m_checkingLabel->setFont(TarnFont(TarnFont::roboto_italic12).font());
    QPalette palette = m_checkingLabel->palette();
    palette.setColor(QPalette::WindowText, TarnColor::secondary());
    m_checkingLabel->setPalette(palette);
    auto* folderLayout = new QVBoxLayout;
    folderLayout->setSpacing(2);
    folderLayout->addWidget(m_folderRow);
    folderLayout->addWidget(m_checkingLabel);
    layout->addLayout(folderLayout);

    const std::shared_ptr<CreateZipViewModel> model = m_model;
    m_commentEditor = new TextEditorHelper(QString(), QStringLiteral("Kommentar zum Backup (optional)"),
                                           TarnFont::roboto_regular14, TarnFont::roboto_regular12, 70, 70, 380, 0,
                                           Binding<QString>([model] { return model->comment(); },
                                                            [model](const QString& text) { model->setComment(text); }),
                                           false, true, this);
    layout->addWidget(m_commentEditor);
    layout->addStretch();

    connect(m_model.get(), &CreateZipViewModel::isDirectoryAvailableChanged, this,
            [this] { setDirectoryAvailable(m_model->isDirectoryAvailable()); });
    connect(m_model.get(), &CreateZipViewModel::isDirectoryCheckedChanged, this, &CreateZipView::showChecking);
    connect(m_model.get(), &CreateZipViewModel::zipStatusMessageChanged, this, &CreateZipView::updateAlert);
    connect(m_context, &ActionContext::performActionChanged, this, &CreateZipView::startBackup);

    // Restore and erase would destroy backups kept in the sibling's container. Resolving the folder's
    // path waits for its file system, so the check runs on the folder's own thread.
    if (destination.isEmpty()) {
        m_overlapChecked = true;
    } else {
        whenFinished(this, ContainerGuard::checkOverlap(destination.toLocalFile()), [this](bool overlapsContainer) {
            m_overlapChecked = true;
            m_overlapsContainer = overlapsContainer;
            if (m_overlapsContainer)
                m_model->setZipStatusMessage(ContainerGuard::refusalText());
            showChecking();
        });
    }
    m_checkingLabel->setVisible(isCheckingFolder());
    if (isCheckingFolder())
        m_folderRow->setColor(TarnColor::secondary());
}

bool CreateZipView::isCheckingFolder() const
{
    return !m_overlapChecked || !m_model->isDirectoryChecked();
}

void CreateZipView::showChecking()
{
    if (isCheckingFolder())
        return;
    m_checkingLabel->hide();
    setDirectoryAvailable(m_model->isDirectoryAvailable());
    if (std::exchange(m_startWaiting, false)) {
        m_context->setProgressLoadText(std::nullopt);
        // A missing folder disables the action: a start that waited for the answer goes with it.
        if (m_model->isDirectoryAvailable())
            startBackup();
    }
}

CreateZipView::~CreateZipView()
{
    if (m_startWaiting)
        m_context->setProgressLoadText(std::nullopt);
    if (m_alert)
        m_alert->dismiss();
}

void CreateZipView::setDirectoryAvailable(bool available)
{
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("isDirectoryAvailable: ") +
            (available ? QStringLiteral("true") : QStringLiteral("false"));
    if (isCheckingFolder())
        return; // the answer is shown once both checks are in
    m_folderRow->setColor(available ? TarnColor::blue() : TarnColor::red());
    m_context->setIsButtonDisabled(!available || m_overlapsContainer);
}

void CreateZipView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateAlert();
}

void CreateZipView::updateAlert()
{
    const QString message = m_model->zipStatusMessage();
    if (message.isEmpty()) {
        if (m_alert)
            m_alert->dismiss();
        return;
    }
    if (!isVisible())
        return; // shown when the screen appears
    if (m_alert)
        m_alert->dismiss(); // a newer message replaces the open one

    const std::shared_ptr<CreateZipViewModel> model = m_model;
    const Binding<std::optional<QString>> item(
        [model] {
            const QString text = model->zipStatusMessage();
            return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
        },
        [model](const std::optional<QString>& text) { model->setZipStatusMessage(text.value_or(QString())); });
    const auto ok = AlertCustomButton<QString>::make(
        QStringLiteral("OK"), TarnColor::accentColor(), false,
        [model](const std::optional<QString>&) { model->setZipStatusMessage(QString()); });
    m_alert = AlertCustom::alertCustom<QString>(
        this, item, QStringLiteral("Fehler"),
        [](const std::optional<QString>& text) { return AlertCommon::messageText(text.value_or(QString())); }, {ok},
        AlertCustomType::warn);
}

void CreateZipView::startBackup()
{
    if (m_context->isWorking()) {
        qCDebug(lcDiagnostics).noquote() << "Работа уже идёт, повторный запуск пропущен.";
        return;
    }
    if (isCheckingFolder()) {
        // The work is under way: it starts once the folder has answered, unless it is refused or
        // missing by then.
        qCDebug(lcDiagnostics).noquote() << "Папка резервных копий ещё не проверена, запуск отложен.";
        m_startWaiting = true;
        m_context->setProgressLoadText(progressText());
        return;
    }
    if (m_overlapsContainer) {
        m_model->setZipStatusMessage(ContainerGuard::refusalText());
        return;
    }
    if (m_model->destinationPath().isEmpty()) {
        // No folder chosen in the settings yet: say what is missing rather than that the archive failed.
        m_model->setZipStatusMessage(CreateZipViewModel::missingFolderText());
        return;
    }
    // The editor hands its text over after a pause; the last keystrokes belong to this backup.
    m_commentEditor->commit();
    // The password first: the inactivity logout still counts while a keyring prompt may be open.
    m_context->setIsReadingPassword(true);
    m_context->setProgressLoadText(progressText());
    Q_EMIT backupStarted();

    // The work reports to the context, which outlives this screen; the screen may be gone by then.
    ActionContext* context = m_context;
    const std::shared_ptr<CreateZipViewModel> model = m_model;
    const QPointer<CreateZipView> self(this);
    const auto showFailure = [context, model, self](const QString& text) {
        if (self)
            model->setZipStatusMessage(text);
        else
            context->setMessageText(text);
    };
    const auto read = ArchivePassword::read();
    whenFinished(context, read, [context, model, self, showFailure](const ArchivePassword::ReadResult& password) {
        context->setIsReadingPassword(false);
        if (!self) {
            // The sheet went while the keyring asked for the password (a logout): nothing starts.
            context->setProgressLoadText(std::nullopt);
            return;
        }
        if (!password) {
            context->setProgressLoadText(std::nullopt);
            showFailure(password.error());
            return;
        }
        const auto created = model->createZip(password.value());
        whenFinished(context, created, [context, self, showFailure](const ArchiveResult& result) {
            context->setProgressLoadText(std::nullopt);
            if (result) {
                context->setMessageText(successText());
            } else if (isCommentFailure(result.error().code)) {
                // The backup exists: report it, and close, so that a retry makes no second one.
                context->setMessageText(successText() + QLatin1Char(' ') +
                                        RestoreZipViewModel::textFor(result.error()));
            } else {
                showFailure(RestoreZipViewModel::textFor(result.error()));
                return;
            }
            // Only this screen's own sheet is closed, never a later one.
            if (self)
                context->closeView();
        });
    });
}
