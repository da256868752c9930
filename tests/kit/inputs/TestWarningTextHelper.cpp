#include "kit/inputs/WarningTextHelper.h"
#include "tests/support/TestMain.h"

#include <QRegularExpression>
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

    // A message is shown whole at any width: wrapped over as many lines as it needs, never cut.
    void showsTheWholeMessage_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty backup, sheet width")
            << 440
            << u"Die verschlüsselte Datei wurde nicht gefunden oder nicht bereitgestellt. Bitte wähle ein "
               "anderes Backup aus."_s;
        QTest::newRow("keyring failure, narrow")
            << 260
            << u"Das Archiv-Passwort konnte nicht aus dem Schlüsselbund gelesen werden: The keyring is "
               "locked and the prompt was dismissed."_s;
        QTest::newRow("long path without spaces")
            << 300
            << u"Fehler: /home/anwender/Sicherungen/Einrichtung-Sonnenhof/Wohnbereich-Nord/2025/"
               "Backup_2025-01-02_08-00-00.orlwen"_s;
        QTest::newRow("line break") << 440 << u"Erste Zeile\nZweite Zeile"_s;
    }

    void showsTheWholeMessage()
    {
        QFETCH(int, width);
        QFETCH(QString, message);
        WarningTextHelper* band = makeBand();
        m_window->layout()->setContentsMargins(0, 0, 0, 0);
        m_window->resize(width, 300);
        band->setWarningText(message);
        QTRY_COMPARE(band->width(), width);

        const QFontMetrics metrics(band->font());
        const QStringList lines = band->lines();
        QVERIFY2(lines.size() >= 2, qPrintable(lines.join(u'|')));
        for (const QString& line : lines) {
            QVERIFY2(metrics.horizontalAdvance(line) <= width, qPrintable(line));
            QVERIFY(!line.contains(QChar(0x2026)));
        }
        const auto letters = [](QString text) { return text.remove(QRegularExpression(u"\\s"_s)); };
        QCOMPARE(letters(lines.join(QString())), letters(message));
        // The band takes the height of its lines, and the layout gives it that height.
        QTRY_COMPARE(band->height(), band->heightForWidth(width));
        QVERIFY(band->height() >= int(lines.size()) * metrics.lineSpacing());

        // A long message asks for no more room sideways than a short one would: it wraps instead.
        QVERIFY(band->minimumSizeHint().width() <= 10);
        QVERIFY(band->sizeHint().width() <= 400);
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
