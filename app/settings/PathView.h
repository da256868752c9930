#pragma once

#include "kit/dialogs/SheetOverlay.h"

#include <QFileDialog>
#include <QPointer>
#include <QWidget>

class PathViewModel;
class TextViewHelper;
class TrendyButtonHelper;

// The tab "Speicherort": the backup folder by name and path, and "Pfad auswählen", which opens a
// folder chooser. A chosen folder is shown and stored at once; one in the sibling app's container is
// refused with a message.
class PathView : public QWidget
{
    Q_OBJECT

public:
    static inline const QString chooserTitle = QStringLiteral("Wählen Sie einen Ordner zum Speichern von Dateien aus");

    explicit PathView(QWidget* parent = nullptr);
    ~PathView() override;

    PathViewModel* viewModel() const { return m_viewModel; }
    TextViewHelper* folderView() const { return m_folderView; }
    TextViewHelper* pathView() const { return m_pathView; }
    TrendyButtonHelper* chooseButton() const { return m_chooseButton; }
    // The open folder chooser or refusal message, else nullptr.
    QFileDialog* folderChooser() const { return m_chooser; }
    SheetOverlay* refusalAlert() const { return m_refusalAlert; }

    // The button's action: opens the chooser at the current folder, or raises the open one.
    void chooseFolder();
    // Closes the open chooser; nothing is chosen.
    void closeFolderChooser();

private:
    void folderChosen(const QUrl& folder);
    void showPath();

    PathViewModel* m_viewModel;
    TextViewHelper* m_folderView = nullptr;
    TextViewHelper* m_pathView = nullptr;
    TrendyButtonHelper* m_chooseButton = nullptr;
    QPointer<QFileDialog> m_chooser;
    QPointer<SheetOverlay> m_refusalAlert;
};
