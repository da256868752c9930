#include "app/login/LoginTitleView.h"
#include "tests/app/shell/HiDpiTestMain.h"

#include <QImage>

namespace {

// How much of the grey shadow a strip of the picture holds: the sum, over its grey pixels, of
// their distance from the black background. The title itself is drawn in the accent colour.
qint64 shadowIn(const QImage& image, int fromX, int toX)
{
    qint64 sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = fromX; x < toX; ++x) {
            const QColor pixel = image.pixelColor(x, y);
            const int high = qMax(pixel.red(), qMax(pixel.green(), pixel.blue()));
            const int low = qMin(pixel.red(), qMin(pixel.green(), pixel.blue()));
            if (high - low <= 6 && high > 4) {
                sum += high;
            }
        }
    }
    return sum;
}

} // namespace

// The title above the login field with its two shadows, on a screen at 200 % and in a picture of
// 100 %: both shadows follow the text wherever it is drawn, so no copy of another size stands
// beside it.
class TestLoginTitleView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QCOMPARE(QGuiApplication::primaryScreen()->devicePixelRatio(), 2.0); }

    void shadowFollowsTheText_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("screen at 200 %") << 2.0;
        QTest::newRow("picture at 100 %") << 1.0;
    }

    void shadowFollowsTheText()
    {
        QFETCH(qreal, ratio);
        LoginTitleView title(QStringLiteral("Tarn-Backup-Manager"));
        title.resize(title.sizeHint());
        QImage picture(title.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::black);
        title.render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);

        const int half = picture.width() / 2;
        const qint64 left = shadowIn(picture, 0, half);
        const qint64 right = shadowIn(picture, half, picture.width());
        QVERIFY2(left > 0 && right > 0, qPrintable(QStringLiteral("left %1, right %2").arg(left).arg(right)));
        // The text spreads evenly over both halves, and so do its shadows.
        QVERIFY2(qMin(left, right) * 2 > qMax(left, right),
                 qPrintable(QStringLiteral("left %1, right %2").arg(left).arg(right)));
    }
};

TARN_TEST_HIDPI_MAIN(TestLoginTitleView, TARN_HIDPI_SCREENS)
#include "TestLoginTitleView.moc"
