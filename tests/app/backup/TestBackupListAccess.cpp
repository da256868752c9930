#include "app/backup/BackupListModel.h"
#include "app/backup/BackupListView.h"
#include "app/backup/RestoreZipView.h"
#include "app/updates/AccessoryBarButton.h"
#include "app/updates/BottomUpdateView.h"
#include "core/archive/FinderComment.h"
#include "kit/inputs/TextEditorHelper.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/support/TestMain.h"

#include <QAccessible>
#include <QApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QToolTip>

using namespace BackupScreens;

// The restore list, the comment editor and the version link for keyboard and screen-reader users.
class TestBackupListAccess : public QObject
{
    Q_OBJECT

    static QWidget* focused() { return QApplication::focusWidget(); }

    static bool activate(MainScreen& main)
    {
        main.window.activateWindow();
        return QTest::qWaitForWindowActive(&main.window);
    }

    static bool tabTo(MainScreen& main, const QWidget* target)
    {
        for (int i = 0; i < 40 && focused() != target; ++i)
            QTest::keyClick(focused() ? focused() : &main.window, Qt::Key_Tab);
        return focused() == target;
    }

    static RestoreZipView* openRestore(MainScreen& main, int rows)
    {
        main.view->openSheet(BackupActionType::restore);
        auto* screen = main.screen<RestoreZipView>();
        if (screen && !QTest::qWaitFor([&] { return screen->listModel()->rowCount() == rows; }))
            return nullptr;
        return screen;
    }

    static void save(QWidget* widget, const QString& name)
    {
        const QString folder = qEnvironmentVariable("TARN_SCREENSHOT_DIR");
        if (!folder.isEmpty())
            widget->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

    static QString backup(const QString& stamp)
    {
        return backupFolder() + QStringLiteral("/Backup_") + stamp + QStringLiteral(".orlwen");
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(freshFolders());
        QToolTip::hideText();
    }

    // The version is a link with a name, and it shows where the keyboard is.
    void versionLinkIsNamedAndMarked()
    {
        MainScreen main;
        QVERIFY(activate(main));
        AccessoryBarButton* link = main.view->bottomBar()->versionButton();
        const QImage unfocused = link->grab().toImage();
        QVERIFY(tabTo(main, link));
        const QImage marked = link->grab().toImage();
        QVERIFY(marked != unfocused);
        save(&main.window, QStringLiteral("version-link-focus"));

        QAccessibleInterface* access = QAccessible::queryAccessibleInterface(link);
        QVERIFY(access);
        QCOMPARE(access->text(QAccessible::Name), BottomUpdateView::versionText());
        QVERIFY(!access->text(QAccessible::Description).isEmpty());
        QCOMPARE(access->role(), QAccessible::Link);
        QVERIFY(access->state().focused);
    }

    // The list has a name, and a row reads its date and its comment.
    void listAndRowsAreNamed()
    {
        QVERIFY(writeFile(backup(QStringLiteral("2025-01-02_08-00-00")), "x"));
        QVERIFY(writeFile(backup(QStringLiteral("2024-12-24_18-30-05")), "x"));
        QVERIFY(setFinderComment(backup(QStringLiteral("2024-12-24_18-30-05")), QStringLiteral("Vor dem\nUpdate")));
        MainScreen main;
        RestoreZipView* screen = openRestore(main, 2);
        QVERIFY(screen);
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(screen->listView());
        QVERIFY(list);
        QCOMPARE(list->text(QAccessible::Name), QStringLiteral("Backups"));
        QCOMPARE(list->childCount(), 2);
        QCOMPARE(list->child(0)->text(QAccessible::Name), QStringLiteral("02.01.2025 08:00:00"));
        QCOMPARE(list->child(1)->text(QAccessible::Name), QStringLiteral("24.12.2024 18:30:05, Vor dem Update"));
        QCOMPARE(list->child(1)->text(QAccessible::Description), QStringLiteral("Vor dem\nUpdate"));
        QTRY_VERIFY(!screen->listView()->visualRect(screen->listModel()->index(1)).isEmpty());
        save(&main.window, QStringLiteral("restore-list"));
    }

    // After a backup is deleted from the keyboard, the list keeps the focus with a row under its mark.
    void keyboardDeleteLeavesAMarkedRow_data()
    {
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("marked");
        QTest::newRow("middle row") << 1 << 1;
        QTest::newRow("last row") << 2 << 1;
    }

    void keyboardDeleteLeavesAMarkedRow()
    {
        QFETCH(int, deleted);
        QFETCH(int, marked);
        for (const char* stamp : {"2025-01-03_08-00-00", "2025-01-02_08-00-00", "2025-01-01_08-00-00"})
            QVERIFY(writeFile(backup(QString::fromLatin1(stamp)), "x"));
        MainScreen main;
        QVERIFY(activate(main));
        RestoreZipView* screen = openRestore(main, 3);
        QVERIFY(screen);
        BackupListView* list = screen->listView();
        QVERIFY(tabTo(main, list));
        for (int i = 0; i < deleted; ++i)
            QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentIndex().row(), deleted);
        QTest::keyClick(list, Qt::Key_Delete);
        QTRY_VERIFY(screen->deleteAlert());
        QTest::keyClick(focused(), Qt::Key_Return);
        QTRY_COMPARE(screen->listModel()->rowCount(), 2);
        QTRY_COMPARE(focused(), list);
        QCOMPARE(list->currentIndex().row(), marked);
        // Down and Up move on from there.
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(list->currentIndex().row(), marked - 1);
        save(&main.window, QStringLiteral("restore-list-after-delete"));
    }

    // The edit sheet puts the cursor after the old comment, so typing goes on from its end, and a long
    // word wraps instead of scrolling sideways.
    void editorContinuesTheComment()
    {
        QVERIFY(writeFile(backup(QStringLiteral("2025-01-02_08-00-00")), "x"));
        const QString old = QStringLiteral("Alter Stand ").repeated(30).trimmed();
        QVERIFY(setFinderComment(backup(QStringLiteral("2025-01-02_08-00-00")), old));
        MainScreen main;
        QVERIFY(activate(main));
        RestoreZipView* screen = openRestore(main, 1);
        QVERIFY(screen);
        screen->editBackup(screen->listModel()->urlAt(0));
        QTRY_VERIFY(screen->commentEditor());
        QPlainTextEdit* editor = screen->commentEditor()->editor();
        QTRY_COMPARE(focused(), editor);
        QTest::keyClicks(editor, QStringLiteral(", neu"));
        QCOMPARE(editor->toPlainText(), old + QStringLiteral(", neu"));

        QTest::keyClicks(editor, QStringLiteral(" ") + QString(80, QLatin1Char('W')));
        QCOMPARE(editor->horizontalScrollBar()->maximum(), 0);
        QVERIFY(!editor->horizontalScrollBar()->isVisible());
        save(&main.window, QStringLiteral("edit-sheet"));
    }

    // A long comment's tooltip wraps within the screen instead of running off its edges.
    void longCommentToolTipWraps_data()
    {
        QTest::addColumn<QString>("comment");
        QTest::newRow("sentences") << QString(60, QLatin1Char('x')).replace(QLatin1Char('x'), QStringLiteral("Wort "));
        QTest::newRow("one long word") << QString(400, QLatin1Char('W'));
    }

    void longCommentToolTipWraps()
    {
        QFETCH(QString, comment);
        QVERIFY(writeFile(backup(QStringLiteral("2025-01-02_08-00-00")), "x"));
        QVERIFY(setFinderComment(backup(QStringLiteral("2025-01-02_08-00-00")), comment));
        MainScreen main;
        RestoreZipView* screen = openRestore(main, 1);
        QVERIFY(screen);
        BackupListView* list = screen->listView();
        const QRect row = list->visualRect(list->model()->index(0, 0));
        QHelpEvent help(QEvent::ToolTip, row.center(), list->viewport()->mapToGlobal(row.center()));
        QApplication::sendEvent(list->viewport(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QWidget* tip = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("QTipLabel") && widget->isVisible())
                tip = widget;
        }
        QVERIFY(tip);
        const QRect available = tip->screen()->availableGeometry();
        QVERIFY2(tip->width() <= available.width() / 2, qPrintable(QStringLiteral("%1 wide").arg(tip->width())));
        QVERIFY(tip->height() > 2 * tip->fontMetrics().height());
        QVERIFY(available.contains(tip->geometry()));
        save(tip,
             QStringLiteral("tooltip-") +
                 QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')));
        QToolTip::hideText();
    }
};

TARN_TEST_GUI_MAIN(TestBackupListAccess)
#include "TestBackupListAccess.moc"
