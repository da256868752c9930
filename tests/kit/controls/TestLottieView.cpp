#include "kit/controls/LottieView.h"
#include "kit/controls/PopUpLottieHelper.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QSignalSpy>

namespace {

// The box holding every visible pixel of an image.
QRect inkBounds(const QImage& image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

QImage render(QWidget* widget)
{
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget->render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

} // namespace

class TestLottieView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadsTheBundledAnimation()
    {
        LottieView view(QStringLiteral("paperclip_black"), LottieLoopMode::loop);
        QVERIFY(view.isLoaded());
        QCOMPARE(view.totalFrames(), 60);
        QCOMPARE(view.frameRate(), 30.0);
        QCOMPARE(view.currentFrame(), 0);
    }

    void loops()
    {
        LottieView view(QStringLiteral("paperclip_black"), LottieLoopMode::loop);
        for (int i = 0; i < 59; ++i)
            view.advance();
        QCOMPARE(view.currentFrame(), 59);
        view.advance();
        QCOMPARE(view.currentFrame(), 0);
        view.advance();
        QCOMPARE(view.currentFrame(), 1);
    }

    void playOnceStopsAtTheEnd()
    {
        LottieView view(QStringLiteral("paperclip_black"), LottieLoopMode::playOnce);
        view.show();
        QVERIFY(view.isPlaying());
        for (int i = 0; i < 100; ++i)
            view.advance();
        QCOMPARE(view.currentFrame(), 59);
        QVERIFY(!view.isPlaying());
    }

    void autoReverseTurns()
    {
        LottieView view(QStringLiteral("paperclip_black"), LottieLoopMode::autoReverse);
        for (int i = 0; i < 59; ++i)
            view.advance();
        QCOMPARE(view.currentFrame(), 59);
        view.advance();
        QCOMPARE(view.currentFrame(), 58);
        for (int i = 0; i < 58; ++i)
            view.advance();
        QCOMPARE(view.currentFrame(), 0);
        view.advance();
        QCOMPARE(view.currentFrame(), 1);
    }

    // Shown, the timer plays at the file's frame rate; hidden, it stops.
    void timerAdvancesWhileShown()
    {
        LottieView view(QStringLiteral("paperclip_black"), LottieLoopMode::loop);
        view.resize(50, 50);
        QVERIFY(!view.isPlaying());
        view.show();
        QVERIFY(view.isPlaying());
        QSignalSpy frames(&view, &LottieView::frameChanged);
        QTRY_VERIFY(frames.count() >= 3);
        view.hide();
        QVERIFY(!view.isPlaying());
    }

    void drawsAspectFitted()
    {
        LottieView view(QStringLiteral("paperclip_black"), LottieLoopMode::loop);
        view.resize(200, 50);
        const QImage image = render(&view);
        const QRect ink = inkBounds(image);
        QVERIFY(!ink.isEmpty());
        // A square animation in a wide view: drawn within the centred 50 x 50 square.
        QVERIFY2(ink.left() >= 75 && ink.right() < 125,
                 qPrintable(QStringLiteral("%1..%2").arg(ink.left()).arg(ink.right())));
        const QImage next = [&] {
            for (int i = 0; i < 15; ++i)
                view.advance();
            return render(&view);
        }();
        QVERIFY(next != image);
    }

    // The drawing, not the empty canvas around it, fills the frame: over a loop its longer side reaches
    // across the frame (times the content scale), and it stays inside.
    void drawingFillsItsFrame_data()
    {
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<qreal>("scale");
        QTest::newRow("25 x 25") << QSize(25, 25) << 1.0;
        QTest::newRow("the progress card's 25 x 25 at 0.55") << QSize(25, 25) << 0.55;
        QTest::newRow("wide") << QSize(120, 40) << 1.0;
    }
    void drawingFillsItsFrame()
    {
        QFETCH(QSize, frame);
        QFETCH(qreal, scale);
        LottieView view(QStringLiteral("paperclip_black"), LottieLoopMode::loop);
        view.resize(frame);
        view.setContentScale(scale);
        QRect ink;
        for (int i = 0; i < view.totalFrames(); ++i) {
            ink |= inkBounds(render(&view));
            view.advance();
        }
        QVERIFY(!ink.isEmpty());
        const qreal reach = qMax(qreal(ink.width()) / frame.width(), qreal(ink.height()) / frame.height());
        QVERIFY2(reach >= 0.9 * scale, qPrintable(QStringLiteral("drawn %1 x %2").arg(ink.width()).arg(ink.height())));
        QVERIFY(QRect(QPoint(0, 0), frame).contains(ink));
    }

    void missingOrBrokenShowsNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "no_such_animation";
        QTest::newRow("broken") << "broken_test";
        QTest::newRow("empty name") << "";
    }

    void missingOrBrokenShowsNothing()
    {
        QFETCH(QString, name);
        if (name == QLatin1String("broken_test"))
            QVERIFY(QFile::exists(QStringLiteral(":/animations/broken_test.json")));
        LottieView view(name, LottieLoopMode::loop);
        QVERIFY(!view.isLoaded());
        QCOMPARE(view.totalFrames(), 0);
        view.resize(40, 40);
        view.show();
        QVERIFY(!view.isPlaying());
        view.advance();
        QCOMPARE(view.currentFrame(), 0);
        QVERIFY(inkBounds(render(&view)).isEmpty());
    }

    void popUpCard()
    {
        PopUpLottieHelper card(QStringLiteral("Backup wird erstellt."));
        QCOMPARE(card.text(), QStringLiteral("Backup wird erstellt."));
        LottieView* animation = card.animationView();
        QCOMPARE(animation->fileName(), QStringLiteral("paperclip_black"));
        QCOMPARE(animation->loopMode(), LottieLoopMode::loop);
        QVERIFY(animation->isLoaded());
        QCOMPARE(animation->size(), QSize(25, 25));
        card.show();
        QVERIFY(animation->isPlaying());

        // An empty text keeps the padding and the spacing around the animation.
        PopUpLottieHelper empty{QString()};
        QCOMPARE(empty.layout()->contentsMargins(), QMargins(60, 60, 60, 60));
        QCOMPARE(empty.layout()->spacing(), 20);
        QVERIFY(empty.sizeHint().height() >= 60 + 25 + 20 + 60);
    }
};

TARN_TEST_GUI_MAIN(TestLottieView)
#include "TestLottieView.moc"
