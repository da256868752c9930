#pragma once

#include "kit/dialogs/SheetOverlay.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class ActionContext;
class CreateZipViewModel;
class QLabel;
class TextEditorHelper;
class TextViewHelper;

// The create sheet's screen: where the backup goes and an optional comment, whose editor takes the
// keyboard when the sheet opens. Without a chosen folder the folder row says where to choose one.
// Each change of the context's performAction makes one backup; a start while work runs is ignored.
// The folder is checked off the GUI thread (it may be a stalled network or FUSE folder): until it has
// answered, the row says so, and a start waits for the answer.
class CreateZipView : public QWidget
{
    Q_OBJECT

public:
    static QString progressText();
    static QString successText();
    // Stands in the folder row while no backup folder is chosen.
    static QString noFolderHint();
    // Stands under the folder row while the folder has not answered yet.
    static QString checkingText();

    explicit CreateZipView(ActionContext* context, QWidget* parent = nullptr);
    ~CreateZipView() override;

    CreateZipViewModel* model() const { return m_model.get(); }
    TextViewHelper* folderRow() const { return m_folderRow; }
    QLabel* checkingLabel() const { return m_checkingLabel; }
    // Whether the folder lies in the sibling's container, or whether it exists, is not known yet.
    bool isCheckingFolder() const;
    TextEditorHelper* commentEditor() const { return m_commentEditor; }
    // The open "Fehler" card, or nullptr.
    SheetOverlay* alert() const { return m_alert; }

Q_SIGNALS:
    void backupStarted();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setDirectoryAvailable(bool available);
    void showChecking();
    void startBackup();
    void updateAlert();

    // Shared with the running work, which outlives the screen when its sheet closes early.
    std::shared_ptr<CreateZipViewModel> m_model;
    ActionContext* m_context;
    bool m_overlapChecked = false;
    bool m_overlapsContainer = false;
    // A start came while the folder was being checked.
    bool m_startWaiting = false;
    TextViewHelper* m_folderRow = nullptr;
    QLabel* m_checkingLabel = nullptr;
    TextEditorHelper* m_commentEditor = nullptr;
    QPointer<SheetOverlay> m_alert;
};
