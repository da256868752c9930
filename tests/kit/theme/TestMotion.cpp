#include "kit/theme/Motion.h"
#include "tests/support/TestMain.h"

class TestMotion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The cubic bezier (0.42, 0, 0.58, 1): symmetric, slow at both ends.
    void easeInOutCurve_data()
    {
        QTest::addColumn<qreal>("progress");
        QTest::addColumn<qreal>("value");
        QTest::newRow("start") << 0.0 << 0.0;
        QTest::newRow("quarter") << 0.25 << 0.1291;
        QTest::newRow("half") << 0.5 << 0.5;
        QTest::newRow("three quarters") << 0.75 << 0.8709;
        QTest::newRow("end") << 1.0 << 1.0;
    }

    void easeInOutCurve()
    {
        QFETCH(qreal, progress);
        QFETCH(qreal, value);
        QVERIFY2(qAbs(Motion::easeInOut().valueForProgress(progress) - value) < 0.002,
                 qPrintable(QString::number(Motion::easeInOut().valueForProgress(progress))));
    }

    void durationHook()
    {
        QCOMPARE(Motion::defaultDuration(), 350);
        Motion::setDefaultDuration(0);
        QCOMPARE(Motion::defaultDuration(), 0);
        Motion::setDefaultDuration(-5);
        QCOMPARE(Motion::defaultDuration(), 0);
        Motion::setDefaultDuration(350);
    }
};

TARN_TEST_GUI_MAIN(TestMotion)
#include "TestMotion.moc"
