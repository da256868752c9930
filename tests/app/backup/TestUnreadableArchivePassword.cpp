#include "app/backup/BackupListModel.h"
#include "app/backup/CreateZipView.h"
#include "app/backup/RestoreZipView.h"
#include "core/archive/PasswordValidationError.h"
#include "core/credentials/KeychainService.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/support/TestMain.h"

// A locked keyring: the archive password cannot be read. Using the empty password instead would make
// a backup that the real password cannot restore, so create and restore stop with the store's text.
class TestUnreadableArchivePassword : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;
    const QString m_lockedText = QStringLiteral("Der Schlüsselbund ist gesperrt. Entsperre ihn, um fortzufahren.");

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = BackupScreens::useOwnKeyring();
        QVERIFY(m_keyring->isRunning());
        QVERIFY(KeychainService(QStringLiteral("de.Tarn-Backup-Manager.ZipPassword"))
                    .set(QStringLiteral("Geheim42"), QStringLiteral("zipPassword")));
        QVERIFY(m_keyring->lock());
        QVERIFY(BackupScreens::writeDataTree(QStringLiteral("eins")));
        QVERIFY(QDir().mkpath(BackupScreens::backupFolder()));
        QVERIFY(writeFile(BackupScreens::backupFolder() + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen"), "x"));
        BackupScreens::useBackupFolder(BackupScreens::backupFolder());
    }

    void cleanupTestCase() { m_keyring.reset(); }

    void createStops()
    {
        BackupScreens::MainScreen main;
        main.view->openSheet(BackupActionType::create);
        auto* screen = main.screen<CreateZipView>();
        main.pressAction();
        QTRY_VERIFY(screen->alert());
        QCOMPARE(BackupScreens::alertMessage(screen->alert()), m_lockedText);
        QVERIFY(!main.context()->isWorking());
        QVERIFY(!main.context()->messageText());
        QCOMPARE(BackupScreens::backupNames(), QStringList{QStringLiteral("Backup_2025-01-02_08-00-00.orlwen")});
    }

    void restoreStops()
    {
        BackupScreens::MainScreen main;
        main.view->openSheet(BackupActionType::restore);
        auto* screen = main.screen<RestoreZipView>();
        QTRY_COMPARE(screen->listModel()->rowCount(), 1);
        screen->model()->setSelectedURL(screen->listModel()->urlAt(0));
        main.context()->togglePerformAction();
        QTRY_COMPARE(screen->model()->warningText(), m_lockedText);
        QVERIFY(!main.context()->isWorking());
        QVERIFY(main.view->backupActionType());
        QVERIFY(QFile::exists(BackupScreens::dataFolder() + QStringLiteral("/bewohner.db")));
    }
};

TARN_TEST_GUI_MAIN(TestUnreadableArchivePassword)
#include "TestUnreadableArchivePassword.moc"
