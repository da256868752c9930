#include "app/backup/CreateZipView.h"
#include "core/archive/FinderComment.h"
#include "core/workflows/ContainerGuard.h"
#include "core/workflows/CreateZipViewModel.h"
#include "core/workflows/PathViewModel.h"
#include "kit/inputs/ElidedLabel.h"
#include "kit/inputs/TextEditorHelper.h"
#include "kit/inputs/TextViewHelper.h"
#include "kit/theme/TarnColor.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/support/MountedImage.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QPlainTextEdit>
#include <QSettings>
#include <QSignalSpy>

using namespace BackupScreens;

// The create sheet through the main screen, against real files and the real credential store.
class TestCreateZipView : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;

    static QString alertText(CreateZipView* screen) { return alertMessage(screen->alert()); }

    // Opens the create sheet and waits until its folder has answered the checks.
    static bool openCreateSheet(MainScreen& main)
    {
        main.view->openSheet(BackupActionType::create);
        auto* screen = main.screen<CreateZipView>();
        return screen && QTest::qWaitFor([screen] { return !screen->isCheckingFolder(); });
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = useOwnKeyring();
        QVERIFY(m_keyring->isRunning());
    }

    void init() { QVERIFY(freshFolders()); }

    // One backup per start; the comment is the editor's text, also what was typed just before.
    void createsABackup_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("comment");
        QTest::newRow("without comment") << "" << QString();
        QTest::newRow("with comment") << "Wochenbericht 12"
                                      << "Wochenbericht 12";
        QTest::newRow("blank comment") << "   " << QString();
    }

    void createsABackup()
    {
        QFETCH(QString, typed);
        QFETCH(QString, comment);
        MainScreen main;
        QVERIFY(openCreateSheet(main));
        auto* screen = main.screen<CreateZipView>();
        QVERIFY(screen);
        QCOMPARE(screen->folderRow()->text(), std::optional<QString>(backupFolder()));
        QPlainTextEdit* editor = screen->commentEditor()->editor();
        editor->setFocus();
        QTest::keyClicks(editor, typed);
        // At once, before the editor's pause is over.
        main.pressAction();
        QCOMPARE(main.context()->progressLoadText(), std::optional<QString>(CreateZipView::progressText()));

        QTRY_VERIFY_WITH_TIMEOUT(!main.context()->isWorking(), 20000);
        QCOMPARE(main.context()->messageText(), std::optional<QString>(CreateZipView::successText()));
        QVERIFY(!main.view->backupActionType());
        const QStringList backups = backupNames();
        QCOMPARE(backups.size(), 1);
        QCOMPARE(getFinderComment(backupFolder() + QLatin1Char('/') + backups.first()).value_or(QString()), comment);
    }

    // Where users keep backups: a USB stick (exFAT, no extended attributes) and ext4 (about 4 KB per
    // attribute). The comment is kept whole either way and the sheet reports plain success.
    void keepsTheCommentOnEveryDisk_data()
    {
        QTest::addColumn<bool>("onExfat");
        QTest::addColumn<QString>("comment");
        QTest::newRow("exFAT") << true << QStringLiteral("Grüße vom Stick");
        QTest::newRow("exFAT, 4000 umlauts") << true << QString(4000, QChar(0x00E4));
        QTest::newRow("ext4, 4000 umlauts") << false << QString(4000, QChar(0x00E4));
        QTest::newRow("ext4, 1000 emoji") << false << QStringLiteral("\U0001F44D\U0001F3FD").repeated(1000);
    }

    void keepsTheCommentOnEveryDisk()
    {
        QFETCH(bool, onExfat);
        QFETCH(QString, comment);
        std::unique_ptr<MountedImage> disk;
        if (onExfat || !MountedImage::isOnExt4(backupFolder())) {
            disk = std::make_unique<MountedImage>(onExfat ? MountedImage::Kind::exfat : MountedImage::Kind::ext4);
            if (!disk->isMounted())
                TARN_SKIP_UNLESS_PRIVILEGED(disk->skipReason());
        }
        const QString folder = disk ? disk->path() + QStringLiteral("/Backups") : backupFolder();
        QVERIFY(QDir().mkpath(folder));
        useBackupFolder(folder);
        {
            MainScreen main;
            QVERIFY(openCreateSheet(main));
            main.screen<CreateZipView>()->model()->setComment(comment);
            main.pressAction();
            QTRY_VERIFY_WITH_TIMEOUT(!main.context()->isWorking(), 20000);
            QCOMPARE(main.context()->messageText(), std::optional<QString>(CreateZipView::successText()));
        }
        const QStringList made = QDir(folder).entryList({QStringLiteral("Backup_*.orlwen")}, QDir::Files);
        QCOMPARE(made.size(), 1);
        QCOMPARE(getFinderComment(folder + QLatin1Char('/') + made.first()), std::optional<QString>(comment));
        useBackupFolder(backupFolder());
    }

    // A comment the file system cannot take whole: the backup exists, so the sheet closes and says so.
    void overlongCommentStillCreatesOneBackup()
    {
        MainScreen main;
        QVERIFY(openCreateSheet(main));
        main.screen<CreateZipView>()->model()->setComment(QString(4001, QLatin1Char('k')));
        main.pressAction();
        QTRY_VERIFY_WITH_TIMEOUT(!main.context()->isWorking(), 20000);
        QCOMPARE(
            main.context()->messageText(),
            std::optional<QString>(QStringLiteral("Das Backup wurde erfolgreich erstellt. Der Kommentar ist zu lang "
                                                  "und wurde auf 4000 Zeichen verkürzt.")));
        QVERIFY(!main.view->backupActionType());
        QCOMPARE(backupNames().size(), 1);
    }

    // A failure is shown in the sheet, which stays open for another try.
    void failureIsShown()
    {
        QVERIFY(QDir(dataFolder()).removeRecursively());
        MainScreen main;
        main.view->openSheet(BackupActionType::create);
        auto* screen = main.screen<CreateZipView>();
        main.pressAction();
        QTRY_VERIFY_WITH_TIMEOUT(screen->alert(), 20000);
        QCOMPARE(alertText(screen), QStringLiteral("Das Zielverzeichnis wurde nicht gefunden."));
        QCOMPARE(card(screen->alert())->titleLabel()->text(), QStringLiteral("Fehler"));
        QVERIFY(!main.context()->isWorking());
        QVERIFY(!main.context()->messageText());
        QCOMPARE(main.view->backupActionType(), std::optional<BackupActionType>(BackupActionType::create));
        QVERIFY(backupNames().isEmpty());

        QVERIFY(clickAlertButton(screen->alert(), QStringLiteral("OK")));
        QVERIFY(screen->model()->zipStatusMessage().isEmpty());
        QTRY_VERIFY(!screen->alert());
    }

    // Starts while a backup is being made are ignored: one backup, one start.
    void secondStartIsIgnored()
    {
        MainScreen main;
        QVERIFY(openCreateSheet(main));
        QSignalSpy started(main.screen<CreateZipView>(), &CreateZipView::backupStarted);
        main.context()->togglePerformAction();
        main.context()->togglePerformAction();
        main.view->startSelectedAction(BackupActionType::create);
        QCOMPARE(started.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!main.context()->isWorking(), 20000);
        QCOMPARE(started.count(), 1);
        QCOMPARE(backupNames().size(), 1);
    }

    // A missing backup folder disables the action and says so; the folder's return enables it.
    void missingFolderDisablesTheAction()
    {
        QVERIFY(QDir(backupFolder()).removeRecursively());
        MainScreen main;
        main.view->openSheet(BackupActionType::create);
        auto* screen = main.screen<CreateZipView>();
        QTRY_VERIFY(main.sheet()->isMiddleDisabled());
        QTRY_VERIFY(screen->alert());
        QCOMPARE(alertText(screen), CreateZipViewModel::missingFolderText());
        QCOMPARE(screen->folderRow()->color(), TarnColor::red());
        QVERIFY(clickAlertButton(screen->alert(), QStringLiteral("OK")));
        QVERIFY(QDir().mkpath(backupFolder()));
        QTRY_VERIFY(!main.sheet()->isMiddleDisabled());
        QCOMPARE(screen->folderRow()->color(), TarnColor::blue());
    }

    // Before a folder is chosen in the settings, the folder row says where to choose one, at once; the
    // start says that the folder is missing.
    void noFolderChosenYet()
    {
        QSettings().remove(PathViewModel::savedPathKey());
        MainScreen main;
        main.view->openSheet(BackupActionType::create);
        auto* screen = main.screen<CreateZipView>();
        TextViewHelper* row = screen->folderRow();
        QCOMPARE(row->text(), std::nullopt);
        QVERIFY(!row->isLink());
        QCOMPARE(row->shownValue(),
                 QStringLiteral("Kein Speicherort gewählt – lege ihn in den Einstellungen unter "
                                "„Speicherort“ fest."));
        QVERIFY(row->valueLabel()->isVisible());
        QCOMPARE(row->valueLabel()->text(), row->shownValue());
        QVERIFY(!row->valueLabel()->isElided());
        QVERIFY(!row->valueLabel()->font().underline());
        QVERIFY(!screen->alert());
        main.pressAction();
        QTRY_VERIFY(screen->alert());
        QCOMPARE(alertText(screen), CreateZipViewModel::missingFolderText());
        QVERIFY(!main.context()->isWorking());
        QCOMPARE(main.view->backupActionType(), std::optional<BackupActionType>(BackupActionType::create));
    }

    // Backups in the sibling's container would be destroyed by a restore or an erase.
    void containerFolderIsRefused_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("the container") << containerFolder();
        QTest::newRow("inside it") << containerFolder() + QStringLiteral("/Backups");
        QTest::newRow("containing it") << QDir::homePath() + QStringLiteral("/Library");
    }

    void containerFolderIsRefused()
    {
        QFETCH(QString, folder);
        QVERIFY(QDir().mkpath(folder));
        useBackupFolder(folder);
        MainScreen main;
        QVERIFY(openCreateSheet(main));
        auto* screen = main.screen<CreateZipView>();
        QVERIFY(main.sheet()->isMiddleDisabled());
        QTRY_VERIFY(screen->alert());
        QCOMPARE(alertText(screen), ContainerGuard::refusalText());
        // The card is drawn above the sheet, and its "OK" is what a click there reaches.
        QVERIFY(screen->alert()->isTopmost());
        QWidget* ok = card(screen->alert())->buttonViews().value(0);
        QVERIFY(ok);
        QWidget* hit = main.window.childAt(ok->mapTo(&main.window, ok->rect().center()));
        QVERIFY(hit == ok || ok->isAncestorOf(hit));
        QSignalSpy started(screen, &CreateZipView::backupStarted);
        main.context()->togglePerformAction();
        QCOMPARE(started.count(), 0);
        QVERIFY(!main.context()->isWorking());
        QVERIFY(QDir(folder).entryList({QStringLiteral("*.orlwen")}, QDir::Files).isEmpty());
    }
};

TARN_TEST_GUI_MAIN(TestCreateZipView)
#include "TestCreateZipView.moc"
