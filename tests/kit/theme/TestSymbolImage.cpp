#include "kit/theme/SymbolImage.h"
#include "tests/support/TestMain.h"

#include <QImage>
#include <QPainter>

namespace {

int pixelsOf(const QImage& image, QRgb color)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) == 255 && (p & 0xFFFFFF) == (color & 0xFFFFFF))
                ++count;
        }
    }
    return count;
}

} // namespace

class TestSymbolImage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every symbol the screens name draws in its tint.
    void everyUsedSymbolDraws_data()
    {
        QTest::addColumn<QString>("name");
        const char* const names[] = {"trash",
                                     "trash.fill",
                                     "exclamationmark.triangle.fill",
                                     "info.circle.fill",
                                     "checkmark.circle.fill",
                                     "circle",
                                     "eye",
                                     "eye.slash",
                                     "wand.and.stars.inverse",
                                     "multiply.circle.fill",
                                     "lock.fill",
                                     "touchid",
                                     "square.and.pencil",
                                     "arrow.trianglehead.2.clockwise.rotate.90",
                                     "tray.and.arrow.down",
                                     "tray.and.arrow.up",
                                     "gearshape.2.fill",
                                     "lock.desktopcomputer",
                                     "lock.rectangle.stack",
                                     "folder",
                                     "network",
                                     "t.circle.fill",
                                     "phone.fill",
                                     "iphone.gen1",
                                     "teletype",
                                     "envelope.fill",
                                     "globe",
                                     "arrow.triangle.turn.up.right.diamond.fill"};
        for (const char* name : names)
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void everyUsedSymbolDraws()
    {
        QFETCH(QString, name);
        QVERIFY(SymbolImage::exists(name));
        const QColor tint(200, 30, 60);
        const QPixmap pixmap = SymbolImage::pixmap(name, QSizeF(48, 48), tint);
        QCOMPARE(pixmap.size(), QSize(48, 48));
        const QImage image = pixmap.toImage();
        QVERIFY2(pixelsOf(image, tint.rgb()) > 20, "the symbol shows in its tint");
        // Only the tint: every visible pixel is the tint colour at some coverage.
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = qUnpremultiply(image.pixel(x, y));
                if (qAlpha(p) > 64)
                    QVERIFY(qAbs(qRed(p) - tint.red()) <= 8 && qAbs(qBlue(p) - tint.blue()) <= 8);
            }
        }
    }

    void holesStayTransparent()
    {
        // The check mark is cut out of the filled disk.
        const QImage image =
            SymbolImage::pixmap(QStringLiteral("checkmark.circle.fill"), QSizeF(96, 96), Qt::black).toImage();
        QCOMPARE(qAlpha(image.pixel(48, 2)), 0); // outside the disk
        QCOMPARE(qAlpha(image.pixel(48, 20)), 255); // the disk
        QVERIFY(qAlpha(image.pixel(42, 64)) < 64); // the check mark's stroke
    }

    void fitsTheAspectInTheRect()
    {
        QImage canvas(100, 40, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        SymbolImage::paint(&painter, QRectF(0, 0, 100, 40), QStringLiteral("circle"), Qt::black);
        painter.end();
        // A 40 x 40 square centred in the 100 x 40 rect: nothing at the far sides.
        for (int y = 0; y < 40; ++y) {
            QCOMPARE(qAlpha(canvas.pixel(5, y)), 0);
            QCOMPARE(qAlpha(canvas.pixel(95, y)), 0);
        }
        QVERIFY(qAlpha(canvas.pixel(50, 2)) > 0);
    }

    void unknownNamesDrawNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("unknown") << "no.such.symbol";
        QTest::newRow("empty") << "";
        QTest::newRow("path escape") << "../symbols/trash";
    }

    void unknownNamesDrawNothing()
    {
        QFETCH(QString, name);
        QVERIFY(!SymbolImage::exists(name));
        QVERIFY(SymbolImage::pixmap(name, QSizeF(20, 20), Qt::black).isNull());
        QImage canvas(20, 20, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        SymbolImage::paint(&painter, QRectF(0, 0, 20, 20), name, Qt::black);
        painter.end();
        QCOMPARE(pixelsOf(canvas, 0), 0);
    }

    void emptySizeDrawsNothing()
    {
        QVERIFY(SymbolImage::pixmap(QStringLiteral("trash"), QSizeF(0, 10), Qt::black).isNull());
    }
};

TARN_TEST_GUI_MAIN(TestSymbolImage)
#include "TestSymbolImage.moc"
