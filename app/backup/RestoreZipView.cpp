#include "app/backup/RestoreZipView.h"

#include "app/backup/ActionContext.h"
#include "app/backup/ArchivePassword.h"
#include "app/backup/BackupListModel.h"
#include "app/backup/BackupListView.h"
#include "app/backup/CreateZipView.h"
#include "core/workflows/BackupListing.h"
#include "core/workflows/ContainerGuard.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "kit/dialogs/AlertCustom.h"
#include "kit/dialogs/BlurredSheetContentHelper.h"
#include "kit/inputs/TextEditorHelper.h"
#include "kit/inputs/WarningTextHelper.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/TarnColor.h"
#include "kit/theme/TarnFont.h"
#include "platform/AppSettings.h"
#include "platform/Diagnostics.h"
#include "platform/WhenFinished.h"

#include <QEvent>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int listHeight = 250;

// Calls back when the watched widget is shown, hidden or resized.
class ResizeWatcher : public QObject
{
public:
    ResizeWatcher(QWidget* watched, std::function<void()> changed)
        : QObject(watched)
        , m_changed(std::move(changed))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide || event->type() == QEvent::Resize)
            m_changed();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_changed;
};

QLabel* label(const QString& text, const QFont& font, QWidget* parent = nullptr)
{
    auto* result = new QLabel(text, parent);
    result->setTextFormat(Qt::PlainText);
    result->setFont(font);
    return result;
}

} // namespace

QString RestoreZipView::progressText()
{
    return QStringLiteral("Backup wird wiederherstellt.");
}

QString RestoreZipView::successText()
{
    return QStringLiteral("Das Backup wurde erfolgreich wiederhergestellt.");
}

RestoreZipView::RestoreZipView(ActionContext* context, QWidget* parent)
    : QWidget(parent)
    , m_model(new RestoreZipViewModel, [](RestoreZipViewModel* model) { model->deleteLater(); })
    , m_context(context)
{
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_listModel = new BackupListModel(this);
    m_list = new BackupListView(m_listModel, this);
    m_list->setMinimumWidth(440);
    m_list->setFixedHeight(listHeight);
    layout->setRowMinimumHeight(0, listHeight);
    layout->addWidget(m_list, 0, 0, Qt::AlignTop);
    m_checkingLabel = new QLabel(CreateZipView::checkingText(), this);
    m_checkingLabel->setTextFormat(Qt::PlainText);
    m_checkingLabel->setFont(TarnFont(TarnFont::roboto_italic12).font());
    QPalette palette = m_checkingLabel->palette();
    palette.setColor(QPalette::WindowText, TarnColor::secondary());
    m_checkingLabel->setPalette(palette);
    layout->addWidget(m_checkingLabel, 0, 0, Qt::AlignCenter);

    const std::shared_ptr<RestoreZipViewModel> model = m_model;
    m_warning = new WarningTextHelper(
        Binding<std::optional<QString>>(
            [model] {
                const QString text = model->warningText();
                return text.isNull() ? std::nullopt : std::optional<QString>(text);
            },
            [model](const std::optional<QString>& text) { model->setWarningText(text.value_or(QString())); }),
        TarnColor::red(), this);
    layout->addWidget(m_warning, 0, 0, Qt::AlignBottom);
    // The band lies over the bottom of the list's place; the list gives it that room, so that no row
    // hides behind it, and keeps the current row in sight.
    new ResizeWatcher(m_warning, [this] {
        const int band = m_warning->isVisible() && m_warning->isBandVisible() ? m_warning->height() : 0;
        m_list->setFixedHeight(qMax(0, listHeight - band));
        if (m_list->currentIndex().isValid())
            m_list->scrollTo(m_list->currentIndex());
    });

    connect(m_model.get(), &RestoreZipViewModel::warningTextChanged, m_warning, &WarningTextHelper::refresh);
    connect(m_model.get(), &RestoreZipViewModel::backupsChanged, this, &RestoreZipView::showFiles);
    connect(m_model.get(), &RestoreZipViewModel::isListedChanged, this, &RestoreZipView::showChecking);
    connect(m_model.get(), &RestoreZipViewModel::selectedURLChanged, this, &RestoreZipView::showSelection);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_showingSelection)
            return;
        const QModelIndexList rows = m_list->selectionModel()->selectedRows();
        m_model->setSelectedURL(rows.isEmpty() ? QUrl() : m_listModel->urlAt(rows.first().row()));
    });
    connect(m_list, &BackupListView::editRequested, this, &RestoreZipView::editBackup);
    connect(m_list, &BackupListView::deleteRequested, this, &RestoreZipView::confirmDelete);
    connect(m_context, &ActionContext::performActionChanged, this, &RestoreZipView::startRestore);

    const QString folder = AppSettings::instance().savedPath();
    m_context->setIsButtonDisabled(m_model->selectedURL().isEmpty());
    if (folder.isEmpty()) {
        m_folderChecked = true;
        m_model->setUrl(QUrl());
        showChecking();
        return;
    }
    // A restore replaces the container's Data and works inside the container: backups there could go.
    // The check resolves the folder's path, which a stalled file system would not answer: it runs on
    // the folder's own thread, shared with the sheets opened before, and the folder is listed once it
    // is known, so nothing can be chosen before.
    const auto overlaps = ContainerGuard::checkOverlap(folder);
    whenFinished(this, overlaps, [this, folder](bool overlapsContainer) {
        m_folderChecked = true;
        m_overlapsContainer = overlapsContainer;
        if (m_overlapsContainer)
            m_model->setWarningText(ContainerGuard::refusalText());
        m_model->setUrl(QUrl::fromLocalFile(folder));
        showChecking();
    });
}

bool RestoreZipView::isCheckingFolder() const
{
    return !m_folderChecked || !m_model->isListed();
}

void RestoreZipView::showChecking()
{
    m_checkingLabel->setVisible(isCheckingFolder());
}

RestoreZipView::~RestoreZipView()
{
    if (m_editSheet)
        m_editSheet->dismiss();
    if (m_deleteAlert)
        m_deleteAlert->dismiss();
}

void RestoreZipView::showFiles()
{
    m_listModel->setBackups(m_model->backups());
    // A backup that left the folder is no longer the one to restore.
    if (!m_model->selectedURL().isEmpty() && m_listModel->rowOf(m_model->selectedURL()) < 0)
        m_model->setSelectedURL({});
    showSelection();
}

void RestoreZipView::showSelection()
{
    const QUrl selected = m_model->selectedURL();
    m_context->setIsButtonDisabled(selected.isEmpty());
    const int row = m_listModel->rowOf(selected);
    m_showingSelection = true;
    if (row < 0)
        m_list->selectionModel()->clearSelection();
    else
        m_list->selectionModel()->select(m_listModel->index(row), QItemSelectionModel::ClearAndSelect);
    m_showingSelection = false;
}

void RestoreZipView::startRestore()
{
    if (m_context->isWorking()) {
        qCDebug(lcDiagnostics).noquote() << "Работа уже идёт, повторный запуск пропущен.";
        return;
    }
    if (!m_folderChecked) {
        qCDebug(lcDiagnostics).noquote() << "Папка резервных копий ещё не проверена, запуск пропущен.";
        return;
    }
    if (m_overlapsContainer) {
        m_model->setWarningText(ContainerGuard::refusalText());
        return;
    }
    // The password first: the inactivity logout still counts while a keyring prompt may be open.
    m_context->setIsReadingPassword(true);
    m_context->setProgressLoadText(progressText());
    Q_EMIT restoreStarted();

    // The work reports to the context, which outlives this screen; the screen may be gone by then.
    ActionContext* context = m_context;
    const std::shared_ptr<RestoreZipViewModel> model = m_model;
    const QPointer<RestoreZipView> self(this);
    const auto showFailure = [context, model, self](const std::function<void()>& setWarning) {
        setWarning();
        if (!self)
            context->setMessageText(model->warningText());
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
            showFailure([&] { model->setWarningText(password.error()); });
            return;
        }
        // Why Data was kept, when the host's guard stopped the swap; written by the worker before it ends.
        const auto refusal = std::make_shared<std::optional<QString>>();
        const auto mayReplace = [guard = context->dataGuard(), refusal] {
            if (guard)
                *refusal = guard();
            return !refusal->has_value();
        };
        const auto restored = model->restoreBackup(password.value(), mayReplace);
        whenFinished(context, restored, [context, model, self, showFailure, refusal](const ArchiveResult& result) {
            context->setProgressLoadText(std::nullopt);
            if (!result) {
                showFailure([&] {
                    if (*refusal)
                        model->setWarningText(**refusal);
                    else
                        model->handleResult(result);
                });
                return;
            }
            context->setMessageText(successText());
            // Only this screen's own sheet is closed, never a later one.
            if (self)
                context->closeView();
        });
    });
}

void RestoreZipView::editBackup(const QUrl& backup)
{
    if (backup.isEmpty() || m_editSheet)
        return;
    m_editBackup = backup;
    // Each backup's sheet starts with its own comment, or empty: as listed, read off this thread.
    m_comment.set(m_listModel->commentOf(backup).value_or(QString()));

    auto* content = new QWidget;
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(16, 16, 16, 16);
    m_editor =
        new TextEditorHelper(QString(), QStringLiteral("Kommentar zum Backup (optional)"), TarnFont::roboto_regular14,
                             TarnFont::roboto_regular12, 70, 70, 300, 0, m_comment, false, true, content);
    contentLayout->addWidget(m_editor);

    BlurredSheetContentHelper::Fields fields;
    fields.header = label(QStringLiteral("Kommentar bearbeiten"),
                          FontFaces::faceOrSystem(QStringLiteral("Roboto-Bold"), 16, QFont::Bold));
    fields.content = content;
    fields.maxViewWidth = 350;
    fields.minWidth = 10;
    fields.alignment = Qt::AlignLeft | Qt::AlignVCenter;
    fields.textLeft = [] { return QStringLiteral("Abbrechen"); };
    fields.textMiddle = [] { return QStringLiteral("Speichern"); };
    fields.callbackLeft = [this] { closeEditSheet(); };
    fields.callbackMiddle = [this](bool) { saveComment(); };
    m_editSheet = SheetOverlay::present(this, new BlurredSheetContentHelper(std::move(fields)));
    connect(m_editSheet, &SheetOverlay::dismissed, this, [this] { m_editBackup.reset(); });
    m_model->setSelectedURL(backup);
}

void RestoreZipView::saveComment()
{
    if (!m_editBackup)
        return;
    if (m_editor)
        m_editor->commit();
    const QUrl backup = *m_editBackup;
    // The model lists the folder again once the comment is written; a failure shows its warning.
    m_model->saveComment(backup, m_comment.get());
    closeEditSheet();
}

void RestoreZipView::closeEditSheet()
{
    m_editBackup.reset();
    if (m_editSheet)
        m_editSheet->dismiss();
}

void RestoreZipView::confirmDelete(const QUrl& backup)
{
    if (backup.isEmpty() || m_deleteAlert)
        return;
    m_model->setSelectedURL(backup);
    m_deleteBackup = backup;

    const std::shared_ptr<RestoreZipViewModel> model = m_model;
    const auto cancel = AlertCustomButton<QUrl>::make(QStringLiteral("Abbrechen"), TarnColor::accentColor());
    const auto remove = AlertCustomButton<QUrl>::make(
        QStringLiteral("Löschen"), TarnColor::red(), true, [model](const std::optional<QUrl>& url) {
            if (url)
                model->deleteBackup(*url);
            else
                qCDebug(lcDiagnostics).noquote() << "Ошибка: URL не найден для удаления.";
        });
    m_deleteAlert = AlertCustom::alertCustom<QUrl>(
        this, Binding<std::optional<QUrl>>::to(&m_deleteBackup), QStringLiteral("Entfernen bestätigen"),
        [](const std::optional<QUrl>& url) -> QWidget* {
            const QString date = url ? BackupListing::dateText(url->fileName()).value_or(QString()) : QString();
            QLabel* text = label(date, FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 14, QFont::Normal));
            text->setAlignment(Qt::AlignCenter);
            return text;
        },
        {cancel, remove}, AlertCustomType::trash);
}
