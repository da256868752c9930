#include "app/backup/ActionContext.h"
#include "app/backup/BackupListView.h"
#include "app/backup/CreateZipView.h"
#include "app/backup/MainAppView.h"
#include "app/backup/RestoreZipView.h"
#include "core/archive/FinderComment.h"
#include "kit/controls/RestoreButtonView.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/inputs/TextEditorHelper.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/screens/ScreenCatalog.h"
#include "tests/support/FileFixtures.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <csignal>

TARN_SCREENS(backup)
{
    const QString home = QDir::homePath();
    const QString backups = home + QStringLiteral("/Backups");
    QDir().mkpath(backups);
    QDir().mkpath(home + QStringLiteral("/Library/Containers/de.orlwen/Data"));
    const struct
    {
        const char* name;
        const char* comment;
    } files[] = {
        {"Backup_2025-01-02_08-00-00.orlwen", "Vor dem Update auf Version 4"},
        {"Backup_2024-12-24_18-30-05.orlwen", "Weihnachten: alle Bewohner erfasst,\nzweite Zeile"},
        {"Backup_2024-11-30_09-15-42.orlwen", ""},
        {"Backup_2024-10-01_12-00-00.orlwen", "<b>kein Fettdruck</b> & Sonderzeichen"},
    };
    for (const auto& file : files) {
        const QString path = backups + QLatin1Char('/') + QString::fromUtf8(file.name);
        writeFile(path, "x");
        if (*file.comment)
            (void)setFinderComment(path, QString::fromUtf8(file.comment));
    }
    QSettings().setValue(PathViewModel::savedPathKey(), backups);

    BackupScreens::MainScreen main;
    QWidget& window = main.window;
    MainAppView* view = main.view;
    ScreenCatalog::settle(200);
    view->rows().at(1)->setHover(true);
    ScreenCatalog::settle(100);
    ScreenCatalog::save(&window, QStringLiteral("backup-main-menu"));
    view->rows().at(1)->setHover(false);

    view->openSheet(BackupActionType::create);
    auto* create = qobject_cast<CreateZipView*>(view->screen());
    create->commentEditor()->editor()->setPlainText(QStringLiteral("Vor dem Update auf Version 4"));
    ScreenCatalog::settle(200);
    ScreenCatalog::save(&window, QStringLiteral("backup-create"));
    view->actionContext()->setProgressLoadText(CreateZipView::progressText());
    ScreenCatalog::settle(300);
    ScreenCatalog::save(&window, QStringLiteral("backup-progress"));
    view->actionContext()->setProgressLoadText(std::nullopt);
    view->closeSheet();

    view->openSheet(BackupActionType::restore);
    auto* restore = qobject_cast<RestoreZipView*>(view->screen());
    ScreenCatalog::settle(300);
    restore->listView()->setCurrentIndex(restore->listView()->model()->index(1, 0));
    restore->listView()->setHoverRow(0);
    ScreenCatalog::settle(200);
    ScreenCatalog::save(&window, QStringLiteral("backup-restore"));
    restore->editBackup(QUrl::fromLocalFile(backups + QStringLiteral("/Backup_2024-12-24_18-30-05.orlwen")));
    ScreenCatalog::settle(200);
    ScreenCatalog::save(&window, QStringLiteral("backup-restore-edit"));
    restore->editSheet()->dismiss();
    restore->confirmDelete(QUrl::fromLocalFile(backups + QStringLiteral("/Backup_2024-11-30_09-15-42.orlwen")));
    ScreenCatalog::settle(200);
    ScreenCatalog::save(&window, QStringLiteral("backup-restore-delete"));
    restore->deleteAlert()->dismiss();

    // The close question needs a running sibling app: a copy of sleep under its name.
    QTemporaryDir bin;
    const QString sibling = bin.filePath(MainAppView::siblingBundleIdentifier());
    QFile::copy(QStringLiteral("/bin/sleep"), sibling);
    QProcess process;
    process.start(sibling, {QStringLiteral("60")});
    process.waitForStarted();
    view->startSelectedAction(BackupActionType::restore);
    for (int i = 0; i < 100 && !view->closeAlert(); ++i)
        ScreenCatalog::settle(20);
    ScreenCatalog::settle(200);
    ScreenCatalog::save(&window, QStringLiteral("backup-close-alert"));
    view->closeSheet();
    process.kill();
    process.waitForFinished();

    view->openSheet(BackupActionType::delete_);
    ScreenCatalog::settle(200);
    ScreenCatalog::save(&window, QStringLiteral("backup-erase"));
    view->closeSheet();

    view->actionContext()->setMessageText(QStringLiteral("Das Backup wurde erfolgreich erstellt."));
    ScreenCatalog::settle(700);
    ScreenCatalog::save(&window, QStringLiteral("backup-result"));
}
