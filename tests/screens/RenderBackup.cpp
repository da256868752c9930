#include "app/backup/ActionContext.h"
#include "app/backup/BackupListView.h"
#include "app/backup/CreateZipView.h"
#include "app/backup/MainAppView.h"
#include "app/backup/RestoreZipView.h"
#include "core/archive/FinderComment.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "kit/controls/RestoreButtonView.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/inputs/TextEditorHelper.h"
#include "platform/secrets/SecretStoreError.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/screens/ScreenCatalog.h"
#include "tests/support/FileFixtures.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

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
    window.activateWindow();
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
    // A failure whose text takes several lines: shown whole, over the bottom of the list.
    restore->model()->setWarningText(
        SecretStoreError{SecretStoreError::failed,
                         QStringLiteral("Access to the secrets is denied by the policy of the keyring daemon "
                                        "(org.freedesktop.DBus.Error.AccessDenied)")}
            .message());
    ScreenCatalog::settle(700);
    ScreenCatalog::save(&window, QStringLiteral("backup-restore-failure"));
    restore->model()->setWarningText(QString());

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
    view->actionContext()->setMessageText(std::nullopt);
    ScreenCatalog::settle(700);

    // From the keyboard: Tab to the second row marks it; in its sheet, Tab to the list marks the
    // chosen backup, and on to the action button.
    const auto press = [&window](Qt::Key key) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &window;
        QTest::keyClick(target, key);
    };
    view->rows().first()->setFocus(Qt::OtherFocusReason);
    press(Qt::Key_Tab);
    ScreenCatalog::settle(200);
    ScreenCatalog::save(&window, QStringLiteral("backup-focus-menu-row"));
    press(Qt::Key_Return);
    ScreenCatalog::settle(300);
    restore = qobject_cast<RestoreZipView*>(view->screen());
    for (int i = 0; i < 30 && QApplication::focusWidget() != restore->listView(); ++i)
        press(Qt::Key_Tab);
    press(Qt::Key_Down);
    ScreenCatalog::settle(200);
    ScreenCatalog::save(&window, QStringLiteral("backup-focus-list"));
    for (int i = 0; i < 30 && QApplication::focusWidget() != view->sheet()->middleButton(); ++i)
        press(Qt::Key_Tab);
    ScreenCatalog::settle(200);
    ScreenCatalog::save(&window, QStringLiteral("backup-focus-button"));
    view->closeSheet();

    view->openSheet(BackupActionType::delete_);
    ScreenCatalog::settle(200);
    press(Qt::Key_Tab);
    ScreenCatalog::settle(200);
    ScreenCatalog::save(&window, QStringLiteral("backup-focus-consent"));
    view->closeSheet();

    // Before a backup folder is chosen, the create sheet says where to choose one.
    QSettings().remove(PathViewModel::savedPathKey());
    view->openSheet(BackupActionType::create);
    ScreenCatalog::settle(300);
    ScreenCatalog::save(&window, QStringLiteral("backup-create-no-folder"));
    view->closeSheet();
    QSettings().setValue(PathViewModel::savedPathKey(), backups);
}
