#include "kit/theme/TarnColor.h"
#include "tests/support/TestMain.h"

#include <QGuiApplication>
#include <QPalette>
#include <QSettings>

class TestTarnColor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void toHex_data()
    {
        QTest::addColumn<QColor>("color");
        QTest::addColumn<QString>("hex");
        QTest::newRow("opaque red") << QColor(255, 0, 0) << "FF0000";
        QTest::newRow("red at half opacity") << QColor::fromRgbF(1, 0, 0, 0.5) << "FF000080";
        QTest::newRow("upper case") << QColor(0xab, 0xcd, 0xef) << "ABCDEF";
        QTest::newRow("transparent") << QColor(0x12, 0x34, 0x56, 0) << "12345600";
        QTest::newRow("no components") << QColor() << "5856D6";
        QTest::newRow("hsv is converted") << QColor::fromHsv(0, 255, 255) << "FF0000";
        QTest::newRow("extended range is clamped") << QColor::fromRgbF(1.25f, -0.5f, 0.5f) << "FF0080";
    }

    void toHex()
    {
        QFETCH(QColor, color);
        QFETCH(QString, hex);
        QCOMPARE(TarnColor::toHex(color), hex);
    }

    void fromHex_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QColor>("color");
        QTest::newRow("RRGGBB") << "FF0000" << QColor(255, 0, 0, 255);
        QTest::newRow("lower case") << "00ff7f" << QColor(0, 255, 127, 255);
        QTest::newRow("RGB with blanks around") << " fff " << QColor(255, 255, 255, 255);
        QTest::newRow("RGB digits doubled") << "a1c" << QColor(0xaa, 0x11, 0xcc, 255);
        QTest::newRow("newline trimmed") << "\n0000FF\n" << QColor(0, 0, 255, 255);
        QTest::newRow("AARRGGBB, alpha first") << "FF000080" << QColor(0x00, 0x00, 0x80, 0xFF);
        QTest::newRow("AARRGGBB half alpha") << "80FF0000" << QColor(0xFF, 0x00, 0x00, 0x80);
        QTest::newRow("number sign: 7 characters") << "#FF0000" << QColor(1, 1, 0, 1);
        QTest::newRow("empty") << "" << QColor(1, 1, 0, 1);
        QTest::newRow("5 digits") << "12345" << QColor(1, 1, 0, 1);
        QTest::newRow("not hex, 6 characters") << "zzzzzz" << QColor(0, 0, 0, 255);
        QTest::newRow("not hex, 3 characters") << "xyz" << QColor(0, 0, 0, 255);
        QTest::newRow("not hex, 8 characters") << "nothex!!" << QColor(0, 0, 0, 0);
        QTest::newRow("scan stops at a non-digit") << "12zz56" << QColor(0, 0, 0x12, 255);
        QTest::newRow("0x prefix scans") << "0x1234" << QColor(0, 0x12, 0x34, 255);
    }

    void fromHex()
    {
        QFETCH(QString, hex);
        QFETCH(QColor, color);
        const QColor parsed = TarnColor::fromHex(hex);
        QCOMPARE(parsed.rgba(), color.rgba());
    }

    // Opaque colours survive the round trip; 8 digits are written alpha last and read alpha first.
    void roundTrips()
    {
        for (const QString& hex :
             {QStringLiteral("5856D6"), QStringLiteral("000000"), QStringLiteral("FFFFFF"), QStringLiteral("0A0B0C")})
            QCOMPARE(TarnColor::toHex(TarnColor::fromHex(hex)), hex);
        QCOMPARE(TarnColor::toHex(TarnColor::fromHex(TarnColor::toHex(QColor::fromRgbF(1, 0, 0, 0.5)))),
                 QStringLiteral("000080"));
    }

    void sharedColoursComeFromThePalette()
    {
        const QPalette palette = QGuiApplication::palette();
        QCOMPARE(TarnColor::windowBackgroundColor(), palette.color(QPalette::Active, QPalette::Window));
        QCOMPARE(TarnColor::controlBackgroundColor(), palette.color(QPalette::Active, QPalette::Base));
        QCOMPARE(TarnColor::textColor(), palette.color(QPalette::Active, QPalette::Text));
        // Made once: a later palette change does not alter them.
        QPalette changed = palette;
        changed.setColor(QPalette::Window, Qt::magenta);
        QGuiApplication::setPalette(changed);
        QCOMPARE(TarnColor::windowBackgroundColor(), palette.color(QPalette::Active, QPalette::Window));
        QGuiApplication::setPalette(palette);
    }

    void iconColorPreference()
    {
        QSettings settings;
        settings.remove(QStringLiteral("iconColor"));
        QCOMPARE(TarnColor::iconColorHex(), TarnColor::toHex(TarnColor::accentColor()));
        QCOMPARE(TarnColor::iconColor().rgb(), TarnColor::accentColor().rgb());

        settings.setValue(QStringLiteral("iconColor"), QStringLiteral("00FF00"));
        QCOMPARE(TarnColor::iconColorHex(), QStringLiteral("00FF00"));
        QCOMPARE(TarnColor::iconColor(), QColor(0, 255, 0));

        // A value of another type counts as absent.
        settings.setValue(QStringLiteral("iconColor"), 42);
        QCOMPARE(TarnColor::iconColorHex(), TarnColor::toHex(TarnColor::accentColor()));
        settings.remove(QStringLiteral("iconColor"));
    }

    // Contrast ratios as WCAG computes them, and the opacity a colour needs to reach 4.5:1.
    void contrast_data()
    {
        QTest::addColumn<QColor>("foreground");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<double>("ratio");
        QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
        QTest::newRow("white on white") << QColor(Qt::white) << QColor(Qt::white) << 1.0;
        QTest::newRow("#A6A6A6 on white") << QColor(0xA6, 0xA6, 0xA6) << QColor(Qt::white) << 2.43;
        QTest::newRow("#767676 on white") << QColor(0x76, 0x76, 0x76) << QColor(Qt::white) << 4.54;
    }
    void contrast()
    {
        QFETCH(QColor, foreground);
        QFETCH(QColor, background);
        QFETCH(double, ratio);
        QVERIFY(qAbs(TarnColor::contrastRatio(foreground, background) - ratio) < 0.01);
        QVERIFY(qAbs(TarnColor::contrastRatio(background, foreground) - ratio) < 0.01);

        const QColor faint = TarnColor::withOpacity(QColor(Qt::black), 0.35);
        const QList<QColor> backgrounds{QColor(Qt::white), QColor(0xCB, 0xE2, 0xF1)};
        const QColor legible = TarnColor::legibleOn(faint, backgrounds);
        QVERIFY(legible.alpha() > faint.alpha());
        for (const QColor& back : backgrounds)
            QVERIFY(TarnColor::contrastRatio(TarnColor::over(legible, back), back) >= 4.5);
    }
};

TARN_TEST_GUI_MAIN(TestTarnColor)
#include "TestTarnColor.moc"
