#pragma once

#include "kit/dialogs/SheetOverlay.h"
#include "kit/inputs/TextEditorHelper.h"
#include "kit/theme/Binding.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <optional>

class ActionContext;
class QLabel;
class BackupListModel;
class BackupListView;
class RestoreZipViewModel;
class WarningTextHelper;

// The restore sheet's screen: the backups of the backup folder, newest first. The chosen backup is
// restored on each change of the context's performAction (a start while work runs is ignored); a
// backup's comment can be edited, a backup deleted after a confirmation.
class RestoreZipView : public QWidget
{
    Q_OBJECT

public:
    static QString progressText();
    static QString successText();

    explicit RestoreZipView(ActionContext* context, QWidget* parent = nullptr);
    ~RestoreZipView() override;

    RestoreZipViewModel* model() const { return m_model.get(); }
    BackupListModel* listModel() const { return m_listModel; }
    BackupListView* listView() const { return m_list; }
    WarningTextHelper* warningView() const { return m_warning; }
    // Shown over the list until the backup folder has answered.
    QLabel* checkingLabel() const { return m_checkingLabel; }
    bool isCheckingFolder() const;
    // The open comment sheet and its editor, or nullptr.
    SheetOverlay* editSheet() const { return m_editSheet; }
    TextEditorHelper* commentEditor() const { return m_editor; }
    // The open delete confirmation, or nullptr.
    SheetOverlay* deleteAlert() const { return m_deleteAlert; }

    // The row actions: the comment sheet of a backup, the confirmation before deleting one.
    void editBackup(const QUrl& backup);
    void confirmDelete(const QUrl& backup);

Q_SIGNALS:
    void restoreStarted();

private:
    void startRestore();
    void saveComment();
    void closeEditSheet();
    void showFiles();
    void showSelection();
    void showChecking();

    // Shared with the running work, which outlives the screen when its sheet closes early.
    std::shared_ptr<RestoreZipViewModel> m_model;
    ActionContext* m_context;
    // Whether the backup folder lies in the sibling's container is known.
    bool m_folderChecked = false;
    QLabel* m_checkingLabel = nullptr;
    bool m_overlapsContainer = false;
    BackupListModel* m_listModel = nullptr;
    BackupListView* m_list = nullptr;
    WarningTextHelper* m_warning = nullptr;

    std::optional<QUrl> m_editBackup;
    std::optional<QUrl> m_deleteBackup;
    // The editor's text; shared, since the comment sheet may outlive this screen by a moment.
    Binding<QString> m_comment = Binding<QString>::state(QString());
    QPointer<SheetOverlay> m_editSheet;
    QPointer<TextEditorHelper> m_editor;
    QPointer<SheetOverlay> m_deleteAlert;
    bool m_showingSelection = false;
};
