#pragma once

#include "kit/dialogs/SheetOverlay.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class ActionContext;
class CreateZipViewModel;
class TextEditorHelper;
class TextViewHelper;

// The create sheet's screen: where the backup goes and an optional comment, whose editor takes the
// keyboard when the sheet opens. Without a chosen folder the folder row says where to choose one.
// Each change of the context's performAction makes one backup; a start while work runs is ignored.
class CreateZipView : public QWidget
{
    Q_OBJECT

public:
    static QString progressText();
    static QString successText();
    // Stands in the folder row while no backup folder is chosen.
    static QString noFolderHint();

    explicit CreateZipView(ActionContext* context, QWidget* parent = nullptr);
    ~CreateZipView() override;

    CreateZipViewModel* model() const { return m_model.get(); }
    TextViewHelper* folderRow() const { return m_folderRow; }
    TextEditorHelper* commentEditor() const { return m_commentEditor; }
    // The open "Fehler" card, or nullptr.
    SheetOverlay* alert() const { return m_alert; }

Q_SIGNALS:
    void backupStarted();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setDirectoryAvailable(bool available);
    void startBackup();
    void updateAlert();

    // Shared with the running work, which outlives the screen when its sheet closes early.
    std::shared_ptr<CreateZipViewModel> m_model;
    ActionContext* m_context;
    bool m_overlapsContainer = false;
    TextViewHelper* m_folderRow = nullptr;
    TextEditorHelper* m_commentEditor = nullptr;
    QPointer<SheetOverlay> m_alert;
};
