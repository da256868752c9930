#include "kit/inputs/ConnectionType.h"
#include "kit/inputs/InputPatterns.h"
#include "kit/inputs/Shake.h"
#include "kit/inputs/TextDebouncer.h"
#include "kit/inputs/UserCharacters.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

// The rules behind the text controls: content kinds, shake offsets, character counting and
// truncation, restriction and warning patterns, and the debounce.
class TestTextRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void connectionTypeRawValues()
    {
        const QStringList expected = {u"text"_s,  u"password"_s, u"phone"_s, u"mobile"_s, u"fax"_s,
                                      u"email"_s, u"deMail"_s,   u"web"_s,   u"route"_s};
        QStringList raw;
        for (const ConnectionType type : ConnectionType::allCases())
            raw << type.rawValue();
        QCOMPARE(raw, expected);
        for (const QString& name : expected)
            QCOMPARE(ConnectionType::fromRawValue(name)->rawValue(), name);

        QCOMPARE(ConnectionType::fromRawValue(u"password"), ConnectionType(ConnectionType::password));
        QVERIFY(!ConnectionType::fromRawValue(u"Password"));
        QVERIFY(!ConnectionType::fromRawValue(u"demail"));
        QVERIFY(!ConnectionType::fromRawValue(u""));
    }

    void connectionTypeDetails()
    {
        const auto password = ConnectionType(ConnectionType::password).details();
        QCOMPARE(password.symbol, u"eye"_s);
        QCOMPARE(password.alternateSymbol, u"eye.slash"_s);
        QCOMPARE(password.urlPrefix, QString());
        QCOMPARE(ConnectionType(ConnectionType::mobile).details().urlPrefix, u"tel:"_s);
        QCOMPARE(ConnectionType(ConnectionType::deMail).details().urlPrefix, u"mailto:"_s);
        QCOMPARE(ConnectionType(ConnectionType::web).details().urlPrefix, u"https://"_s);
        QCOMPARE(ConnectionType(ConnectionType::route).details().symbol,
                 u"arrow.triangle.turn.up.right.diamond.fill"_s);
    }

    void shakeOffsets_data()
    {
        QTest::addColumn<qreal>("shakes");
        QTest::addColumn<qreal>("offset");
        QTest::newRow("rest") << 0.0 << 0.0;
        QTest::newRow("quarter: right") << 0.25 << 5.0;
        QTest::newRow("half: centre") << 0.5 << 0.0;
        QTest::newRow("three quarters: left") << 0.75 << -5.0;
        QTest::newRow("whole: rest") << 1.0 << 0.0;
        QTest::newRow("several: rest") << 3.0 << 0.0;
    }

    void shakeOffsets()
    {
        QFETCH(qreal, shakes);
        QFETCH(qreal, offset);
        Shake shake(shakes);
        QVERIFY2(qAbs(shake.offset().x() - offset) < 1e-9, qPrintable(QString::number(shake.offset().x())));
        QCOMPARE(shake.offset().y(), 0.0);
        shake.setAnimatableData(0.25);
        QCOMPARE(shake.shakes, 0.25);
    }

    void characterLimit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("expected");

        const QString family = u"👨‍👩‍👧"_s; // one character, five code points
        const QString thumb = u"👍🏽"_s; // emoji with a skin-tone modifier
        const QString decomposedU = u"u\u0308"_s; // u + combining diaeresis, one character
        QTest::newRow("under limit") << u"abc"_s << 5 << u"abc"_s;
        QTest::newRow("cut ascii") << u"abcdef"_s << 3 << u"abc"_s;
        QTest::newRow("zero empties") << u"abc"_s << 0 << QString();
        QTest::newRow("negative: no limit") << u"abcdef"_s << -1 << u"abcdef"_s;
        QTest::newRow("umlauts") << u"Größenänderung"_s << 4 << u"Größ"_s;
        QTest::newRow("decomposed umlaut") << (u"M"_s + decomposedU + u"ll"_s) << 2 << (u"M"_s + decomposedU);
        QTest::newRow("family emoji kept whole") << (u"a"_s + family + u"b"_s) << 2 << (u"a"_s + family);
        QTest::newRow("family emoji dropped whole") << (family + family) << 1 << family;
        QTest::newRow("skin tone") << (thumb + thumb + thumb) << 2 << (thumb + thumb);
    }

    void characterLimit()
    {
        QFETCH(QString, text);
        QFETCH(int, limit);
        QFETCH(QString, expected);
        QCOMPARE(UserCharacters::truncated(text, limit), expected);
        if (limit >= 0)
            QVERIFY(UserCharacters::count(UserCharacters::truncated(text, limit)) <= limit);
    }

    void characterCount()
    {
        QCOMPARE(UserCharacters::count(QString()), 0);
        QCOMPARE(UserCharacters::count(u"Ärger"_s), 5);
        QCOMPARE(UserCharacters::count(u"👨‍👩‍👧👍🏽"_s), 2);
        QCOMPARE(UserCharacters::count(QString(150, u'x')), 150);
    }

    void patterns_data()
    {
        using Pattern = std::optional<QString>;
        QTest::addColumn<Pattern>("restrictRegex");
        QTest::addColumn<Pattern>("warnRegex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("warn");

        const Pattern none;
        QTest::newRow("no patterns") << none << none << u"a b"_s << u"a b"_s << false;
        QTest::newRow("space removed") << Pattern(u" "_s) << none << u"a b"_s << u"ab"_s << true;
        QTest::newRow("no match keeps text") << Pattern(u" "_s) << none << u"ab"_s << u"ab"_s << false;
        // The matches are removed, not the characters that occur in the pattern string.
        QTest::newRow("class removes digits") << Pattern(u"[0-9]"_s) << none << u"a1b-9"_s << u"ab-"_s << true;
        QTest::newRow("pattern letters stay") << Pattern(u"\\d+"_s) << none << u"d+12x"_s << u"d+x"_s << true;
        QTest::newRow("sequence removed whole") << Pattern(u"ab"_s) << none << u"a-b-ab"_s << u"a-b-"_s << true;
        QTest::newRow("warn only") << none << Pattern(u"[äöü]"_s) << u"Tür"_s << u"Tür"_s << true;
        QTest::newRow("warn no match") << none << Pattern(u"[äöü]"_s) << u"Tor"_s << u"Tor"_s << false;
        QTest::newRow("restrict wins over warn") << Pattern(u"x"_s) << Pattern(u"a"_s) << u"abc"_s << u"abc"_s << false;
        QTest::newRow("invalid restrict disables both")
            << Pattern(u"([a"_s) << Pattern(u"a"_s) << u"a(["_s << u"a(["_s << false;
        QTest::newRow("invalid warn") << none << Pattern(u"*"_s) << u"***"_s << u"***"_s << false;
    }

    void patterns()
    {
        using Pattern = std::optional<QString>;
        QFETCH(Pattern, restrictRegex);
        QFETCH(Pattern, warnRegex);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(bool, warn);
        const InputPatterns::Outcome outcome = InputPatterns::apply(restrictRegex, warnRegex, text);
        QCOMPARE(outcome.text, expected);
        QCOMPARE(outcome.warn, warn);
    }

    void debounceDeliversLastValueOnce()
    {
        TextDebouncer debouncer;
        QCOMPARE(debouncer.interval(), 500);
        debouncer.setInterval(30);
        QSignalSpy delivered(&debouncer, &TextDebouncer::delivered);
        debouncer.push(u"a"_s);
        debouncer.push(u"ab"_s);
        debouncer.push(u"abc"_s);
        QVERIFY(delivered.isEmpty());
        QVERIFY(delivered.wait());
        QCOMPARE(delivered.size(), 1);
        QCOMPARE(delivered.at(0).at(0).toString(), u"abc"_s);
        QVERIFY(!debouncer.isPending());
    }

    void flushDeliversPendingAtOnce()
    {
        TextDebouncer debouncer;
        debouncer.setInterval(60'000);
        QSignalSpy delivered(&debouncer, &TextDebouncer::delivered);
        debouncer.flush();
        QVERIFY(delivered.isEmpty());
        debouncer.push(u"secret"_s);
        debouncer.flush();
        QCOMPARE(delivered.size(), 1);
        QCOMPARE(delivered.at(0).at(0).toString(), u"secret"_s);
        debouncer.flush();
        QCOMPARE(delivered.size(), 1);

        debouncer.push(u"dropped"_s);
        debouncer.cancel();
        debouncer.flush();
        QCOMPARE(delivered.size(), 1);
    }
};

TARN_TEST_GUI_MAIN(TestTextRules)
#include "TestTextRules.moc"
