#include "kit/theme/FontFaces.h"
#include "kit/theme/TarnFont.h"
#include "tests/support/TestMain.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGlyphRun>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QRawFont>
#include <QSet>
#include <QTextLayout>
#include <QToolTip>

namespace {

// Hides every face for the life of the guard, as on a system without the app's fonts.
struct NoFaces
{
    NoFaces()
    {
        FontFaces::setAvailabilityFilter([](const QString&) { return false; });
    }
    ~NoFaces() { FontFaces::setAvailabilityFilter({}); }
};

// Pixels of a clear colour (not grey), as a colour emoji has and a black outline or box has not.
int colouredPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 128 && c.hsvSaturation() > 100 && c.value() > 100)
                ++count;
        }
    }
    return count;
}

// The installed family that the platform's system font stands for.
QString systemFamily()
{
    return QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).family();
}

bool isThin(const QFont& font)
{
    return font.weight() < QFont::Light;
}

} // namespace

class TestTarnFont : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Emoji in comments and the erase sheet's warning sign come in colour from the text fonts'
    // fallback, not as boxes or outlines.
    void emojiDrawInColour_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("face");
        QTest::newRow("erase sheet title") << QStringLiteral("\u26A0\uFE0F App-Daten löschen") << "Roboto-Bold";
        QTest::newRow("comment") << QStringLiteral("Urlaub \U0001F3D6\uFE0F \U0001F600") << "Roboto-Regular";
        QTest::newRow("skin tone") << QStringLiteral("Danke \U0001F44D\U0001F3FD") << "Roboto-Regular";
    }

    void emojiDrawInColour()
    {
        QFETCH(QString, text);
        QFETCH(QString, face);
        const QFont font = FontFaces::faceOrSystem(face, 16, QFont::Normal);
        QImage image(400, 40, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, text);
        }
        QVERIFY2(colouredPixels(image) > 20,
                 qPrintable(QStringLiteral("%1 coloured pixels").arg(colouredPixels(image))));
    }

    void indexesAndNames_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("face");
        QTest::newRow("first") << 0 << "roboto_thin7"
                               << "Roboto-Thin";
        QTest::newRow("bold italic 7") << 4 << "roboto_boldItalic7"
                                       << "Roboto-BoldItalic";
        QTest::newRow("thin 8") << 5 << "roboto_thin8"
                                << "Roboto-Thin";
        QTest::newRow("regular 13") << 31 << "roboto_regular13"
                                    << "Roboto-Regular";
        QTest::newRow("last roboto") << 89 << "roboto_boldItalic48"
                                     << "Roboto-BoldItalic";
        QTest::newRow("first helvetica") << 90 << "helvetica_light7"
                                         << "Helvetica Light";
        QTest::newRow("helvetica regular 12") << 111 << "helvetica_regular12"
                                              << "Helvetica";
        QTest::newRow("helvetica bold 20") << 133 << "helvetica_bold20"
                                           << "Helvetica Bold";
        QTest::newRow("last") << 149 << "helvetica_boldItalic28"
                              << "Helvetica Bold Italic";
    }

    void indexesAndNames()
    {
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(QString, face);
        const TarnFont font = TarnFont::fromIndex(index);
        QCOMPARE(font.index(), index);
        QCOMPARE(font.name(), name);
        QCOMPARE(font.faceName(), face);
    }

    void enumeratorsMatchTheirNames()
    {
        QCOMPARE(TarnFont(TarnFont::roboto_regular13).index(), 31);
        QCOMPARE(TarnFont(TarnFont::roboto_bold14).name(), QStringLiteral("roboto_bold14"));
        QCOMPARE(TarnFont(TarnFont::helvetica_regular12).index(), 111);
        QCOMPARE(TarnFont(TarnFont::helvetica_boldItalic28).index(), TarnFont::count - 1);
        QSet<QString> names;
        for (int i = 0; i < TarnFont::count; ++i)
            names.insert(TarnFont::fromIndex(i).name());
        QCOMPARE(names.size(), TarnFont::count);
    }

    // Every preset resolves to the real face (not a silent substitute) with its weight, slant and size.
    // Text, digits and spaces come from the font's own family; only emoji fall back to the colour emoji
    // font, also behind the system font, whose platform name is no installed family.
    void emojiFontOnlyForEmoji_data()
    {
        QTest::addColumn<QFont>("font");
        QTest::newRow("system font") << FontFaces::systemFont(12, QFont::Normal);
        QTest::newRow("bold system font") << FontFaces::systemFont(13, QFont::DemiBold);
        QTest::newRow("italic system font") << FontFaces::systemFont(12, QFont::Normal, true);
        QTest::newRow("Roboto Regular") << FontFaces::faceOrSystem(QStringLiteral("Roboto-Regular"), 12, QFont::Normal);
        QTest::newRow("Roboto Bold") << FontFaces::faceOrSystem(QStringLiteral("Roboto-Bold"), 16, QFont::Bold);
        QTest::newRow("Helvetica") << TarnFont(TarnFont::helvetica_regular12).font();
        QTest::newRow("application font") << FontFaces::applicationFont();
        FontFaces::setAvailabilityFilter([](const QString&) { return false; });
        QTest::newRow("fallback of Roboto Regular") << TarnFont(TarnFont::roboto_regular12).font();
        FontFaces::setAvailabilityFilter({});
    }
    void emojiFontOnlyForEmoji()
    {
        QFETCH(QFont, font);
        const QString own = font.families().value(0, font.family());
        QVERIFY2(QFontDatabase::hasFamily(own), qPrintable(own));
        const auto familiesOf = [&font](const QString& text) {
            QTextLayout layout(text, font);
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            QStringList families;
            for (const QGlyphRun& run : layout.glyphRuns())
                families << run.rawFont().familyName();
            return families;
        };
        const QStringList text = familiesOf(QStringLiteral("Update verfügbar v. 1.2 – 0123456789 #*„Ä“ … ß"));
        QVERIFY2(
            !text.isEmpty() &&
                std::all_of(text.begin(), text.end(), [&](const QString& family) { return own.startsWith(family); }),
            qPrintable(text.join(u", ") + QStringLiteral(" for ") + own));
        if (font.families().size() > 1) {
            const QString emoji = font.families().at(1);
            QVERIFY(familiesOf(QStringLiteral("v. 1.2 \U0001F3D6")).contains(emoji));
        }
    }

    // Controls that set no font of their own, tooltips and Qt's folder chooser all use Roboto once the
    // application font is installed.
    void controlsUseRoboto()
    {
        const QFont previous = QApplication::font();
        FontFaces::installApplicationFont();
        QCheckBox box(QStringLiteral("Automatisch auf Updates prüfen"));
        QComboBox picker;
        picker.addItems({QStringLiteral("5 Minuten"), QStringLiteral("10 Minuten")});
        QFileDialog chooser(nullptr, QStringLiteral("Ordner"));
        chooser.setOption(QFileDialog::DontUseNativeDialog, true);
        QWidget* chooserLabel = chooser.findChild<QLabel*>();
        QVERIFY(chooserLabel);
        const QList<QPair<const char*, QFont>> fonts = {{"check box", box.font()},
                                                        {"timeout picker", picker.font()},
                                                        {"picker list", picker.view()->font()},
                                                        {"tooltip", QToolTip::font()},
                                                        {"folder chooser", chooser.font()},
                                                        {"folder chooser label", chooserLabel->font()}};
        QApplication::setFont(previous);
        QToolTip::setFont(previous);
        for (const auto& [name, font] : fonts)
            QVERIFY2(QFontInfo(font).family() == u"Roboto", name);
    }

    void everyPresetResolves_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < TarnFont::count; ++i)
            QTest::newRow(qPrintable(TarnFont::fromIndex(i).name())) << i;
    }

    void everyPresetResolves()
    {
        QFETCH(int, index);
        const TarnFont preset = TarnFont::fromIndex(index);
        const QFont font = preset.font();
        const QFontInfo info(font);
        const bool roboto = preset.family() == TarnFont::Family::roboto;
        const bool helveticaLight = !roboto && preset.style() == TarnFont::Style::thin;

        if (helveticaLight) {
            // No light face of Helvetica or its twin is installed: the thin system font at the named size.
            QCOMPARE(font.family(), systemFamily());
            QCOMPARE(font.pixelSize(), preset.size());
            QCOMPARE(font.weight(), QFont::Thin);
            QVERIFY(!font.italic());
            return;
        }
        // Qt names the family with its foundry when two foundries offer it: "Nimbus Sans [urw]".
        const QString family = roboto ? QStringLiteral("Roboto") : QStringLiteral("Nimbus Sans");
        QVERIFY2(info.family() == family || info.family().startsWith(family + QStringLiteral(" [")),
                 qPrintable(info.family()));
        QCOMPARE(font.pixelSize(), preset.requestedSize());
        QCOMPARE(info.pixelSize(), preset.requestedSize());
        switch (preset.style()) {
        case TarnFont::Style::thin:
            QVERIFY(isThin(font));
            QVERIFY(!info.italic());
            break;
        case TarnFont::Style::regular:
            QCOMPARE(info.weight(), int(QFont::Normal));
            QVERIFY(!info.italic());
            break;
        case TarnFont::Style::italic:
            QCOMPARE(info.weight(), int(QFont::Normal));
            QVERIFY(info.italic());
            break;
        case TarnFont::Style::bold:
            QCOMPARE(info.weight(), int(QFont::Bold));
            QVERIFY(!info.italic());
            break;
        case TarnFont::Style::boldItalic:
            QCOMPARE(info.weight(), int(QFont::Bold));
            QVERIFY(info.italic());
            break;
        }
    }

    void fallbackOfEveryPreset_data() { everyPresetResolves_data(); }

    void fallbackOfEveryPreset()
    {
        QFETCH(int, index);
        const TarnFont preset = TarnFont::fromIndex(index);
        const NoFaces noFaces;
        const QFont font = preset.font();
        QCOMPARE(font.family(), systemFamily());
        QCOMPARE(font.pixelSize(), preset.size());
        switch (preset.style()) {
        case TarnFont::Style::thin:
            QCOMPARE(font.weight(), QFont::Thin);
            QVERIFY(!font.italic());
            break;
        case TarnFont::Style::regular:
            QCOMPARE(font.weight(), QFont::Normal);
            QVERIFY(!font.italic());
            break;
        case TarnFont::Style::italic:
            QCOMPARE(font.weight(), QFont::Normal);
            QVERIFY(font.italic());
            break;
        case TarnFont::Style::bold:
            QCOMPARE(font.weight(), QFont::Bold);
            QVERIFY(!font.italic());
            break;
        case TarnFont::Style::boldItalic:
            QCOMPARE(font.weight(), QFont::Bold);
            QVERIFY(font.italic());
            break;
        }
    }

    // Roboto 13 asks for its face at 12 and Roboto 15 at 16; their fallbacks keep the named size.
    void sizeExceptions_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("faceSize");
        QTest::addColumn<int>("fallbackSize");
        QTest::newRow("roboto_regular13") << int(TarnFont::roboto_regular13) << 12 << 13;
        QTest::newRow("roboto_thin13") << int(TarnFont::roboto_thin13) << 12 << 13;
        QTest::newRow("roboto_bold15") << int(TarnFont::roboto_bold15) << 16 << 15;
        QTest::newRow("roboto_boldItalic15") << int(TarnFont::roboto_boldItalic15) << 16 << 15;
        QTest::newRow("roboto_regular14") << int(TarnFont::roboto_regular14) << 14 << 14;
        QTest::newRow("helvetica_regular14") << int(TarnFont::helvetica_regular14) << 14 << 14;
    }

    void sizeExceptions()
    {
        QFETCH(int, index);
        QFETCH(int, faceSize);
        QFETCH(int, fallbackSize);
        const TarnFont preset = TarnFont::fromIndex(index);
        QCOMPARE(preset.font().pixelSize(), faceSize);
        const NoFaces noFaces;
        QCOMPARE(preset.font().pixelSize(), fallbackSize);
    }

    void missingSingleFaceFallsBackAlone()
    {
        FontFaces::setAvailabilityFilter([](const QString& face) { return face != QLatin1String("Roboto-Bold"); });
        const QFont bold = TarnFont(TarnFont::roboto_bold15).font();
        const QFont regular = TarnFont(TarnFont::roboto_regular15).font();
        FontFaces::setAvailabilityFilter({});
        QCOMPARE(bold.family(), systemFamily());
        QCOMPARE(bold.weight(), QFont::Bold);
        QCOMPARE(bold.pixelSize(), 15);
        QCOMPARE(QFontInfo(regular).family(), QStringLiteral("Roboto"));
        QCOMPARE(regular.pixelSize(), 16);
    }

    void namedFacesWithFallback()
    {
        const QFont bold = FontFaces::faceOrSystem(QStringLiteral("Roboto-Bold"), 16, QFont::Bold);
        QCOMPARE(QFontInfo(bold).family(), QStringLiteral("Roboto"));
        QCOMPARE(bold.pixelSize(), 16);
        QVERIFY(!FontFaces::face(QStringLiteral("NoSuchFamily-Regular"), 12));
        const QFont fallback = FontFaces::faceOrSystem(QStringLiteral("NoSuchFamily-Regular"), 22, QFont::Normal);
        QCOMPARE(fallback.pixelSize(), 22);
        QCOMPARE(fallback.weight(), QFont::Normal);
    }

    void italicSystemFontTraits_data()
    {
        QTest::addColumn<int>("weight");
        QTest::addColumn<int>("expectedWeight");
        QTest::newRow("thin") << int(QFont::Thin) << int(QFont::Thin);
        QTest::newRow("light") << int(QFont::Light) << int(QFont::Light);
        QTest::newRow("regular") << int(QFont::Normal) << int(QFont::Normal);
        QTest::newRow("medium gets bold") << int(QFont::Medium) << int(QFont::Bold);
        QTest::newRow("bold") << int(QFont::Bold) << int(QFont::Bold);
        QTest::newRow("black") << int(QFont::Black) << int(QFont::Black);
        QTest::newRow("unknown weight is regular") << 450 << int(QFont::Normal);
    }

    void italicSystemFontTraits()
    {
        QFETCH(int, weight);
        QFETCH(int, expectedWeight);
        const QFont font = TarnFont::italicSystemFont(7, static_cast<QFont::Weight>(weight));
        QVERIFY(font.italic());
        QCOMPARE(int(font.weight()), expectedWeight);
        QCOMPARE(font.pixelSize(), 7);
    }
};

TARN_TEST_GUI_MAIN(TestTarnFont)
#include "TestTarnFont.moc"
