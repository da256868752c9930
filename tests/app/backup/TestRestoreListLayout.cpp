#include "app/backup/BackupListModel.h"
#include "app/backup/BackupListView.h"
#include "app/backup/RestoreZipView.h"
#include "core/archive/FinderComment.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "kit/inputs/WarningTextHelper.h"
#include "kit/theme/TarnColor.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/support/TestMain.h"

#include <QImage>

using namespace BackupScreens;

namespace {

// The list's viewport as drawn.
QImage drawn(BackupListView* list)
{
    QImage image(list->viewport()->size(), QImage::Format_ARGB32);
    list->viewport()->render(&image);
    return image;
}

// The first line of the image, within rect, that holds a pixel much darker than the background.
int firstInkLine(const QImage& image, const QRect& rect)
{
    for (int y = rect.top(); y <= rect.bottom() && y < image.height(); ++y) {
        for (int x = rect.left(); x <= rect.right() && x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 100)
                return y;
        }
    }
    return -1;
}

} // namespace

// The restore list as the eye sees it: rows evenly spaced whether they have a comment or not,
// legible comments on plain and selected rows, and no row hidden behind a warning.
class TestRestoreListLayout : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;

    // Eight backups; every other one has a comment of tall strokes.
    static bool makeBackups()
    {
        for (int day = 1; day <= 8; ++day) {
            const QString path =
                backupFolder() + QStringLiteral("/Backup_2025-01-%1_08-00-00.orlwen").arg(day, 2, 10, QLatin1Char('0'));
            if (!writeFile(path, "x"))
                return false;
            if (day % 2 == 0 && !setFinderComment(path, QStringLiteral("Illlll IIII llll HHHH")))
                return false;
        }
        return true;
    }

    static RestoreZipView* openRestore(MainScreen& main)
    {
        main.view->openSheet(BackupActionType::restore);
        auto* screen = main.screen<RestoreZipView>();
        if (!screen || !QTest::qWaitFor([&] {
                return screen->listModel()->rowCount() == 8 &&
                    screen->listView()->visualRect(screen->listModel()->index(7, 0)).isValid();
            }))
            return nullptr;
        QTest::qWait(50); // the list has laid out its rows
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
        QVERIFY(makeBackups());
    }

    // The dates stand at the same distance from row to row, with a comment under them or not.
    void rowsEvenlySpaced()
    {
        MainScreen main;
        RestoreZipView* screen = openRestore(main);
        QVERIFY(screen);
        BackupListView* list = screen->listView();
        const QImage image = drawn(list);
        QList<int> tops;
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const QRect rect = list->visualRect(list->model()->index(row, 0));
            if (rect.bottom() >= image.height())
                break;
            tops << firstInkLine(image, rect);
        }
        QVERIFY(tops.size() >= 3);
        for (int i = 1; i < tops.size(); ++i)
            QVERIFY2(tops[i] - tops[i - 1] == tops[1] - tops[0], qPrintable(QStringLiteral("date lines at %1").arg([&] {
                         QStringList text;
                         for (const int top : std::as_const(tops))
                             text << QString::number(top);
                         return text.join(u", ");
                     }())));
    }

    // A comment reaches a contrast of 4.5:1 with its row, plain and selected.
    void commentsLegible_data()
    {
        QTest::addColumn<bool>("selected");
        QTest::newRow("plain row") << false;
        QTest::newRow("selected row") << true;
    }
    void commentsLegible()
    {
        QFETCH(bool, selected);
        MainScreen main;
        RestoreZipView* screen = openRestore(main);
        QVERIFY(screen);
        BackupListView* list = screen->listView();
        const QModelIndex row = list->model()->index(0, 0); // the newest has a comment
        QVERIFY(row.data(BackupListModel::CommentRole).isValid());
        if (selected)
            list->setCurrentIndex(row);
        const QImage image = drawn(list);
        const QRect rect = list->visualRect(row);
        // The comment is the lower line of the row; the background shows at the row's right end.
        const QRect comment(rect.left() + 8, rect.center().y() + 2, 150, rect.bottom() - rect.center().y() - 4);
        const QColor background = image.pixelColor(rect.right() - 20, rect.center().y());
        QColor darkest = background;
        for (int y = comment.top(); y <= comment.bottom(); ++y) {
            for (int x = comment.left(); x <= comment.right(); ++x) {
                if (qGray(image.pixel(x, y)) < qGray(darkest.rgb()))
                    darkest = image.pixelColor(x, y);
            }
        }
        const qreal ratio = TarnColor::contrastRatio(darkest, background);
        QVERIFY2(ratio >= 4.5,
                 qPrintable(QStringLiteral("%1 on %2: %3:1").arg(darkest.name(), background.name()).arg(ratio)));
    }

    // While a warning shows, the list ends above it, so that its last row can be seen whole; the list
    // takes its room back when the warning goes.
    void warningCoversNoRow()
    {
        MainScreen main;
        RestoreZipView* screen = openRestore(main);
        QVERIFY(screen);
        BackupListView* list = screen->listView();
        const int fullHeight = list->height();
        screen->model()->setWarningText(QStringLiteral(
            "Der Schlüsselbund hat abgelehnt. Versuche es erneut. Meldung des Systems: Access to the secrets is "
            "denied by the policy of the keyring daemon (org.freedesktop.DBus.Error.AccessDenied)"));
        WarningTextHelper* band = screen->warningView();
        QTRY_VERIFY(band->isBandVisible() && band->height() > 0);
        QTRY_VERIFY(list->geometry().bottom() < band->geometry().top());
        const QModelIndex last = list->model()->index(list->model()->rowCount() - 1, 0);
        list->scrollTo(last);
        const QRect lastRow = list->visualRect(last);
        const QPoint lastBottom = list->viewport()->mapTo(screen, lastRow.bottomLeft());
        QVERIFY2(lastBottom.y() < band->geometry().top(),
                 qPrintable(QStringLiteral("last row ends at %1, the band begins at %2")
                                .arg(lastBottom.y())
                                .arg(band->geometry().top())));
        QCOMPARE(screen->height(), fullHeight);

        screen->model()->setWarningText(QString());
        QTRY_VERIFY(!band->isBandVisible());
        QTRY_COMPARE(list->height(), fullHeight);
    }
};

TARN_TEST_GUI_MAIN(TestRestoreListLayout)
#include "TestRestoreListLayout.moc"
