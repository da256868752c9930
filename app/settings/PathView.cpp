#include "app/settings/PathView.h"

#include "app/settings/TabButton.h"
#include "core/workflows/PathViewModel.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCustom.h"
#include "kit/inputs/TextViewHelper.h"
#include "kit/theme/FontFaces.h"
#include "kit/theme/TarnColor.h"
#include "platform/WhenFinished.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QVBoxLayout>

PathView::PathView(QWidget* parent)
    : QWidget(parent)
    , m_viewModel(new PathViewModel(this))
{
    m_viewModel->loadPath();

    setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 14, QFont::Normal));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(50, 20, 50, 0);
    column->setSpacing(20);

    m_folderView = new TextViewHelper(QStringLiteral("Ordner"), QString(), std::nullopt, TarnColor::blue(), this);
    m_pathView = new TextViewHelper(QStringLiteral("Pfad"), QString(), std::nullopt, TarnColor::blue(), this);
    column->addWidget(m_folderView);
    column->addWidget(m_pathView);

    m_chooseButton = makeTabButton(
        QStringLiteral("Pfad auswählen"), std::nullopt, QStringLiteral("folder"), [this] { chooseFolder(); }, this);
    column->addWidget(m_chooseButton, 0, Qt::AlignLeft);
    column->addStretch();

    connect(m_viewModel, &PathViewModel::restorePathChanged, this, &PathView::showPath);
    showPath();
}

PathView::~PathView()
{
    closeFolderChooser();
}

void PathView::showPath()
{
    const QUrl folder = m_viewModel->restorePath();
    const QString path = folder.toLocalFile();
    const QString name = QFileInfo(path).fileName();
    m_folderView->setText(name.isEmpty() ? QStringLiteral("-") : name);
    m_pathView->setText(path.isEmpty() ? QStringLiteral("-") : path);
    m_pathView->setUrl(folder.isEmpty() ? std::nullopt : std::optional<QUrl>(folder));
}

void PathView::chooseFolder()
{
    if (m_chooser) {
        m_chooser->raise();
        m_chooser->activateWindow();
        return;
    }
    auto* chooser = new QFileDialog(this, chooserTitle);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setWindowModality(Qt::NonModal);
    chooser->setLabelText(QFileDialog::Accept, QStringLiteral("Auswählen"));
    chooser->setLabelText(QFileDialog::Reject, QStringLiteral("Abbrechen"));
    chooser->setLabelText(QFileDialog::LookIn, QStringLiteral("Suchen in:"));
    chooser->setLabelText(QFileDialog::FileName, QStringLiteral("Ordner:"));
    // Qt's own dialog: a desktop portal refuses the requests of a process that may not be inspected,
    // which this one is not (no core dumps), and the labels above are the dialog's own.
    chooser->setOption(QFileDialog::DontUseNativeDialog, true);
    chooser->setFileMode(QFileDialog::Directory);
    chooser->setOption(QFileDialog::ShowDirsOnly, true);
    chooser->setOption(QFileDialog::ReadOnly, false); // may create folders
    // Folders only: their names say enough, and no column of sizes, kinds or dates is cut short.
    chooser->setViewMode(QFileDialog::List);
    // At the chosen folder; before one is chosen, at home rather than wherever the app was started.
    chooser->setDirectoryUrl(m_viewModel->restorePath().isEmpty() ? QUrl::fromLocalFile(QDir::homePath())
                                                                  : m_viewModel->restorePath());
    connect(chooser, &QFileDialog::accepted, this, [this, chooser] {
        const QList<QUrl> chosen = chooser->selectedUrls();
        if (!chosen.isEmpty()) {
            folderChosen(chosen.first());
        }
    });
    m_chooser = chooser;
    chooser->show();
}

void PathView::closeFolderChooser()
{
    if (m_chooser) {
        QFileDialog* chooser = m_chooser;
        m_chooser = nullptr;
        chooser->disconnect(this);
        chooser->reject();
        chooser->deleteLater();
    }
}

void PathView::folderChosen(const QUrl& folder)
{
    whenFinished(this, m_viewModel->choosePath(folder), [this](const Result<void, QString>& chosen) {
        if (chosen) {
            return;
        }
        QList<AlertCustomButton<AlertNoItem>> buttons;
        buttons.append({QUuid::createUuid(), QStringLiteral("OK"), TarnColor::accentColor(), false, {}, {}});
        const QString message = chosen.error();
        m_refusalAlert = AlertCustom::alertCustom(
            this, Binding<bool>::state(true), QStringLiteral("Fehler"),
            [message] { return AlertCommon::messageText(message); }, buttons, AlertCustomType::warn);
    });
}
