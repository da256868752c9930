#include "app/backup/BackupListModel.h"
#include "app/backup/BackupListView.h"
#include "app/backup/RestoreZipView.h"
#include "core/archive/EncryptionService.h"
#include "core/archive/FinderComment.h"
#include "core/credentials/KeychainService.h"
#include "core/workflows/ContainerGuard.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "kit/inputs/TextEditorHelper.h"
#include "kit/inputs/WarningTextHelper.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/support/MountedImage.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTextDocument>

#include <atomic>
#include <thread>

using namespace BackupScreens;

// The restore sheet through the main screen: the list, comments, deletion and the restore itself.
class TestRestoreZipView : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;
    const KeychainService m_keychain{QStringLiteral("de.Tarn-Backup-Manager.ZipPassword")};

    // A real backup of the current Data, renamed to the given stamp.
    static QString makeBackup(const QString& stamp, const QString& password, const QString& comment = {})
    {
        QTemporaryDir staging;
        if (!EncryptionService::shared()
                 .createEncryptedArchive(dataFolder(), staging.path(), password, comment)
                 .result())
            return {};
        const QStringList made = QDir(staging.path()).entryList({QStringLiteral("Backup_*.orlwen")}, QDir::Files);
        const QString target = backupFolder() + QStringLiteral("/Backup_") + stamp + QStringLiteral(".orlwen");
        if (made.size() != 1 || !QFile::rename(staging.filePath(made.first()), target))
            return {};
        return target;
    }

    static BlurredSheetContentHelper* editSheet(RestoreZipView* screen)
    {
        return screen->editSheet() ? qobject_cast<BlurredSheetContentHelper*>(screen->editSheet()->card()) : nullptr;
    }

    static void selectRow(RestoreZipView* screen, int row)
    {
        BackupListView* list = screen->listView();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
    }

    static RestoreZipView* openRestore(MainScreen& main, int rows)
    {
        main.view->openSheet(BackupActionType::restore);
        auto* screen = main.screen<RestoreZipView>();
        if (screen && !QTest::qWaitFor([&] { return screen->listModel()->rowCount() == rows; }))
            return nullptr;
        return screen;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = useOwnKeyring();
        QVERIFY(m_keyring->isRunning());
    }

    void init()
    {
        QVERIFY(freshFolders());
        QVERIFY(m_keychain.set(QStringLiteral("Geheim42"), QStringLiteral("zipPassword")));
    }

    // Only backups are listed, newest first, with their dates and comments.
    void listsBackupsNewestFirst()
    {
        for (const char* name : {"Backup_2024-12-24_18-30-05.orlwen", "Backup_2025-01-02_08-00-00.orlwen",
                                 "Backup_2025-01-02_08-00-00.zip", "Notizen.orlwen", "Backup_kaputt.orlwen"})
            QVERIFY(writeFile(backupFolder() + QLatin1Char('/') + QString::fromUtf8(name), "x"));
        QVERIFY(setFinderComment(backupFolder() + QStringLiteral("/Backup_2024-12-24_18-30-05.orlwen"),
                                 QStringLiteral("Weihnachten")));
        MainScreen main;
        RestoreZipView* screen = openRestore(main, 2);
        QVERIFY(screen);
        const QAbstractItemModel* rows = screen->listView()->model();
        QCOMPARE(rows->index(0, 0).data().toString(), QStringLiteral("02.01.2025 08:00:00"));
        QCOMPARE(rows->index(1, 0).data().toString(), QStringLiteral("24.12.2024 18:30:05"));
        QVERIFY(!rows->index(0, 0).data(BackupListModel::CommentRole).isValid());
        QCOMPARE(rows->index(1, 0).data(BackupListModel::CommentRole).toString(), QStringLiteral("Weihnachten"));
        // Nothing chosen yet: the action waits; choosing a row enables it.
        QVERIFY(main.sheet()->isMiddleDisabled());
        selectRow(screen, 1);
        QCOMPARE(screen->model()->selectedURL().fileName(), QStringLiteral("Backup_2024-12-24_18-30-05.orlwen"));
        QVERIFY(!main.sheet()->isMiddleDisabled());

        // A new backup shows without any call from the screen.
        QVERIFY(writeFile(backupFolder() + QStringLiteral("/Backup_2025-03-01_09-00-00.orlwen"), "x"));
        QTRY_COMPARE(rows->rowCount(), 3);
        QCOMPARE(rows->index(0, 0).data().toString(), QStringLiteral("01.03.2025 09:00:00"));
        QCOMPARE(screen->model()->selectedURL().fileName(), QStringLiteral("Backup_2024-12-24_18-30-05.orlwen"));
    }

    // The chosen backup replaces Data; a wrong password keeps the sheet open with its warning.
    void restoresTheChosenBackup_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("restored");
        QTest::newRow("its password") << "Geheim42" << true;
        QTest::newRow("another password") << "Anders99" << false;
    }

    void restoresTheChosenBackup()
    {
        QFETCH(QString, password);
        QFETCH(bool, restored);
        const QMap<QString, QString> original = treeSnapshot(dataFolder());
        QVERIFY(!makeBackup(QStringLiteral("2025-01-02_08-00-00"), QStringLiteral("Geheim42")).isEmpty());
        QVERIFY(writeDataTree(QStringLiteral("zwei")));
        const QMap<QString, QString> changed = treeSnapshot(dataFolder());
        QVERIFY(m_keychain.set(password, QStringLiteral("zipPassword")));

        MainScreen main;
        RestoreZipView* screen = openRestore(main, 1);
        QVERIFY(screen);
        selectRow(screen, 0);
        QSignalSpy started(screen, &RestoreZipView::restoreStarted);
        main.pressAction();
        QTRY_COMPARE(started.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!main.context()->isWorking(), 20000);
        if (restored) {
            QCOMPARE(main.context()->messageText(), std::optional<QString>(RestoreZipView::successText()));
            QVERIFY(!main.view->backupActionType());
            QCOMPARE(treeSnapshot(dataFolder()), original);
        } else {
            const QStringList expected{
                RestoreZipViewModel::textFor(FinderCommentError(FinderCommentError::archiveCreationFailed)),
                RestoreZipViewModel::textFor(
                    FinderCommentError(FinderCommentError::missingEndOfCentralDirectoryRecord))};
            QVERIFY2(expected.contains(screen->model()->warningText()), qPrintable(screen->model()->warningText()));
            QCOMPARE(screen->warningView()->shownText(), std::optional<QString>(screen->model()->warningText()));
            QVERIFY(!main.context()->messageText());
            QCOMPARE(main.view->backupActionType(), std::optional<BackupActionType>(BackupActionType::restore));
            QCOMPARE(treeSnapshot(dataFolder()), changed);
        }
    }

    void secondStartIsIgnored()
    {
        QVERIFY(!makeBackup(QStringLiteral("2025-01-02_08-00-00"), QStringLiteral("Geheim42")).isEmpty());
        MainScreen main;
        RestoreZipView* screen = openRestore(main, 1);
        QVERIFY(screen);
        selectRow(screen, 0);
        QSignalSpy started(screen, &RestoreZipView::restoreStarted);
        main.context()->togglePerformAction();
        main.context()->togglePerformAction();
        QCOMPARE(started.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!main.context()->isWorking(), 20000);
        QCOMPARE(started.count(), 1);
        QCOMPARE(main.context()->messageText(), std::optional<QString>(RestoreZipView::successText()));
    }

    // The edit sheet starts with the backup's own comment (empty without one) and writes on "Speichern".
    void editsAComment_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("after");
        QTest::newRow("replace") << "alt"
                                 << "neu" << true << "neu";
        QTest::newRow("add") << ""
                             << "neu" << true << "neu";
        QTest::newRow("clear") << "alt"
                               << "" << true << "";
        QTest::newRow("cancel") << "alt"
                                << "neu" << false << "alt";
    }

    void editsAComment()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(bool, save);
        QFETCH(QString, after);
        const QString older = backupFolder() + QStringLiteral("/Backup_2024-12-24_18-30-05.orlwen");
        const QString newer = backupFolder() + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen");
        QVERIFY(writeFile(older, "x"));
        QVERIFY(writeFile(newer, "x"));
        QVERIFY(setFinderComment(older, QStringLiteral("Kommentar des älteren")));
        if (!before.isEmpty())
            QVERIFY(setFinderComment(newer, before));
        MainScreen main;
        RestoreZipView* screen = openRestore(main, 2);
        QVERIFY(screen);

        // The older backup's sheet first, closed without saving: its text must not carry over.
        screen->editBackup(QUrl::fromLocalFile(older));
        QCOMPARE(screen->commentEditor()->editor()->toPlainText(), QStringLiteral("Kommentar des älteren"));
        QTest::mouseClick(editSheet(screen)->leftButton(), Qt::LeftButton);
        QTRY_VERIFY(!screen->editSheet());

        // The row's own button opens the sheet and selects the row.
        BackupListView* list = screen->listView();
        QTest::mouseMove(list->viewport(), list->visualRect(list->model()->index(1, 0)).center());
        QTRY_COMPARE(list->hoverRow(), 1);
        QTest::mouseMove(list->viewport(), list->visualRect(list->model()->index(0, 0)).center());
        QTRY_COMPARE(list->hoverRow(), 0);
        QVERIFY(list->editButton()->isVisible());
        QCOMPARE(list->editButton()->toolTip(), QStringLiteral("Bearbeiten"));
        QTest::mouseClick(list->editButton(), Qt::LeftButton);
        QVERIFY(editSheet(screen));
        QCOMPARE(screen->model()->selectedURL(), QUrl::fromLocalFile(newer));
        QCOMPARE(qobject_cast<QLabel*>(editSheet(screen)->header())->text(), QStringLiteral("Kommentar bearbeiten"));
        QCOMPARE(editSheet(screen)->middleButton()->fields().text, std::optional<QString>(QStringLiteral("Speichern")));
        QPlainTextEdit* editor = screen->commentEditor()->editor();
        QCOMPARE(editor->toPlainText(), before);

        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClicks(editor, typed);
        QTest::mouseClick(save ? editSheet(screen)->middleButton() : editSheet(screen)->leftButton(), Qt::LeftButton);
        QTRY_VERIFY(!screen->editSheet());
        QTRY_COMPARE(getFinderComment(newer).value_or(QString()), after);
        QTRY_COMPARE(list->model()->index(0, 0).data(BackupListModel::CommentRole).toString(), after);
        QCOMPARE(getFinderComment(older), std::optional<QString>(QStringLiteral("Kommentar des älteren")));
    }

    // Deleting asks first; a deleted backup leaves the list and is no longer the one to restore.
    void deletesABackup_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("Löschen") << "Löschen" << true;
        QTest::newRow("Abbrechen") << "Abbrechen" << false;
    }

    void deletesABackup()
    {
        QFETCH(QString, answer);
        QFETCH(bool, deleted);
        const QString backup = backupFolder() + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen");
        QVERIFY(writeFile(backup, "x"));
        QVERIFY(writeFile(backupFolder() + QStringLiteral("/Backup_2024-12-24_18-30-05.orlwen"), "x"));
        MainScreen main;
        RestoreZipView* screen = openRestore(main, 2);
        QVERIFY(screen);
        BackupListView* list = screen->listView();
        list->showContextMenu(0, list->visualRect(list->model()->index(0, 0)).center());
        QVERIFY(list->contextMenu());
        const QList<QAction*> actions = list->contextMenu()->actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions.at(0)->text(), QStringLiteral("edit"));
        QCOMPARE(actions.at(1)->text(), QStringLiteral("delete"));
        actions.at(1)->trigger();
        list->contextMenu()->close();

        QVERIFY(screen->deleteAlert());
        QCOMPARE(card(screen->deleteAlert())->titleLabel()->text(), QStringLiteral("Entfernen bestätigen"));
        QCOMPARE(alertMessage(screen->deleteAlert()), QStringLiteral("02.01.2025 08:00:00"));
        QCOMPARE(screen->model()->selectedURL(), QUrl::fromLocalFile(backup));
        QVERIFY(clickAlertButton(screen->deleteAlert(), answer));
        QTRY_VERIFY(!screen->deleteAlert());
        if (deleted) {
            QTRY_COMPARE(list->model()->rowCount(), 1);
            QVERIFY(!QFile::exists(backup));
            QVERIFY(screen->model()->selectedURL().isEmpty());
            QVERIFY(main.sheet()->isMiddleDisabled());
        } else {
            QVERIFY(QFile::exists(backup));
            QCOMPARE(list->model()->rowCount(), 2);
        }
    }

    // A folder that carries a backup's name is not deleted, and the user is told.
    void folderOfABackupsNameIsNotDeleted()
    {
        const QString folder = backupFolder() + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen");
        QVERIFY(writeFile(folder + QStringLiteral("/wichtig.txt"), "wichtig"));
        MainScreen main;
        main.view->openSheet(BackupActionType::restore);
        auto* screen = main.screen<RestoreZipView>();
        screen->confirmDelete(QUrl::fromLocalFile(folder));
        QVERIFY(clickAlertButton(screen->deleteAlert(), QStringLiteral("Löschen")));
        QTRY_COMPARE(screen->model()->warningText(), RestoreZipViewModel::deletionFailedText());
        QCOMPARE(screen->warningView()->shownText(), std::optional<QString>(RestoreZipViewModel::deletionFailedText()));
        QVERIFY(QFile::exists(folder + QStringLiteral("/wichtig.txt")));
    }

    // On a USB stick the comments live in comment files: the list, its tooltip, the edit sheet and
    // deleting use them. The tooltip is cut, the edit sheet holds the whole comment.
    void commentsOnAUsbStick()
    {
        MountedImage stick(MountedImage::Kind::exfat);
        if (!stick.isMounted())
            TARN_SKIP_UNLESS_PRIVILEGED(stick.skipReason());
        const QString folder = stick.path() + QStringLiteral("/Backups");
        const QString newer = folder + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen");
        const QString older = folder + QStringLiteral("/Backup_2024-12-24_18-30-05.orlwen");
        QVERIFY(writeFile(newer, "x"));
        QVERIFY(writeFile(older, "x"));
        const QString longComment = QStringLiteral("Grüße ").repeated(600).trimmed();
        QVERIFY(setFinderComment(newer, longComment));
        QVERIFY(setFinderComment(older, QStringLiteral("Weihnachten")));
        useBackupFolder(folder);
        {
            MainScreen main;
            RestoreZipView* screen = openRestore(main, 2);
            QVERIFY(screen);
            const QAbstractItemModel* rows = screen->listView()->model();
            QCOMPARE(rows->index(0, 0).data(BackupListModel::CommentRole).toString(), longComment);
            QCOMPARE(rows->index(1, 0).data(BackupListModel::CommentRole).toString(), QStringLiteral("Weihnachten"));
            QTextDocument tip;
            tip.setHtml(rows->index(0, 0).data(Qt::ToolTipRole).toString());
            QCOMPARE(tip.toPlainText(), longComment.left(500) + QStringLiteral("…"));

            screen->editBackup(QUrl::fromLocalFile(newer));
            QPlainTextEdit* editor = screen->commentEditor()->editor();
            QCOMPARE(editor->toPlainText(), longComment);
            editor->selectAll();
            QTest::keyClick(editor, Qt::Key_Delete);
            QTest::keyClicks(editor, QStringLiteral("vom Stick"));
            QTest::mouseClick(editSheet(screen)->middleButton(), Qt::LeftButton);
            QTRY_COMPARE(rows->index(0, 0).data(BackupListModel::CommentRole).toString(), QStringLiteral("vom Stick"));
            QCOMPARE(getFinderComment(newer), std::optional<QString>(QStringLiteral("vom Stick")));
            QVERIFY(screen->model()->warningText().isNull());

            screen->confirmDelete(QUrl::fromLocalFile(newer));
            QVERIFY(clickAlertButton(screen->deleteAlert(), QStringLiteral("Löschen")));
            QTRY_COMPARE(rows->rowCount(), 1);
            QVERIFY(!QFile::exists(newer));
            QVERIFY(!QFile::exists(commentFilePath(newer)));
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                     (QStringList{QStringLiteral(".Backup_2024-12-24_18-30-05.orlwen.comment"),
                                  QStringLiteral("Backup_2024-12-24_18-30-05.orlwen")}));
        }
        useBackupFolder(backupFolder());
    }

    // The sheet opens at once on a folder that does not answer (a stalled network folder or USB stick);
    // its list follows when the folder answers.
    void opensAtOnceOnAStalledFolder()
    {
        MountedImage stick(MountedImage::Kind::exfat);
        if (!stick.isMounted())
            TARN_SKIP_UNLESS_PRIVILEGED(stick.skipReason());
        const QString folder = stick.path() + QStringLiteral("/Backups");
        QVERIFY(writeFile(folder + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen"), "x"));
        QVERIFY(writeFile(folder + QStringLiteral("/Backup_2024-12-24_18-30-05.orlwen"), "x"));
        useBackupFolder(folder);
        {
            MainScreen main;
            QVERIFY(stick.stall());
            // Should the sheet wait after all, the folder is let go after a while, so the test ends.
            QSemaphore opened;
            std::atomic<bool> letGoByWatchdog{false};
            std::thread watchdog([&] {
                if (!opened.tryAcquire(1, 10000)) {
                    letGoByWatchdog = true;
                    stick.resume();
                }
            });
            main.view->openSheet(BackupActionType::restore);
            QCoreApplication::processEvents();
            const bool openedWhileStalled = !letGoByWatchdog;
            opened.release();
            watchdog.join();
            QVERIFY2(openedWhileStalled, "the sheet waited for the stalled folder");
            auto* screen = main.screen<RestoreZipView>();
            QVERIFY(screen);
            QCOMPARE(screen->listModel()->rowCount(), 0);
            QVERIFY(main.sheet()->isMiddleDisabled());

            QVERIFY(stick.resume());
            QTRY_COMPARE(screen->listModel()->rowCount(), 2);
            main.view->closeSheet();
        }
        useBackupFolder(backupFolder());
    }

    void containerFolderIsRefused()
    {
        const QString folder = containerFolder() + QStringLiteral("/Backups");
        QVERIFY(writeFile(folder + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen"), "x"));
        useBackupFolder(folder);
        MainScreen main;
        main.view->openSheet(BackupActionType::restore);
        auto* screen = main.screen<RestoreZipView>();
        QTRY_COMPARE(screen->model()->warningText(), ContainerGuard::refusalText());
        QTRY_COMPARE(screen->listModel()->rowCount(), 1);
        selectRow(screen, 0);
        QSignalSpy started(screen, &RestoreZipView::restoreStarted);
        main.context()->togglePerformAction();
        QCOMPARE(started.count(), 0);
        QVERIFY(!main.context()->isWorking());
        QVERIFY(QFile::exists(dataFolder() + QStringLiteral("/bewohner.db")));
        QVERIFY(QDir(folder).removeRecursively());
    }
};

TARN_TEST_GUI_MAIN(TestRestoreZipView)
#include "TestRestoreZipView.moc"
