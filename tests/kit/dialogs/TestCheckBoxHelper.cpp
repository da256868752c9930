#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/theme/TarnColor.h"
#include "tests/support/TestMain.h"

#include <QSettings>
#include <QSignalSpy>

class TestCheckBoxHelper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QSettings().remove(QStringLiteral("iconColor")); }

    // Two clicks 0.2 s apart flip once; 0.6 s apart twice.
    void lockAfterEachFlip_data()
    {
        QTest::addColumn<int>("gap");
        QTest::addColumn<bool>("finalValue");
        QTest::addColumn<int>("flips");
        QTest::newRow("0.2 s apart") << 200 << true << 1;
        QTest::newRow("0.499 s apart") << 499 << true << 1;
        QTest::newRow("0.5 s apart") << 500 << false << 2;
        QTest::newRow("0.6 s apart") << 600 << false << 2;
    }

    void lockAfterEachFlip()
    {
        QFETCH(int, gap);
        QFETCH(bool, finalValue);
        QFETCH(int, flips);
        qint64 now = 1000;
        CheckBoxHelper box(QStringLiteral("Bestätigen"), 15, false, std::nullopt);
        box.setClock([&now] { return now; });
        box.show();
        QSignalSpy toggled(&box, &CheckBoxHelper::toggled);
        QTest::mouseClick(&box, Qt::LeftButton);
        QVERIFY(box.selection());
        QVERIFY(!box.isToggleEnabled());
        now += gap;
        QTest::mouseClick(&box, Qt::LeftButton);
        QCOMPARE(box.selection(), finalValue);
        QCOMPARE(toggled.count(), flips);
    }

    // With the real clock: the lock lifts by itself after the interval.
    void lockLiftsWithTheRealClock()
    {
        CheckBoxHelper box(QString(), 15, false, std::nullopt);
        box.setLockInterval(50);
        box.show();
        QTest::mouseClick(&box, Qt::LeftButton);
        QTest::mouseClick(&box, Qt::LeftButton);
        QVERIFY(box.selection());
        QTRY_VERIFY(box.isToggleEnabled());
        QTest::mouseClick(&box, Qt::LeftButton);
        QVERIFY(!box.selection());
    }

    void ownerChangesRedrawWithoutLocking()
    {
        CheckBoxHelper box(QStringLiteral("Bestätigen"), 15, false, std::nullopt);
        box.show();
        QSignalSpy changed(&box, &CheckBoxHelper::selectionChanged);
        QSignalSpy toggled(&box, &CheckBoxHelper::toggled);
        const QImage unticked = box.grab().toImage();
        box.setSelection(true);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(toggled.count(), 0);
        QCOMPARE(box.symbolName(), QStringLiteral("checkmark.circle.fill"));
        QVERIFY(box.grab().toImage() != unticked);
        QVERIFY(box.isToggleEnabled());
        QTest::mouseClick(&box, Qt::LeftButton);
        QVERIFY(!box.selection());
        QCOMPARE(box.symbolName(), QStringLiteral("circle"));
        QCOMPARE(box.grab().toImage(), unticked);
    }

    void clickOnTheLabelFlips()
    {
        qint64 now = 0;
        CheckBoxHelper box(QStringLiteral("Vor dem Löschen bestätige, dass du einverstanden bist."), 15, false,
                           std::nullopt);
        box.setClock([&now] { return now; });
        box.show();
        QVERIFY(box.width() > 100);
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(box.width() - 3, box.height() / 2));
        QVERIFY(box.selection());
        now += 1000;
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(18, box.height() / 2)); // between symbol and text
        QVERIFY(!box.selection());
    }

    void withoutTitleOnlyTheSymbol()
    {
        CheckBoxHelper box(QString(), 20, false, std::nullopt);
        QCOMPARE(box.sizeHint(), QSize(20, 20));
        box.show();
        QTest::mouseClick(&box, Qt::LeftButton);
        QVERIFY(box.selection());
    }

    void symbolColour()
    {
        CheckBoxHelper accent(QString(), 15, true, std::nullopt);
        QCOMPARE(accent.symbolColor().rgb(), TarnColor::accentColor().rgb());

        CheckBoxHelper own(QString(), 15, true, QColor(Qt::green));
        QCOMPARE(own.symbolColor(), QColor(Qt::green));

        QSettings().setValue(QStringLiteral("iconColor"), QStringLiteral("FF0000"));
        CheckBoxHelper preference(QString(), 15, true, std::nullopt);
        QCOMPARE(preference.symbolColor(), QColor(255, 0, 0));
        preference.resize(15, 15);
        const QImage image = preference.grab().toImage();
        QCOMPARE(QColor(image.pixel(7, 4)).rgb(), QColor(255, 0, 0).rgb());
    }
};

TARN_TEST_GUI_MAIN(TestCheckBoxHelper)
#include "TestCheckBoxHelper.moc"
