#include "kit/controls/TrendyButtonHelper.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"
#include "tests/support/TestMain.h"
#include "tests/support/WidgetEvents.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QSignalSpy>

namespace {

TrendyButtonHelper::Fields fields(std::optional<QString> text = QStringLiteral("OK"))
{
    TrendyButtonHelper::Fields f;
    f.text = std::move(text);
    f.buttonColor = QColor(20, 120, 220);
    f.textColor = TarnColor::controlBackgroundColor();
    f.imgSize = 18;
    f.font = TarnFont::roboto_bold14;
    f.padding = 10;
    f.minWidth = 0;
    return f;
}

} // namespace

class TestTrendyButtonHelper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Motion::setDefaultDuration(0); }

    void fills_data()
    {
        QTest::addColumn<bool>("disabled");
        QTest::addColumn<bool>("hovered");
        QTest::addColumn<bool>("withColor");
        QTest::addColumn<QColor>("fill");
        const QColor color(20, 120, 220);
        const QColor accent = TarnColor::accentColor();
        const QColor grey = TarnColor::withOpacity(TarnColor::secondary(), 0.4);
        QTest::newRow("normal") << false << false << true << color;
        QTest::newRow("hovered") << false << true << true << TarnColor::withOpacity(color, 0.8);
        QTest::newRow("accent when no colour") << false << false << false << accent;
        QTest::newRow("accent hovered") << false << true << false << TarnColor::withOpacity(accent, 0.8);
        QTest::newRow("disabled") << true << false << true << grey;
        QTest::newRow("disabled hovered") << true << true << true << grey;
    }

    void fills()
    {
        QFETCH(bool, disabled);
        QFETCH(bool, hovered);
        QFETCH(bool, withColor);
        QFETCH(QColor, fill);
        auto f = fields();
        if (!withColor)
            f.buttonColor.reset();
        f.isDisabled = disabled;
        TrendyButtonHelper button(f);
        button.show();
        hover(&button, hovered);
        QCOMPARE(button.isHovered(), hovered);
        QCOMPARE(button.fillColor(), fill);
    }

    // The fill is what is painted: an opaque fill shows as is at the button's edge.
    void paintsTheFill()
    {
        TrendyButtonHelper button(fields());
        button.show();
        const QImage image = button.grab().toImage();
        QCOMPARE(QColor(image.pixel(3, image.height() / 2)), QColor(20, 120, 220));
    }

    void pressingDims()
    {
        TrendyButtonHelper button(fields());
        button.show();
        QTest::mousePress(&button, Qt::LeftButton);
        QVERIFY(button.isPressed());
        QCOMPARE(button.pressOpacity(), 0.5);
        QTest::mouseRelease(&button, Qt::LeftButton);
        QVERIFY(!button.isPressed());
        QCOMPARE(button.pressOpacity(), 1.0);
    }

    void pressingAnimates()
    {
        Motion::setDefaultDuration(40);
        TrendyButtonHelper button(fields());
        button.show();
        QTest::mousePress(&button, Qt::LeftButton);
        QTRY_COMPARE(button.pressOpacity(), 0.5);
        QTest::mouseRelease(&button, Qt::LeftButton);
        QTRY_COMPARE(button.pressOpacity(), 1.0);
        Motion::setDefaultDuration(0);
    }

    void disabledIgnoresPressAndClick()
    {
        auto f = fields();
        int calls = 0;
        f.callback = [&calls] { ++calls; };
        f.isDisabled = true;
        TrendyButtonHelper button(f);
        button.show();
        QTest::mousePress(&button, Qt::LeftButton);
        QVERIFY(!button.isPressed());
        QCOMPARE(button.pressOpacity(), 1.0);
        QTest::mouseRelease(&button, Qt::LeftButton);
        button.trigger();
        QCOMPARE(calls, 0);

        button.setIsDisabled(false);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(calls, 1);
    }

    void oneCallbackPerClick()
    {
        auto f = fields();
        int calls = 0;
        f.callback = [&calls] { ++calls; };
        TrendyButtonHelper button(f);
        button.show();
        QSignalSpy clicked(&button, &TrendyButtonHelper::clicked);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(calls, 1);
        QCOMPARE(clicked.count(), 1);

        // A double click is two clicks: press, release, double-click press, release.
        const QPointF at(button.width() / 2.0, button.height() / 2.0);
        QTest::mouseClick(&button, Qt::LeftButton, {}, at.toPoint());
        QMouseEvent doublePress(QEvent::MouseButtonDblClick, at, button.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                                Qt::NoModifier);
        QCoreApplication::sendEvent(&button, &doublePress);
        QVERIFY(button.isPressed());
        QTest::mouseRelease(&button, Qt::LeftButton, {}, at.toPoint());
        QCOMPARE(calls, 3);
        QCOMPARE(clicked.count(), 3);

        // Released outside: no click. Right button: no click.
        QTest::mousePress(&button, Qt::LeftButton);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(button.width() + 5, 2));
        QTest::mouseClick(&button, Qt::RightButton);
        QCOMPARE(calls, 3);
    }

    void countdownText_data()
    {
        QTest::addColumn<int>("timer");
        QTest::addColumn<QString>("text");
        QTest::newRow("negative") << -3 << "";
        QTest::newRow("zero") << 0 << "";
        QTest::newRow("one") << 1 << "(1)";
        QTest::newRow("two digits") << 42 << "(42)";
    }

    void countdownText()
    {
        QFETCH(int, timer);
        QFETCH(QString, text);
        auto f = fields();
        TrendyButtonHelper button(f);
        const int widthWithout = button.sizeHint().width();
        button.setTimer(timer);
        QCOMPARE(button.countdownText(), text);
        if (text.isEmpty())
            QCOMPARE(button.sizeHint().width(), widthWithout);
        else
            QVERIFY(button.sizeHint().width() > widthWithout + 3);
    }

    // Widths: icon, gap of 5 when a text is present (even empty), text, padding + 2 on each side.
    void layoutOfIconAndText_data()
    {
        QTest::addColumn<bool>("withText");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("bitmap");
        QTest::addColumn<int>("width");
        // padding 10: 12 on each side.
        QTest::newRow("symbol, empty text: gap kept") << true << "" << false << 24 + 30 + 5;
        QTest::newRow("symbol, no text: no gap") << false << "" << false << 24 + 30;
        QTest::newRow("bitmap is always 18") << false << "" << true << 24 + 18;
        QTest::newRow("bitmap, empty text") << true << "" << true << 24 + 18 + 5;
    }

    void layoutOfIconAndText()
    {
        QFETCH(bool, withText);
        QFETCH(QString, text);
        QFETCH(bool, bitmap);
        QFETCH(int, width);
        auto f = fields(withText ? std::optional<QString>(text) : std::nullopt);
        f.imgSize = 30;
        if (bitmap) {
            QPixmap image(64, 64);
            image.fill(Qt::red);
            f.nsImage = image;
        } else {
            f.iconName = QStringLiteral("folder");
        }
        TrendyButtonHelper button(f);
        QCOMPARE(button.sizeHint().width(), width);
    }

    void minWidthHoldsTheText()
    {
        auto f = fields(QStringLiteral("a"));
        f.minWidth = 200;
        TrendyButtonHelper button(f);
        QCOMPARE(button.sizeHint().width(), 200 + 24);
    }

    void smallPaddingShrinksVertically()
    {
        auto f = fields(std::nullopt);
        f.padding = 1;
        TrendyButtonHelper button(f);
        // Nothing inside, insets of -1 top and bottom: no height.
        QCOMPARE(button.sizeHint().height(), 0);
    }

    void symbolWinsOverBitmap()
    {
        auto f = fields(std::nullopt);
        f.iconName = QStringLiteral("trash");
        f.imgSize = 40;
        QPixmap image(10, 10);
        image.fill(Qt::red);
        f.nsImage = image;
        TrendyButtonHelper button(f);
        QCOMPARE(button.sizeHint().width(), 24 + 40);
        button.show();
        const QImage shot = button.grab().toImage();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                QVERIFY(QColor(shot.pixel(x, y)) != QColor(Qt::red));
    }
};

TARN_TEST_GUI_MAIN(TestTrendyButtonHelper)
#include "TestTrendyButtonHelper.moc"
