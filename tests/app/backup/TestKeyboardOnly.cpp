#include "app/backup/BackupListModel.h"
#include "app/backup/BackupListView.h"
#include "app/backup/CreateZipView.h"
#include "app/backup/DeleteButtonView.h"
#include "app/backup/RestoreZipView.h"
#include "core/archive/EncryptionService.h"
#include "core/archive/FinderComment.h"
#include "core/credentials/KeychainService.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "kit/controls/RestoreButtonView.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/inputs/TextEditorHelper.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>

using namespace BackupScreens;
using namespace Qt::StringLiterals;

// The backup screens used with the keyboard alone: real key events to whatever has the focus, from the
// main menu through each sheet to its result on disk.
class TestKeyboardOnly : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;
    const KeychainService m_keychain{QStringLiteral("de.Tarn-Backup-Manager.ZipPassword")};

    static QWidget* focused() { return QApplication::focusWidget(); }

    static void press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(focused() ? focused() : window, key, modifiers);
    }

    // Presses Tab until the widget has the focus; false when a whole round never reaches it.
    static bool tabTo(QWidget* window, const QWidget* target)
    {
        for (int i = 0; i < 40; ++i) {
            if (focused() == target)
                return true;
            press(window, Qt::Key_Tab);
        }
        return focused() == target;
    }

    static bool activate(MainScreen& main)
    {
        main.window.activateWindow();
        return QTest::qWaitForWindowActive(&main.window);
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
        QVERIFY(m_keychain.set(u"Geheim42"_s, u"zipPassword"_s));
    }

    // Tab to "Erstellen", Return, type the comment (the editor has the keyboard), Tab to the action,
    // Return: one backup with that comment.
    void createsABackup()
    {
        MainScreen main;
        QVERIFY(activate(main));
        QVERIFY(tabTo(&main.window, main.view->rows().at(0)));
        press(&main.window, Qt::Key_Return);
        auto* screen = main.screen<CreateZipView>();
        QVERIFY(screen);
        QCOMPARE(focused(), screen->commentEditor()->editor());
        QTest::keyClicks(focused(), u"Vor dem Update"_s);

        // The sheet's controls in order, and none behind it.
        press(&main.window, Qt::Key_Tab);
        QCOMPARE(focused(), main.sheet()->leftButton());
        press(&main.window, Qt::Key_Tab);
        QCOMPARE(focused(), main.sheet()->middleButton());
        press(&main.window, Qt::Key_Return);

        QTRY_VERIFY_WITH_TIMEOUT(main.context()->messageText().has_value(), 20000);
        QCOMPARE(main.context()->messageText(), std::optional<QString>(CreateZipView::successText()));
        const QStringList backups = backupNames();
        QCOMPARE(backups.size(), 1);
        QCOMPARE(getFinderComment(backupFolder() + u'/' + backups.first()),
                 std::optional<QString>(u"Vor dem Update"_s));
        // The focus is back on the row that opened the sheet.
        QTRY_COMPARE(focused(), main.view->rows().at(0));
    }

    // Tab into the list chooses the newest backup; Return restores it. F2 edits a comment, Escape
    // leaves the edit sheet without saving, Delete asks and Return confirms.
    void restoresEditsAndDeletes()
    {
        const QMap<QString, QString> original = treeSnapshot(dataFolder());
        QVERIFY(EncryptionService::shared()
                    .createEncryptedArchive(dataFolder(), backupFolder(), u"Geheim42"_s, {})
                    .result());
        QVERIFY(writeDataTree(u"zwei"_s));
        QCOMPARE(backupNames().size(), 1);
        const QString backup = backupFolder() + u'/' + backupNames().first();

        MainScreen main;
        QVERIFY(activate(main));
        QVERIFY(tabTo(&main.window, main.view->rows().at(1)));
        press(&main.window, Qt::Key_Space);
        auto* screen = main.screen<RestoreZipView>();
        QVERIFY(screen);
        QTRY_COMPARE(screen->listModel()->rowCount(), 1);
        QVERIFY(main.sheet()->isMiddleDisabled());
        QVERIFY(tabTo(&main.window, screen->listView()));
        QCOMPARE(screen->model()->selectedURL().toLocalFile(), backup);
        QVERIFY(!main.sheet()->isMiddleDisabled());

        // The menu key opens the chosen row's menu; Down and Return pick its first entry, "edit".
        press(&main.window, Qt::Key_Menu);
        QTRY_VERIFY(screen->listView()->contextMenu() && screen->listView()->contextMenu()->isVisible());
        QMenu* menu = screen->listView()->contextMenu();
        QCOMPARE(menu->actions().size(), 2);
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
        QTRY_VERIFY(screen->editSheet());
        // The offscreen platform gives the activation back to no window when a popup closes.
        QVERIFY(activate(main));
        QTRY_COMPARE(focused(), screen->commentEditor()->editor());
        press(&main.window, Qt::Key_Escape);
        QTRY_VERIFY(!screen->editSheet());

        // F2: the comment sheet, whose editor has the keyboard.
        press(&main.window, Qt::Key_F2);
        QTRY_VERIFY(screen->editSheet());
        QCOMPARE(focused(), screen->commentEditor()->editor());
        QTest::keyClicks(focused(), u"verworfen"_s);
        press(&main.window, Qt::Key_Escape);
        QTRY_VERIFY(!screen->editSheet());
        QCOMPARE(getFinderComment(backup), std::nullopt);
        QCOMPARE(focused(), screen->listView());

        press(&main.window, Qt::Key_F2);
        QTRY_VERIFY(screen->editSheet());
        QTest::keyClicks(focused(), u"Stand vor dem Update"_s);
        auto* editSheet = qobject_cast<BlurredSheetContentHelper*>(screen->editSheet()->card());
        QVERIFY(tabTo(&main.window, editSheet->middleButton()));
        press(&main.window, Qt::Key_Space);
        QTRY_COMPARE(getFinderComment(backup), std::optional<QString>(u"Stand vor dem Update"_s));
        QTRY_COMPARE(screen->listModel()->index(0).data(BackupListModel::CommentRole).toString(),
                     u"Stand vor dem Update"_s);

        // Return in the list restores the chosen backup.
        QCOMPARE(focused(), screen->listView());
        press(&main.window, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(main.context()->messageText().has_value(), 20000);
        QCOMPARE(main.context()->messageText(), std::optional<QString>(RestoreZipView::successText()));
        QCOMPARE(treeSnapshot(dataFolder()), original);
        QTRY_VERIFY(!main.view->backupActionType());

        // Delete asks first; Escape keeps the backup, Return deletes it.
        QTRY_COMPARE(focused(), main.view->rows().at(1));
        press(&main.window, Qt::Key_Return);
        screen = main.screen<RestoreZipView>();
        QTRY_COMPARE(screen->listModel()->rowCount(), 1);
        QVERIFY(tabTo(&main.window, screen->listView()));
        press(&main.window, Qt::Key_Delete);
        QVERIFY(screen->deleteAlert());
        press(&main.window, Qt::Key_Escape);
        QTRY_VERIFY(!screen->deleteAlert());
        QVERIFY(QFileInfo::exists(backup));
        press(&main.window, Qt::Key_Delete);
        QVERIFY(screen->deleteAlert());
        press(&main.window, Qt::Key_Return);
        QTRY_COMPARE(screen->listModel()->rowCount(), 0);
        QVERIFY(!QFileInfo::exists(backup));
    }

    // Escape closes a sheet as its "Abbrechen" does; Space ticks the consent, Return erases.
    void erasesTheData()
    {
        MainScreen main;
        QVERIFY(activate(main));
        QVERIFY(tabTo(&main.window, main.view->rows().at(2)));
        press(&main.window, Qt::Key_Return);
        QVERIFY(main.screen<DeleteButtonView>());
        press(&main.window, Qt::Key_Escape);
        QVERIFY(!main.view->backupActionType());
        QVERIFY(QFileInfo::exists(dataFolder()));

        press(&main.window, Qt::Key_Return);
        auto* screen = main.screen<DeleteButtonView>();
        QVERIFY(screen);
        screen->checkBox()->setLockInterval(0);
        // Return does nothing while the consent is missing.
        press(&main.window, Qt::Key_Return);
        QVERIFY(!main.context()->isWorking());
        QVERIFY(tabTo(&main.window, screen->checkBox()));
        press(&main.window, Qt::Key_Space);
        QVERIFY(screen->checkBox()->selection());
        QVERIFY(!main.sheet()->isMiddleDisabled());
        press(&main.window, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(main.context()->messageText().has_value(), 20000);
        QCOMPARE(main.context()->messageText(), std::optional<QString>(DeleteButtonView::successText()));
        QVERIFY(!QFileInfo::exists(dataFolder()));
        QVERIFY(QFileInfo::exists(containerFolder()));
    }

    // Tab in the main window reaches every menu row, in order.
    void tabReachesEveryRow()
    {
        MainScreen main;
        QVERIFY(activate(main));
        QList<QWidget*> reached;
        press(&main.window, Qt::Key_Tab);
        for (int i = 0; i < 12; ++i) {
            if (auto* row = qobject_cast<RestoreButtonView*>(focused()); row && !reached.contains(row))
                reached << row;
            press(&main.window, Qt::Key_Tab);
        }
        // The round may start anywhere; the order is what counts.
        while (!reached.isEmpty() && reached.first() != main.view->rows().first())
            reached.append(reached.takeFirst());
        QList<QWidget*> rows;
        for (RestoreButtonView* row : main.view->rows())
            rows << row;
        QCOMPARE(reached, rows);
    }
};

TARN_TEST_GUI_MAIN(TestKeyboardOnly)
#include "TestKeyboardOnly.moc"
