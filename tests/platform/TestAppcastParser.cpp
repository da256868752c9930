#include "platform/updates/AppcastParser.h"
#include "platform/updates/SignatureVerifier.h"
#include "platform/updates/UpdateAddress.h"
#include "platform/updates/UpdateVersion.h"
#include "tests/support/TestMain.h"
#include "tests/support/UpdateFeedFixture.h"

using namespace Qt::StringLiterals;

namespace {

const QUrl feedUrl(QStringLiteral("https://updates.example.org/appcast.xml"));

UpdateFeed::Entry entry(const QString& version,
                        const QString& url = QStringLiteral("https://updates.example.org/a.deb"))
{
    return UpdateFeed::Entry{version, QString(), url, 1000, QByteArray(64, 'S')};
}

// A feed around one raw item text.
QByteArray withItem(const QByteArray& item)
{
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:tarn=\"urn:tarn-backup-manager:update\"><channel>"
           "<title>t</title><item>" +
        item + "</item></channel></rss>";
}

const QByteArray validSignature = QByteArray(64, 'S').toBase64();

QByteArray enclosure(const QByteArray& url, const QByteArray& length, const QByteArray& signature = validSignature)
{
    return "<enclosure url=\"" + url + "\" length=\"" + length + "\" tarn:edSignature=\"" + signature + "\"/>";
}

const QByteArray goodVersion = "<tarn:version>2.0</tarn:version>";
const QByteArray goodEnclosure = enclosure("https://updates.example.org/a.deb", "1000");

} // namespace

class TestAppcastParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void compareVersions_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("missing components are zero") << "1.2"
                                                     << "1.2.0" << 0;
        QTest::newRow("numeric, not textual") << "1.10"
                                              << "1.9" << 1;
        QTest::newRow("major wins") << "2"
                                    << "1.99.99" << 1;
        QTest::newRow("patch newer") << "1.0.1"
                                     << "1.0" << 1;
        QTest::newRow("leading zeros") << "010.1"
                                       << "10.1" << 0;
        QTest::newRow("older") << "0.9.9"
                               << "1" << -1;
        QTest::newRow("surrounding space") << " 3.1\n"
                                           << "3.1" << 0;
    }
    void compareVersions()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        const auto left = UpdateVersion::parse(a);
        const auto right = UpdateVersion::parse(b);
        QVERIFY(left && right);
        QCOMPARE(UpdateVersion::compare(*left, *right), order);
        QCOMPARE(UpdateVersion::compare(*right, *left), -order);
    }

    void invalidVersions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("empty component") << "1..2";
        QTest::newRow("trailing dot") << "1.";
        QTest::newRow("letters") << "1.2a";
        QTest::newRow("prefix") << "v1.2";
        QTest::newRow("negative") << "-1";
        QTest::newRow("inner space") << "1. 2";
        QTest::newRow("component too long") << "1.1234567890";
        QTest::newRow("text too long") << QString(QStringLiteral("1.")).repeated(40) + QStringLiteral("1");
        QTest::newRow("non-ASCII digit") << QStringLiteral("1.\u0663");
    }
    void invalidVersions()
    {
        QFETCH(QString, text);
        QVERIFY(!UpdateVersion::parse(text));
    }

    // Every rule an item breaks refuses the whole feed as malformed; valid feeds give their items.
    void parse_data()
    {
        QTest::addColumn<QByteArray>("feed");
        QTest::addColumn<int>("items"); // -1: malformed
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("url");

        QTest::newRow("two items") << UpdateFeed::appcast({entry(QStringLiteral("1.5")), entry(QStringLiteral("2.0"))})
                                   << 2 << "1.5"
                                   << "https://updates.example.org/a.deb";
        QTest::newRow("empty channel") << UpdateFeed::appcast({}) << 0 << ""
                                       << "";
        QTest::newRow("short version shown") << withItem(goodVersion +
                                                         "<tarn:shortVersionString>2.0 Beta"
                                                         "</tarn:shortVersionString>" +
                                                         goodEnclosure)
                                             << 1 << "2.0 Beta"
                                             << "https://updates.example.org/a.deb";
        QTest::newRow("relative enclosure address")
            << withItem(goodVersion + enclosure("files/a.deb", "1000")) << 1 << "2.0"
            << "https://updates.example.org/files/a.deb";
        QTest::newRow("markup in version is text")
            << withItem(goodVersion + "<tarn:shortVersionString>&lt;b&gt;2&lt;/b&gt;</tarn:shortVersionString>" +
                        goodEnclosure)
            << 1 << "<b>2</b>"
            << "https://updates.example.org/a.deb";

        QTest::newRow("not XML") << QByteArray("{\"version\": \"2.0\"}") << -1 << ""
                                 << "";
        QTest::newRow("truncated") << UpdateFeed::appcast({entry(QStringLiteral("2.0"))}).chopped(20) << -1 << ""
                                   << "";
        QTest::newRow("other root") << QByteArray("<html><channel/></html>") << -1 << ""
                                    << "";
        QTest::newRow("no channel") << QByteArray("<rss version=\"2.0\"/>") << -1 << ""
                                    << "";
        QTest::newRow("document type with entities")
            << QByteArray("<!DOCTYPE rss [<!ENTITY a \"aaaaaaaaaa\">]><rss><channel><title>&a;</title></channel></rss>")
            << -1 << ""
            << "";
        QTest::newRow("no version") << withItem(goodEnclosure) << -1 << ""
                                    << "";
        QTest::newRow("version outside the namespace") << withItem("<version>2.0</version>" + goodEnclosure) << -1 << ""
                                                       << "";
        QTest::newRow("version not numeric")
            << withItem("<tarn:version>2.0-beta</tarn:version>" + goodEnclosure) << -1 << ""
            << "";
        QTest::newRow("version with markup")
            << withItem("<tarn:version>2.<b>0</b></tarn:version>" + goodEnclosure) << -1 << ""
            << "";
        QTest::newRow("no enclosure") << withItem(goodVersion) << -1 << ""
                                      << "";
        QTest::newRow("two enclosures") << withItem(goodVersion + goodEnclosure + goodEnclosure) << -1 << ""
                                        << "";
        QTest::newRow("file address") << withItem(goodVersion + enclosure("file:///etc/passwd", "1000")) << -1 << ""
                                      << "";
        QTest::newRow("length zero") << withItem(goodVersion + enclosure("a.deb", "0")) << -1 << ""
                                     << "";
        QTest::newRow("length not a number") << withItem(goodVersion + enclosure("a.deb", "12kB")) << -1 << ""
                                             << "";
        QTest::newRow("length over the limit") << withItem(goodVersion + enclosure("a.deb", "1073741825")) << -1 << ""
                                               << "";
        QTest::newRow("no signature") << withItem(goodVersion + "<enclosure url=\"a.deb\" length=\"1000\"/>") << -1
                                      << ""
                                      << "";
        QTest::newRow("signature not base64") << withItem(goodVersion + enclosure("a.deb", "1000", "%%%%")) << -1 << ""
                                              << "";
        QTest::newRow("signature too short")
            << withItem(goodVersion + enclosure("a.deb", "1000", QByteArray(63, 'S').toBase64())) << -1 << ""
            << "";
    }
    void parse()
    {
        QFETCH(QByteArray, feed);
        QFETCH(int, items);
        QFETCH(QString, display);
        QFETCH(QString, url);
        const auto result = AppcastParser::parse(feed, feedUrl);
        if (items < 0) {
            QVERIFY(!result);
            QCOMPARE(result.error().code, UpdateError::malformedFeed);
            return;
        }
        QVERIFY2(result, qPrintable(result ? QString() : result.error().detail));
        QCOMPARE(result->size(), items);
        if (items > 0) {
            QCOMPARE(result->first().displayVersionString, display);
            QCOMPARE(result->first().enclosureUrl, QUrl(url));
            QCOMPARE(result->first().enclosureLength, 1000);
            QCOMPARE(result->first().edSignature, QByteArray(64, 'S'));
        }
    }

    // Feeds and downloads come over https; plain http only from this machine, decided by the address
    // alone (no name is looked up).
    void allowedAddress_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("https") << "https://updates.example.org/appcast.xml" << true;
        QTest::newRow("https, upper case") << "HTTPS://updates.example.org/a.deb" << true;
        QTest::newRow("https to loopback") << "https://127.0.0.1:8443/a.deb" << true;
        QTest::newRow("http") << "http://updates.example.org/appcast.xml" << false;
        QTest::newRow("http to a private address") << "http://192.168.1.10/appcast.xml" << false;
        QTest::newRow("http to the unspecified address") << "http://0.0.0.0:8080/appcast.xml" << false;
        QTest::newRow("http to 127.0.0.1") << "http://127.0.0.1:8080/appcast.xml" << true;
        QTest::newRow("http to 127.45.6.7") << "http://127.45.6.7/appcast.xml" << true;
        QTest::newRow("http to ::1") << "http://[::1]:8080/appcast.xml" << true;
        QTest::newRow("http to localhost") << "http://localhost:8080/appcast.xml" << true;
        QTest::newRow("http to LOCALHOST.") << "http://LOCALHOST.:8080/appcast.xml" << true;
        QTest::newRow("http to a name under localhost") << "http://updates.localhost.example.org/a" << false;
        QTest::newRow("http to a name that starts like loopback") << "http://127.0.0.1.example.org/a" << false;
        QTest::newRow("http to 128.0.0.1") << "http://128.0.0.1/appcast.xml" << false;
        QTest::newRow("ftp") << "ftp://updates.example.org/appcast.xml" << false;
        QTest::newRow("file") << "file:///etc/hostname" << false;
        QTest::newRow("no host") << "https:///appcast.xml" << false;
        QTest::newRow("empty") << "" << false;
    }
    void allowedAddress()
    {
        QFETCH(QString, url);
        QFETCH(bool, allowed);
        QCOMPARE(UpdateAddress::isAllowed(QUrl(url)), allowed);
    }

    // A download must be allowed as well, whatever the feed's own address.
    void enclosureAddress_data()
    {
        QTest::addColumn<QString>("feed");
        QTest::addColumn<QByteArray>("enclosure");
        QTest::addColumn<QString>("url"); // empty: refused as insecure
        QTest::newRow("https feed, https download")
            << "https://updates.example.org/appcast.xml" << QByteArray("https://cdn.example.org/a.deb")
            << "https://cdn.example.org/a.deb";
        QTest::newRow("https feed, http download")
            << "https://updates.example.org/appcast.xml" << QByteArray("http://updates.example.org/a.deb") << "";
        QTest::newRow("https feed, http download on this machine")
            << "https://updates.example.org/appcast.xml" << QByteArray("http://127.0.0.1:8080/a.deb") << "";
        QTest::newRow("loopback feed, loopback download")
            << "http://127.0.0.1:8080/appcast.xml" << QByteArray("files/a.deb") << "http://127.0.0.1:8080/files/a.deb";
        QTest::newRow("loopback feed, https download")
            << "http://[::1]:8080/appcast.xml" << QByteArray("https://cdn.example.org/a.deb")
            << "https://cdn.example.org/a.deb";
        QTest::newRow("loopback feed, http download elsewhere")
            << "http://localhost:8080/appcast.xml" << QByteArray("http://updates.example.org/a.deb") << "";
        QTest::newRow("loopback feed, http download to 0.0.0.0")
            << "http://127.0.0.1:8080/appcast.xml" << QByteArray("http://0.0.0.0:8080/a.deb") << "";
    }
    void enclosureAddress()
    {
        QFETCH(QString, feed);
        QFETCH(QByteArray, enclosure);
        QFETCH(QString, url);
        const auto result = AppcastParser::parse(withItem(goodVersion + ::enclosure(enclosure, "1000")), QUrl(feed));
        if (url.isEmpty()) {
            QVERIFY(!result);
            QCOMPARE(UpdateError::name(result.error().code), "insecureAddress");
            return;
        }
        QVERIFY2(result, qPrintable(result ? QString() : result.error().detail));
        QCOMPARE(result->size(), 1);
        QCOMPARE(result->first().enclosureUrl, QUrl(url));
    }

    void newestUpdate_data()
    {
        QTest::addColumn<QStringList>("versions");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("expected"); // empty: none
        QTest::newRow("newer") << QStringList{u"1.1"_s} << "1.0"
                               << "1.1";
        QTest::newRow("highest, not first") << QStringList{u"1.2"_s, u"1.10"_s, u"1.9"_s} << "1.0"
                                            << "1.10";
        QTest::newRow("same") << QStringList{u"1.0.0"_s} << "1.0"
                              << "";
        QTest::newRow("older only") << QStringList{u"0.9"_s, u"0.10"_s} << "1.0"
                                    << "";
        QTest::newRow("none") << QStringList{} << "1.0"
                              << "";
    }
    void newestUpdate()
    {
        QFETCH(QStringList, versions);
        QFETCH(QString, current);
        QFETCH(QString, expected);
        QList<AppcastItem> items;
        for (const QString& version : versions)
            items << AppcastItem{version, version, QUrl(), 1, QByteArray()};
        const auto newest = AppcastParser::newestUpdate(items, current);
        QCOMPARE(newest ? newest->versionString : QString(), expected);
    }

    void displayText_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "2.0 Beta 1"
                               << "2.0 Beta 1";
        QTest::newRow("markup stays text") << "<img src=x>"
                                           << "<img src=x>";
        QTest::newRow("line breaks and tabs") << "2.0\n\tBeta"
                                              << "2.0 Beta";
        QTest::newRow("direction override dropped") << QStringLiteral("2.0\u202Eateb") << "2.0 ateb";
        QTest::newRow("32 characters kept") << QString(32, QLatin1Char('9')) << QString(32, QLatin1Char('9'));
        QTest::newRow("longer cut") << QString(500, QLatin1Char('9')) << QString(31, QLatin1Char('9')) + QChar(0x2026);
        QTest::newRow("pair not split") << QString(30, QLatin1Char('1')) + QStringLiteral("\U0001F600\U0001F600")
                                        << QString(30, QLatin1Char('1')) + QChar(0x2026);
    }
    void displayText()
    {
        QFETCH(QString, raw);
        QFETCH(QString, shown);
        QCOMPARE(AppcastParser::displayText(raw), shown);
    }

    void signatures()
    {
        const SigningKey key;
        const SigningKey otherKey;
        const QByteArray data = "the update's bytes";
        const QByteArray publicKey = SignatureVerifier::decodePublicKey(key.publicKeyBase64()).value_or(QByteArray());
        QCOMPARE(publicKey.size(), SignatureVerifier::publicKeyLength);

        QVERIFY(SignatureVerifier::verify(data, key.sign(data), publicKey));
        QVERIFY(!SignatureVerifier::verify(data + ' ', key.sign(data), publicKey));
        QVERIFY(!SignatureVerifier::verify(data, otherKey.sign(data), publicKey));
        QVERIFY(!SignatureVerifier::verify(data, key.sign(data).chopped(1), publicKey));
        QVERIFY(!SignatureVerifier::verify(data, key.sign(data), QByteArray(32, '\0')));

        QVERIFY(!SignatureVerifier::decodePublicKey(QString()));
        QVERIFY(!SignatureVerifier::decodePublicKey(QString::fromLatin1(QByteArray(31, 'k').toBase64())));
        QVERIFY(!SignatureVerifier::decodePublicKey(QStringLiteral("not base64!")));
    }
};

TARN_TEST_MAIN(TestAppcastParser)
#include "TestAppcastParser.moc"
