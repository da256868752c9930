#include "kit/controls/RestoreButtonView.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"
#include "tests/support/TestMain.h"
#include "tests/support/WidgetEvents.h"

#include <QEnterEvent>
#include <QSignalSpy>

namespace {

} // namespace

class TestRestoreButtonView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Motion::setDefaultDuration(0); }

    void colourDefaultsToAccent()
    {
        RestoreButtonView plain(QStringLiteral("tray.and.arrow.down"), QStringLiteral("Erstellen"),
                                QStringLiteral("Ein neues Backup wird erstellt"), std::nullopt, {});
        QCOMPARE(plain.rowColor(), TarnColor::accentColor());
        RestoreButtonView red(QStringLiteral("trash"), QStringLiteral("Löschen"), QString(), TarnColor::red(), {});
        QCOMPARE(red.rowColor(), TarnColor::red());
    }

    void hoverChangesAndReturns()
    {
        RestoreButtonView row(QStringLiteral("trash"), QStringLiteral("Löschen"),
                              QStringLiteral("Alle App-Daten löschen"), std::nullopt, [] {});
        row.show();
        QCOMPARE(row.symbolSize(), 25.0);
        QCOMPARE(row.diskSize(), 58.0);
        QCOMPARE(row.textOffset(), 0.0);
        QCOMPARE(row.backgroundOpacity(), 0.6);
        const QImage rest = row.grab().toImage();

        hover(&row, true);
        QVERIFY(row.isHover());
        QCOMPARE(row.symbolSize(), 40.0);
        QCOMPARE(row.diskSize(), 70.0);
        QCOMPARE(row.textOffset(), -5.0);
        QCOMPARE(row.backgroundOpacity(), 0.8);
        QVERIFY(row.grab().toImage() != rest);

        hover(&row, false);
        QVERIFY(!row.isHover());
        QCOMPARE(row.symbolSize(), 25.0);
        QCOMPARE(row.diskSize(), 58.0);
        QCOMPARE(row.textOffset(), 0.0);
        QCOMPARE(row.backgroundOpacity(), 0.6);
        QCOMPARE(row.grab().toImage(), rest);
    }

    void hoverAnimatesBothWays()
    {
        Motion::setDefaultDuration(40);
        RestoreButtonView row(QStringLiteral("trash"), QStringLiteral("Löschen"), QString(), std::nullopt, {});
        row.show();
        hover(&row, true);
        QVERIFY(row.hoverProgress() < 1.0);
        QTRY_COMPARE(row.hoverProgress(), 1.0);
        // Leaving quickly, mid-way back: it ends at rest.
        hover(&row, false);
        hover(&row, true);
        hover(&row, false);
        QTRY_COMPARE(row.hoverProgress(), 0.0);
        QCOMPARE(row.symbolSize(), 25.0);
    }

    void clickRunsTheAction()
    {
        int calls = 0;
        RestoreButtonView row(QStringLiteral("tray.and.arrow.up"), QStringLiteral("Wiederherstellen"),
                              QStringLiteral("Backup wiederherstellen oder bearbeiten"), std::nullopt,
                              [&calls] { ++calls; });
        row.show();
        QTest::mouseClick(&row, Qt::LeftButton, {}, QPoint(30, row.height() / 2));
        QTest::mouseClick(&row, Qt::LeftButton, {}, QPoint(row.width() - 20, row.height() / 2));
        QCOMPARE(calls, 2);
        QTest::mouseClick(&row, Qt::RightButton);
        QCOMPARE(calls, 2);
    }

    void withoutActionOnlyHovers()
    {
        RestoreButtonView row(QStringLiteral("gearshape.2.fill"), QStringLiteral("Einstellungen"),
                              QStringLiteral("Backup-Einstellungen bearbeiten"), std::nullopt, {});
        row.show();
        QVERIFY(!row.hasAction());
        QSignalSpy clicked(&row, &RestoreButtonView::clicked);
        QTest::mouseClick(&row, Qt::LeftButton);
        QCOMPARE(clicked.count(), 0);
        hover(&row, true);
        QVERIFY(row.isHover());
    }

    void size()
    {
        RestoreButtonView shortRow(QStringLiteral("trash"), QStringLiteral("Löschen"), QStringLiteral("kurz"),
                                   std::nullopt, {});
        // 300 wide plus 1 leading and 10 trailing; the 70 badge plus 2 above and below.
        QCOMPARE(shortRow.sizeHint(), QSize(311, 74));
        RestoreButtonView longRow(QStringLiteral("trash"), QStringLiteral("Löschen"),
                                  QStringLiteral("Ein sehr langer Untertitel, der weit über zwei Zeilen hinaus geht "
                                                 "und deshalb nach der zweiten Zeile abgeschnitten wird."),
                                  std::nullopt, {});
        QCOMPARE(longRow.sizeHint(), QSize(311, 74));
    }
};

TARN_TEST_GUI_MAIN(TestRestoreButtonView)
#include "TestRestoreButtonView.moc"
