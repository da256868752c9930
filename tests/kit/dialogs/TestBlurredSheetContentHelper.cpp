#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/BlurredSheetContentHelper.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"
#include "tests/support/TestMain.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>

namespace {

struct Calls
{
    int left = 0;
    QList<bool> middle;
    int right = 0;
};

BlurredSheetContentHelper::Fields fields(Calls* calls, bool withRight)
{
    BlurredSheetContentHelper::Fields f;
    f.header = new QLabel(QStringLiteral("Backup erstellen"));
    f.content = new QLabel(QStringLiteral("Inhalt"));
    f.maxViewWidth = 500;
    f.minWidth = 100;
    f.alignment = Qt::AlignCenter;
    f.textLeft = [] { return QStringLiteral("Abbrechen"); };
    f.textMiddle = [] { return QStringLiteral("Erstellen"); };
    f.textRight = [] { return QStringLiteral("Weitere"); };
    f.callbackLeft = [calls] { ++calls->left; };
    f.callbackMiddle = [calls](bool value) { calls->middle << value; };
    if (withRight)
        f.callbackRight = [calls] { ++calls->right; };
    return f;
}

} // namespace

class TestBlurredSheetContentHelper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Motion::setDefaultDuration(0); }

    void threeButtons()
    {
        Calls calls;
        BlurredSheetContentHelper sheet(fields(&calls, true));
        sheet.show();
        QVERIFY(sheet.rightButton());
        QCOMPARE(sheet.leftButton()->fields().text, std::optional<QString>(QStringLiteral("Abbrechen")));
        QCOMPARE(sheet.middleButton()->fields().text, std::optional<QString>(QStringLiteral("Erstellen")));
        QCOMPARE(sheet.rightButton()->fields().text, std::optional<QString>(QStringLiteral("Weitere")));

        // Left red, middle and right the accent colour; the right one smaller.
        QCOMPARE(sheet.leftButton()->fillColor(), TarnColor::red());
        QCOMPARE(sheet.middleButton()->fillColor(), TarnColor::accentColor());
        QCOMPARE(sheet.rightButton()->fillColor(), TarnColor::accentColor());
        QCOMPARE(sheet.middleButton()->fields().font, TarnFont(TarnFont::roboto_bold14));
        QCOMPARE(sheet.rightButton()->fields().font, TarnFont(TarnFont::roboto_regular14));
        QCOMPARE(sheet.rightButton()->fields().padding, 5.0);
        QCOMPARE(sheet.leftButton()->fields().minWidth, 100.0);

        QTest::mouseClick(sheet.leftButton(), Qt::LeftButton);
        QTest::mouseClick(sheet.middleButton(), Qt::LeftButton);
        QTest::mouseClick(sheet.rightButton(), Qt::LeftButton);
        QCOMPARE(calls.left, 1);
        QCOMPARE(calls.middle, QList<bool>{false});
        QCOMPARE(calls.right, 1);
        // In a row, left to right.
        QVERIFY(sheet.leftButton()->x() < sheet.middleButton()->x());
        QVERIFY(sheet.middleButton()->x() < sheet.rightButton()->x());
    }

    void twoButtonsWithoutRightCallback()
    {
        Calls calls;
        bool rightTextRead = false;
        auto f = fields(&calls, false);
        f.textRight = [&rightTextRead] {
            rightTextRead = true;
            return QString();
        };
        BlurredSheetContentHelper sheet(f);
        QVERIFY(!sheet.rightButton());
        QVERIFY(!rightTextRead);
    }

    void disabledMiddleButton()
    {
        Calls calls;
        auto f = fields(&calls, false);
        f.isMiddleDisabled = true;
        BlurredSheetContentHelper sheet(f);
        sheet.show();
        sheet.setFocus();
        QVERIFY(sheet.middleButton()->isDisabled());
        QTest::mouseClick(sheet.middleButton(), Qt::LeftButton);
        QTest::keyClick(&sheet, Qt::Key_Return);
        QVERIFY(calls.middle.isEmpty());

        sheet.setMiddleDisabled(false);
        QTest::keyClick(&sheet, Qt::Key_Return);
        QTest::keyClick(&sheet, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(calls.middle, (QList<bool>{false, false}));
        QCOMPARE(calls.left, 0);
    }

    // Escape does what the left button does; Return in a field of the content runs the middle one.
    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("inField");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("middle");
        QTest::newRow("Escape on the sheet") << int(Qt::Key_Escape) << false << 1 << 0;
        QTest::newRow("Escape in a field") << int(Qt::Key_Escape) << true << 1 << 0;
        QTest::newRow("Return in a field") << int(Qt::Key_Return) << true << 0 << 1;
    }

    void keys()
    {
        QFETCH(int, key);
        QFETCH(bool, inField);
        QFETCH(int, left);
        QFETCH(int, middle);
        Calls calls;
        auto f = fields(&calls, false);
        auto* field = new QLineEdit;
        f.content = field;
        BlurredSheetContentHelper sheet(f);
        sheet.show();
        QWidget* target = inField ? static_cast<QWidget*>(field) : &sheet;
        target->setFocus();
        QTest::keyClick(target, Qt::Key(key));
        QCOMPARE(calls.left, left);
        QCOMPARE(calls.middle.size(), middle);
    }

    // The middle callback gets the check box's current value.
    void checkBoxValueGoesToTheMiddleButton()
    {
        Calls calls;
        auto f = fields(&calls, false);
        f.textCheckBox = QStringLiteral("Vor dem Löschen bestätige, dass du einverstanden bist.");
        BlurredSheetContentHelper sheet(f);
        sheet.show();
        QVERIFY(sheet.checkBox());
        QVERIFY(!sheet.checkBoxSelection());
        QCOMPARE(sheet.checkBox()->symbolSize(), 15.0);
        QTest::mouseClick(sheet.middleButton(), Qt::LeftButton);
        QTest::mouseClick(sheet.checkBox(), Qt::LeftButton);
        QVERIFY(sheet.checkBoxSelection());
        QTest::mouseClick(sheet.middleButton(), Qt::LeftButton);
        QCOMPARE(calls.middle, (QList<bool>{false, true}));
        // The box does not gate the button.
        QVERIFY(!sheet.middleButton()->isDisabled());
    }

    void withoutHeaderOrCheckBox()
    {
        Calls calls;
        auto f = fields(&calls, false);
        delete f.header;
        f.header = nullptr;
        BlurredSheetContentHelper sheet(f);
        sheet.show();
        QVERIFY(!sheet.header());
        QVERIFY(!sheet.checkBox());
        // The content starts at the top edge.
        QCOMPARE(f.content->y(), 0);
        // The bar keeps its vertical padding of 15 around the buttons.
        QCOMPARE(sheet.height() - sheet.middleButton()->mapTo(&sheet, QPoint(0, 0)).y() -
                     sheet.middleButton()->height(),
                 15);
    }

    void scrollableContent()
    {
        Calls calls;
        auto f = fields(&calls, false);
        f.isScrollable = true;
        BlurredSheetContentHelper scrolling(f);
        QVERIFY(scrolling.scrollArea());
        QCOMPARE(scrolling.scrollArea()->widget(), f.content);
        BlurredSheetContentHelper plain(fields(&calls, false));
        QVERIFY(!plain.scrollArea());
    }

    void textsAreReadAgain()
    {
        Calls calls;
        QString middle = QStringLiteral("Erstellen");
        auto f = fields(&calls, false);
        f.textMiddle = [&middle] { return middle; };
        BlurredSheetContentHelper sheet(f);
        middle = QStringLiteral("Speichern");
        sheet.refreshTexts();
        QCOMPARE(sheet.middleButton()->fields().text, std::optional<QString>(QStringLiteral("Speichern")));
    }

    void defaultTexts()
    {
        BlurredSheetContentHelper::Fields f;
        f.textMiddle = [] { return QStringLiteral("OK"); };
        f.callbackRight = [] {};
        BlurredSheetContentHelper sheet(f);
        QCOMPARE(sheet.leftButton()->fields().text, std::optional<QString>(QStringLiteral("Abbrechen")));
        QCOMPARE(sheet.rightButton()->fields().text, std::optional<QString>(QStringLiteral("additional")));
        // No callbacks: clicks do nothing and do not crash.
        sheet.show();
        QTest::mouseClick(sheet.leftButton(), Qt::LeftButton);
        QTest::mouseClick(sheet.middleButton(), Qt::LeftButton);
    }

    void maximumWidth()
    {
        Calls calls;
        auto f = fields(&calls, false);
        f.maxViewWidth = 320;
        f.content->setMinimumWidth(600);
        BlurredSheetContentHelper sheet(f);
        QCOMPARE(sheet.maximumWidth(), 320);
    }
};

TARN_TEST_GUI_MAIN(TestBlurredSheetContentHelper)
#include "TestBlurredSheetContentHelper.moc"
