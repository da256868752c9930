#include "app/backup/BackupListModel.h"
#include "app/backup/BackupListView.h"
#include "app/backup/CreateZipView.h"
#include "app/backup/RestoreZipView.h"
#include "core/archive/PasswordValidationError.h"
#include "core/credentials/KeychainService.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/support/KeyringPrompt.h"
#include "tests/support/PrivateDisplay.h"
#include "tests/support/TestMain.h"

using namespace BackupScreens;

// Create and restore need the archive password while the keyring is locked: the keyring shows its
// real prompt (on a private X server), and the work goes on once it is unlocked there. A dismissed
// prompt stops the work with a German text saying what to do, and the next start asks again.
class TestArchivePasswordPrompt : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateDisplay> m_display;
    std::unique_ptr<PrivateKeyring> m_keyring;
    std::unique_ptr<KeyringPrompt> m_prompt;
    const KeychainService m_keychain{QStringLiteral("de.Tarn-Backup-Manager.ZipPassword")};

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(startPromptingKeyring(m_display, m_keyring, m_prompt));
        QVERIFY(m_keychain.set(QStringLiteral("Geheim42"), QStringLiteral("zipPassword")));
    }

    void init()
    {
        QVERIFY(m_keyring->unlock());
        QVERIFY(freshFolders());
    }

    void cleanup() { QVERIFY(m_prompt->waitUntilGone()); }

    void cleanupTestCase()
    {
        m_prompt.reset();
        m_keyring.reset();
        m_display.reset();
    }

    void create_data()
    {
        QTest::addColumn<bool>("dismissedFirst");
        QTest::newRow("unlocked in the prompt") << false;
        QTest::newRow("dismissed, then unlocked") << true;
    }

    void create()
    {
        QFETCH(bool, dismissedFirst);
        QVERIFY(m_keyring->lock());
        MainScreen main;
        main.view->openSheet(BackupActionType::create);
        auto* screen = main.screen<CreateZipView>();
        QVERIFY(screen);
        main.pressAction();
        QVERIFY(m_prompt->waitForWindow());
        // While the prompt waits for the user, the inactivity logout still counts.
        QVERIFY(main.context()->isWorking());
        QVERIFY(!main.delegate.isBackgroundWorkRunning());

        if (dismissedFirst) {
            QVERIFY(m_prompt->dismiss());
            QTRY_VERIFY_WITH_TIMEOUT(screen->alert(), 20000);
            QCOMPARE(alertMessage(screen->alert()),
                     QStringLiteral("Der Schlüsselbund ist gesperrt. Entsperre ihn, um fortzufahren."));
            QVERIFY(!main.context()->isWorking());
            QVERIFY(backupNames().isEmpty());
            QVERIFY(clickAlertButton(screen->alert(), QStringLiteral("OK")));
            QTRY_VERIFY(!screen->alert());
            main.pressAction();
            QVERIFY(m_prompt->waitForWindow());
        }
        QVERIFY(m_prompt->answer(PrivateKeyring::password()));
        QTRY_VERIFY_WITH_TIMEOUT(!main.context()->isWorking(), 20000);
        QCOMPARE(main.context()->messageText(), std::optional<QString>(CreateZipView::successText()));
        QCOMPARE(backupNames().size(), 1);
    }

    // A logout while the prompt is open closes the sheet; the answer that comes later starts nothing.
    void logoutWhileThePromptIsOpen()
    {
        QVERIFY(m_keyring->lock());
        MainScreen main;
        main.view->openSheet(BackupActionType::create);
        QVERIFY(main.screen<CreateZipView>());
        main.pressAction();
        QVERIFY(m_prompt->waitForWindow());
        main.delegate.customButtonAction();
        QTRY_VERIFY(!main.view->sheet());
        QVERIFY(m_prompt->answer(PrivateKeyring::password()));
        QTRY_VERIFY_WITH_TIMEOUT(!main.context()->isWorking(), 20000);
        QVERIFY(backupNames().isEmpty());
        QVERIFY(!main.delegate.isBackgroundWorkRunning());
    }

    // A backup made with the stored password comes back once the prompt unlocked the keyring.
    void restore()
    {
        const QMap<QString, QString> original = treeSnapshot(dataFolder());
        {
            MainScreen main;
            main.view->openSheet(BackupActionType::create);
            main.pressAction();
            QTRY_VERIFY_WITH_TIMEOUT(!main.context()->isWorking(), 20000);
            QCOMPARE(backupNames().size(), 1);
        }
        QVERIFY(writeDataTree(QStringLiteral("zwei")));
        QVERIFY(m_keyring->lock());

        MainScreen main;
        main.view->openSheet(BackupActionType::restore);
        auto* screen = main.screen<RestoreZipView>();
        QVERIFY(screen);
        QTRY_COMPARE(screen->listModel()->rowCount(), 1);
        BackupListView* list = screen->listView();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
        main.pressAction();
        QVERIFY(m_prompt->waitForWindow());
        QVERIFY(!main.delegate.isBackgroundWorkRunning());
        QVERIFY(m_prompt->answer(PrivateKeyring::password()));
        QTRY_VERIFY_WITH_TIMEOUT(main.context()->messageText().has_value(), 20000);
        QCOMPARE(main.context()->messageText(), std::optional<QString>(RestoreZipView::successText()));
        QCOMPARE(treeSnapshot(dataFolder()), original);
    }
};

TARN_TEST_GUI_MAIN(TestArchivePasswordPrompt)
#include "TestArchivePasswordPrompt.moc"
