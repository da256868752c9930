#include "app/backup/BackupListView.h"
#include "app/backup/CreateZipView.h"
#include "app/backup/MainAppView.h"
#include "app/backup/RestoreZipView.h"
#include "core/archive/FinderComment.h"
#include "kit/inputs/ElidedLabel.h"
#include "kit/inputs/TextViewHelper.h"
#include "platform/processes/Workspace.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/screens/ScreenCatalog.h"
#include "tests/support/FileFixtures.h"

#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QPainter>
#include <QSettings>
#include <QToolTip>

#include <cstdio>

namespace {

// The window with the tooltip that shows over it, which is a window of its own.
void saveWithToolTip(QWidget* window, const QString& name)
{
    QPixmap picture = window->grab();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->inherits("QTipLabel") && top->isVisible()) {
            QPainter painter(&picture);
            painter.drawPixmap(top->pos() - window->mapToGlobal(QPoint(0, 0)), top->grab());
        }
    }
    const QString path = QCoreApplication::arguments().value(1) + QLatin1Char('/') + name + QStringLiteral(".png");
    if (picture.save(path))
        std::printf("%s\n", qPrintable(path));
    else
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

void showToolTip(QWidget* widget, const QPoint& at)
{
    QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &help);
    ScreenCatalog::settle(300);
}

} // namespace

// A long comment's tooltip over the restore list, the whole path over the create sheet's folder, and
// the message when the running programs cannot be read.
TARN_SCREENS(details)
{
    const QString backups = QDir::homePath() +
        QStringLiteral("/Sicherungen/Pflegeheim Sonnenhof/Verwaltung/"
                       "Bewohnerdaten/monatliche Sicherungen 2025");
    QDir().mkpath(backups);
    QDir().mkpath(QDir::homePath() + QStringLiteral("/Library/Containers/de.orlwen/Data"));
    const QString path = backups + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen");
    writeFile(path, "x");
    writeFile(backups + QStringLiteral("/Backup_2024-12-24_18-30-05.orlwen"), "x");
    (void)setFinderComment(path,
                           QStringLiteral("Größere Änderungen vor dem Update auf Version 4: Zimmerbelegung, "
                                          "Medikationspläne und Angehörige überprüft. ")
                               .repeated(40)
                               .trimmed());
    QSettings().setValue(PathViewModel::savedPathKey(), backups);

    BackupScreens::MainScreen main;
    ScreenCatalog::settle(200);
    main.view->openSheet(BackupActionType::restore);
    auto* restore = qobject_cast<RestoreZipView*>(main.view->screen());
    ScreenCatalog::settle(400);
    BackupListView* list = restore->listView();
    const QRect row = list->visualRect(list->model()->index(0, 0));
    list->setHoverRow(0);
    showToolTip(list->viewport(), row.center());
    saveWithToolTip(&main.window, QStringLiteral("backup-restore-comment-tooltip"));
    QToolTip::hideText();
    main.view->closeSheet();
    ScreenCatalog::settle(200);

    main.view->openSheet(BackupActionType::create);
    auto* create = qobject_cast<CreateZipView*>(main.view->screen());
    ScreenCatalog::settle(300);
    showToolTip(create->folderRow()->valueLabel(), QPoint(20, 8));
    saveWithToolTip(&main.window, QStringLiteral("backup-create-folder-tooltip"));
    QToolTip::hideText();
    main.view->closeSheet();
    ScreenCatalog::settle(200);

    Workspace::setProcessTableForTesting(QStringLiteral("/nonexistent/proc"));
    main.view->openSheet(BackupActionType::restore);
    ScreenCatalog::settle(300);
    main.view->startSelectedAction(BackupActionType::restore);
    for (int i = 0; i < 100 && !main.view->closeFailureAlert(); ++i)
        ScreenCatalog::settle(20);
    ScreenCatalog::settle(300);
    ScreenCatalog::save(&main.window, QStringLiteral("backup-process-list-failure"));
    Workspace::setProcessTableForTesting(QString());
    main.view->closeSheet();
}
