#include "kit/inputs/WarningTextHelper.h"
#include "tests/support/TestMain.h"

#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

class TestWarningTextHelper : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_window;
    std::optional<QString> m_message;

    WarningTextHelper* makeBand()
    {
        m_window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_window.get());
        layout->addStretch();
        auto* band = new WarningTextHelper(Binding<std::optional<QString>>::to(&m_message), Qt::red);
        layout->addWidget(band);
        m_window->resize(400, 200);
        m_window->show();
        if (!QTest::qWaitForWindowExposed(m_window.get()))
            qWarning("window not exposed");
        return band;
    }

private Q_SLOTS:
    void init() { m_message.reset(); }
    void cleanup() { m_window.reset(); }

    void hiddenWithoutText()
    {
        WarningTextHelper* band = makeBand();
        QVERIFY(!band->isBandVisible());
        QCOMPARE(band->height(), 0);
        QCOMPARE(band->clearDelay(), 5000);
    }

    void showsAndClearsItself()
    {
        WarningTextHelper* band = makeBand();
        band->setClearDelay(30);
        band->setWarningText(u"Das Backup wurde erfolgreich erstellt."_s);
        QCOMPARE(m_message, u"Das Backup wurde erfolgreich erstellt."_s);
        QVERIFY(band->isBandShown());
        QVERIFY(band->isBandVisible());
        QTRY_VERIFY(band->height() > 0);
        QCOMPARE(band->width(),
                 m_window->width() - m_window->layout()->contentsMargins().left() -
                     m_window->layout()->contentsMargins().right());

        QTRY_COMPARE(m_message, std::nullopt);
        QVERIFY(!band->isBandShown());
        QTRY_VERIFY(!band->isBandVisible());
        QTRY_COMPARE(band->height(), 0);
    }

    void ownerClearsEarly()
    {
        WarningTextHelper* band = makeBand();
        band->setClearDelay(10'000);
        m_message = u"Fehler"_s;
        band->refresh();
        QVERIFY(band->isBandShown());
        m_message.reset();
        band->refresh();
        QVERIFY(!band->isBandShown());
        QTRY_VERIFY(!band->isBandVisible());
        QCOMPARE(band->clearRemainingTime(), -1);
    }

    void emptyTextShowsEmptyBand()
    {
        WarningTextHelper* band = makeBand();
        band->setWarningText(QString());
        QVERIFY(band->isBandShown());
        QVERIFY(band->isBandVisible());
        QCOMPARE(band->shownText(), QString());
    }

    void newMessageRestartsTheClearing_data()
    {
        QTest::addColumn<bool>("throughRefresh");
        QTest::newRow("setWarningText") << false;
        QTest::newRow("refresh") << true;
    }

    void newMessageRestartsTheClearing()
    {
        QFETCH(bool, throughRefresh);
        WarningTextHelper* band = makeBand();
        band->setClearDelay(10'000);
        band->setWarningText(u"Erste"_s);
        QTest::qWait(30);
        const int before = band->clearRemainingTime();
        QVERIFY(before < 10'000);
        if (throughRefresh) {
            m_message = u"Zweite"_s;
            band->refresh();
        } else {
            band->setWarningText(u"Zweite"_s);
        }
        QCOMPARE(band->shownText(), u"Zweite"_s);
        QVERIFY2(band->clearRemainingTime() > before, "a new message gets its full time");

        // A band that appears again after being cleared gets its full time too.
        band->setClearDelay(20);
        band->setWarningText(u"Dritte"_s);
        QTRY_COMPARE(m_message, std::nullopt);
        band->setClearDelay(10'000);
        band->setWarningText(u"Vierte"_s);
        QVERIFY(band->clearRemainingTime() > 9'000);
    }

    void initialTextShowsAtOnce()
    {
        m_message = u"Schon da"_s;
        WarningTextHelper* band = makeBand();
        QVERIFY(band->isBandShown());
        QCOMPARE(band->shownText(), u"Schon da"_s);
    }
};

TARN_TEST_GUI_MAIN(TestWarningTextHelper)
#include "TestWarningTextHelper.moc"
