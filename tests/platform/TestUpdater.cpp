#include "platform/updates/StandardUpdaterController.h"
#include "platform/updates/Updater.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestMain.h"
#include "tests/support/UpdateFeedFixture.h"

#include "platform/updates/UpdateDownloader.h"
#include "platform/updates/UpdateRequest.h"

#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>

#include <csignal>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

// What the updater told its delegate, in order: "found:<display version>" or "none".
class RecordingDelegate : public UpdaterDelegateProtocol
{
public:
    std::optional<QString> feedURLString(Updater*) override { return feedOverride; }
    void didFindValidUpdate(Updater*, const AppcastItem& item) override
    {
        calls << QStringLiteral("found:") + item.displayVersionString;
    }
    void didNotFindUpdate(Updater*) override { calls << QStringLiteral("none"); }

    std::optional<QString> feedOverride;
    QStringList calls;
};

const QString packageName = QStringLiteral("tarn-backup-manager_99.1_amd64.deb");

// Every entry of the download folder, hidden ones included.
QStringList downloadEntries()
{
    return QDir(Updater::downloadFolder())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The address on another host over plain http. 0.0.0.0 is no loopback address, yet a connection to it
// stays on this machine: should the updater fail to refuse it, the test still reaches nothing else.
QUrl onOtherHost(QUrl url)
{
    url.setHost(QStringLiteral("0.0.0.0"));
    return url;
}

enum class Serve {
    plain,
    withoutLength,
    redirectSameScheme,
    redirectToHttps,
    redirectToFile,
    redirectToOtherHost,
    missing
};

} // namespace

Q_DECLARE_METATYPE(Serve)
Q_DECLARE_METATYPE(LoopbackHttpServer::Response)

class TestUpdater : public QObject
{
    Q_OBJECT

    LoopbackHttpServer m_server;
    SigningKey m_key;
    const QByteArray m_payload = randomBytes(200000, 7);

    UpdateFeed::Entry package(const QByteArray& signature, qint64 length) const
    {
        return UpdateFeed::Entry{QStringLiteral("99.1"), QStringLiteral("99.1 Beta"),
                                 m_server.url(QStringLiteral("/files/") + packageName).toString(), length, signature};
    }
    QByteArray feedOffering(qint64 length) const
    {
        return UpdateFeed::appcast({package(m_key.sign(m_payload), length)});
    }

    void serveFeed(const QByteArray& body, Serve serve)
    {
        LoopbackHttpServer::Response response;
        response.body = body;
        response.sendContentLength = serve != Serve::withoutLength;
        m_server.setResponse(QStringLiteral("/served.xml"), response);
        switch (serve) {
        case Serve::plain:
        case Serve::withoutLength:
            m_server.setResponse(QStringLiteral("/feed.xml"), response);
            break;
        case Serve::redirectSameScheme:
            m_server.setRedirect(QStringLiteral("/feed.xml"), m_server.url(QStringLiteral("/served.xml")));
            break;
        case Serve::redirectToHttps: {
            QUrl target = m_server.url(QStringLiteral("/served.xml"));
            target.setScheme(QStringLiteral("https"));
            m_server.setRedirect(QStringLiteral("/feed.xml"), target);
            break;
        }
        case Serve::redirectToFile:
            m_server.setRedirect(QStringLiteral("/feed.xml"), QUrl(QStringLiteral("file:///etc/hostname")));
            break;
        case Serve::redirectToOtherHost:
            m_server.setRedirect(QStringLiteral("/feed.xml"), onOtherHost(m_server.url(QStringLiteral("/served.xml"))));
            break;
        case Serve::missing:
            m_server.setResponse(QStringLiteral("/feed.xml"), LoopbackHttpServer::Response{404, "gone", {}, true});
            break;
        }
    }

    std::unique_ptr<Updater> startedUpdater(RecordingDelegate* delegate)
    {
        auto updater = std::make_unique<Updater>(delegate);
        updater->setFeedUrl(m_server.url(QStringLiteral("/feed.xml")));
        updater->setPublicKey(m_key.publicKeyBase64());
        updater->start();
        return updater;
    }

    // An updater after a user check of the served feed; nothing when the check did not end.
    std::unique_ptr<Updater> checkedUpdater(RecordingDelegate* delegate)
    {
        auto updater = startedUpdater(delegate);
        updater->checkForUpdates();
        if (!QTest::qWaitFor([&] { return updater->canCheckForUpdates(); }))
            return nullptr;
        return updater;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_server.isListening()); }

    void init()
    {
        QSettings().clear();
        QDir(Updater::downloadFolder()).removeRecursively();
        m_server.resetRequestCounts();
        m_server.setBody(QStringLiteral("/files/") + packageName, m_payload);
    }

    // A background check and then a user check of the same feed: the delegate hears both alike, only
    // the user check reports to the user; a refused feed reaches neither the delegate nor the views.
    void check_data()
    {
        QTest::addColumn<QByteArray>("feed");
        QTest::addColumn<Serve>("serve");
        QTest::addColumn<QString>("outcome"); // "found:<display>", "none" or the failure's name

        const QString current = QStringLiteral(TARN_VERSION);
        const QByteArray oversized =
            feedOffering(m_payload.size())
                .replace("<channel>", "<channel><!--" + QByteArray(Updater::maximumFeedSize, 'x') + "-->");

        QTest::newRow("found") << feedOffering(m_payload.size()) << Serve::plain << "found:99.1 Beta";
        const UpdateFeed::Entry older{QStringLiteral("50"), QString(), QStringLiteral("http://127.0.0.1/b"), 5,
                                      QByteArray(64, 'S')};
        const UpdateFeed::Entry newest{QStringLiteral("99.3"), QString(), QStringLiteral("http://127.0.0.1/c"), 5,
                                       QByteArray(64, 'S')};
        QTest::newRow("newest of several")
            << UpdateFeed::appcast({package(QByteArray(64, 'S'), 5), newest, older}) << Serve::plain << "found:99.3";
        QTest::newRow("same version") << UpdateFeed::appcast({UpdateFeed::Entry{
                                             current, QString(), u"https://x.org/a"_s, 5, QByteArray(64, 'S')}})
                                      << Serve::plain << "none";
        QTest::newRow("older version") << UpdateFeed::appcast({UpdateFeed::Entry{
                                              u"0.9"_s, QString(), u"https://x.org/a"_s, 5, QByteArray(64, 'S')}})
                                       << Serve::plain << "none";
        QTest::newRow("no items") << UpdateFeed::appcast({}) << Serve::plain << "none";
        QTest::newRow("redirect within the scheme")
            << feedOffering(m_payload.size()) << Serve::redirectSameScheme << "found:99.1 Beta";
        QTest::newRow("malformed") << QByteArray("<rss><channel><item>") << Serve::plain << "malformedFeed";
        QTest::newRow("bad signature text")
            << UpdateFeed::appcast({package(QByteArray(12, 'S'), 10)}) << Serve::plain << "malformedFeed";
        QTest::newRow("over 1 MiB, declared") << oversized << Serve::plain << "feedTooLarge";
        QTest::newRow("over 1 MiB, streamed") << oversized << Serve::withoutLength << "feedTooLarge";
        QTest::newRow("redirect to https")
            << feedOffering(m_payload.size()) << Serve::redirectToHttps << "redirectToOtherScheme";
        QTest::newRow("redirect to a file")
            << feedOffering(m_payload.size()) << Serve::redirectToFile << "redirectToOtherScheme";
        QTest::newRow("redirect to http elsewhere")
            << feedOffering(m_payload.size()) << Serve::redirectToOtherHost << "insecureAddress";
        UpdateFeed::Entry elsewhere = package(m_key.sign(m_payload), m_payload.size());
        elsewhere.url = onOtherHost(QUrl(elsewhere.url)).toString();
        QTest::newRow("download over http elsewhere")
            << UpdateFeed::appcast({elsewhere}) << Serve::plain << "insecureAddress";
        QTest::newRow("missing feed") << QByteArray() << Serve::missing << "notFound";
    }
    void check()
    {
        QFETCH(const QByteArray, feed);
        QFETCH(Serve, serve);
        QFETCH(const QString, outcome);
        serveFeed(feed, serve);
        const bool refused = !outcome.startsWith(u"found") && outcome != u"none";

        RecordingDelegate delegate;
        const auto updater = startedUpdater(&delegate);
        QSignalSpy found(updater.get(), &Updater::userUpdateFound);
        QSignalSpy none(updater.get(), &Updater::userUpdateNotFound);
        QSignalSpy failed(updater.get(), &Updater::userSessionFailed);

        updater->checkForUpdatesInBackground();
        QVERIFY(!updater->canCheckForUpdates());
        QTRY_VERIFY(updater->canCheckForUpdates());
        QCOMPARE(delegate.calls, refused ? QStringList() : (QStringList{outcome}));
        QCOMPARE(found.count() + none.count() + failed.count(), 0);

        updater->checkForUpdates();
        QTRY_VERIFY(updater->canCheckForUpdates());
        QCOMPARE(delegate.calls, refused ? QStringList() : (QStringList{outcome, outcome}));
        if (outcome.startsWith(u"found")) {
            QCOMPARE(found.count(), 1);
            QCOMPARE(QStringLiteral("found:") + found.first().first().value<AppcastItem>().displayVersionString,
                     outcome);
            QCOMPARE(updater->foundUpdate()->displayVersionString, outcome.mid(6));
        } else if (outcome == u"none") {
            QCOMPARE(none.count(), 1);
            QVERIFY(!updater->foundUpdate());
        } else {
            QCOMPARE(failed.count(), 1);
            QCOMPARE(UpdateError::name(failed.first().first().value<UpdateError>().code), outcome.toLatin1());
            QVERIFY(!failed.first().first().value<UpdateError>().message().isEmpty());
        }
        QCOMPARE(found.count() + none.count() + failed.count(), 1);
        QVERIFY(downloadEntries().isEmpty());
        QCOMPARE(m_server.requestCount(QStringLiteral("/files/") + packageName), 0);
        if (serve != Serve::redirectSameScheme)
            QCOMPARE(m_server.requestCount(QStringLiteral("/served.xml")), 0);
    }

    // A feed over plain http from another machine is never fetched: no check may start, and one the
    // user asks for says why.
    void insecureFeed()
    {
        serveFeed(feedOffering(m_payload.size()), Serve::plain);
        RecordingDelegate delegate;
        Updater updater(&delegate);
        updater.setFeedUrl(onOtherHost(m_server.url(QStringLiteral("/feed.xml"))));
        QSignalSpy failed(&updater, &Updater::userSessionFailed);
        updater.start();
        QVERIFY(!updater.canCheckForUpdates());
        updater.checkForUpdatesInBackground();
        updater.checkForUpdates();
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().value<UpdateError>().code, UpdateError::insecureAddress);
        QCOMPARE(m_server.requestCount(QStringLiteral("/feed.xml")), 0);
        QVERIFY(delegate.calls.isEmpty());
    }

    // However steadily a server trickles, a feed request ends at its deadline and a download when it
    // falls below the minimum speed; a stalled server too. Afterwards the connection is closed, nothing is
    // left in the download folder, and the next check starts and ends as usual.
    void deadline_data()
    {
        QTest::addColumn<bool>("slowDownload"); // else the feed is slow
        QTest::addColumn<bool>("background"); // a background check, with automatic downloads
        QTest::addColumn<int>("pieceSize");
        QTest::addColumn<int>("pieceInterval");
        QTest::addColumn<int>("stallAfter");
        QTest::addColumn<int>("downloadRate"); // the lowest speed a download may have, in bytes per second
        QTest::addColumn<QString>("outcome"); // "downloaded" or the failure's name

        const int fast = 1 << 30;
        QTest::newRow("feed trickles a byte every 20 ms") << false << false << 1 << 20 << -1 << fast << "timedOut";
        QTest::newRow("feed stalls part-way") << false << false << 0 << 0 << 150 << fast << "timedOut";
        QTest::newRow("feed never answers") << false << false << 0 << 0 << 0 << fast << "timedOut";
        QTest::newRow("background check of a trickling feed") << false << true << 1 << 20 << -1 << fast << "timedOut";
        QTest::newRow("download trickles") << true << false << 16 << 20 << -1 << fast << "timedOut";
        QTest::newRow("download stalls half-way") << true << false << 0 << 0 << 100000 << fast << "timedOut";
        QTest::newRow("automatic download stalls") << true << true << 0 << 0 << 100000 << fast << "timedOut";
        // 200000 bytes in 20 pieces over a second: past the feed's deadline, well above 10000 bytes/s.
        QTest::newRow("slow download within its share of time")
            << true << false << 10000 << 50 << -1 << 10000 << "downloaded";
    }
    void deadline()
    {
        QFETCH(bool, slowDownload);
        QFETCH(bool, background);
        QFETCH(int, pieceSize);
        QFETCH(int, pieceInterval);
        QFETCH(int, stallAfter);
        QFETCH(int, downloadRate);
        QFETCH(QString, outcome);
        serveFeed(feedOffering(m_payload.size()), Serve::plain);
        LoopbackHttpServer::Response slow;
        slow.body = slowDownload ? m_payload : feedOffering(m_payload.size());
        slow.pieceSize = pieceSize;
        slow.pieceInterval = pieceInterval;
        slow.stallAfter = stallAfter;
        m_server.setResponse(slowDownload ? QStringLiteral("/files/") + packageName : QStringLiteral("/feed.xml"),
                             slow);

        RecordingDelegate delegate;
        auto updater = startedUpdater(&delegate);
        updater->setDeadlines(UpdateDeadlines{400, 400, 400, downloadRate});
        QSignalSpy failed(updater.get(), &Updater::userSessionFailed);
        QSignalSpy downloaded(updater.get(), &Updater::updateDownloaded);
        if (background) {
            updater->setAutomaticallyDownloadsUpdates(true);
            updater->checkForUpdatesInBackground();
        } else {
            updater->checkForUpdates();
        }
        if (slowDownload && !background) {
            QTRY_VERIFY(updater->canCheckForUpdates());
            QVERIFY(updater->foundUpdate());
            updater->downloadUpdate();
        }
        QVERIFY(!updater->canCheckForUpdates());
        QTRY_VERIFY_WITH_TIMEOUT(updater->isIdle() && updater->canCheckForUpdates(), 10000);
        if (background) {
            // Nothing to tell the user; the session has ended all the same.
            QCOMPARE(failed.count() + downloaded.count(), 0);
            QCOMPARE(downloadEntries(), QStringList());
            QCOMPARE(m_server.requestCount(QStringLiteral("/files/") + packageName), slowDownload ? 1 : 0);
        } else if (outcome == u"downloaded") {
            QCOMPARE(failed.count(), 0);
            QCOMPARE(downloaded.count(), 1);
            QCOMPARE(readAll(downloaded.first().at(1).toString()), m_payload);
        } else {
            QCOMPARE(downloaded.count(), 0);
            QCOMPARE(failed.count(), 1);
            QCOMPARE(UpdateError::name(failed.first().first().value<UpdateError>().code), outcome.toLatin1());
            QCOMPARE(downloadEntries(), QStringList());
        }
        QTRY_COMPARE(m_server.openConnections(), 0);

        serveFeed(UpdateFeed::appcast({}), Serve::plain);
        updater->checkForUpdatesInBackground();
        QVERIFY(!updater->canCheckForUpdates());
        QTRY_VERIFY(updater->canCheckForUpdates());
        QCOMPARE(delegate.calls.last(), QStringLiteral("none"));
    }

    // Each way a server can fail has its own name and text: a silent server, a missing file, a
    // server error, a redirect loop, a connection closed part-way and a download far slower than its
    // declared length allows. Nothing is left in the download folder.
    void failureNamed_data()
    {
        QTest::addColumn<bool>("inDownload"); // else the feed fails
        QTest::addColumn<LoopbackHttpServer::Response>("response");
        QTest::addColumn<bool>("loop"); // the address redirects to itself
        QTest::addColumn<qint64>("declaredLength"); // the feed's length of the download; 0: the payload's
        QTest::addColumn<QString>("failure");

        LoopbackHttpServer::Response silent;
        silent.stallAfter = 0;
        const LoopbackHttpServer::Response missing{404, "gone", {}, true};
        const LoopbackHttpServer::Response broken{500, "oops", {}, true};
        const LoopbackHttpServer::Response unavailable{503, "later", {}, true};
        LoopbackHttpServer::Response cut;
        cut.body = m_payload.left(m_payload.size() / 2);
        cut.sendContentLength = false;
        cut.headers << qMakePair(QByteArray("Content-Length"), QByteArray::number(m_payload.size()));
        const qint64 gibibyte = qint64(1) << 30;
        LoopbackHttpServer::Response trickle;
        trickle.body = m_payload;
        trickle.sendContentLength = false;
        trickle.headers << qMakePair(QByteArray("Content-Length"), QByteArray::number(gibibyte));
        trickle.pieceSize = 16;
        trickle.pieceInterval = 20;

        QTest::newRow("feed: server stays silent") << false << silent << false << qint64(0) << "timedOut";
        QTest::newRow("feed: 404") << false << missing << false << qint64(0) << "notFound";
        QTest::newRow("feed: 500") << false << broken << false << qint64(0) << "serverError";
        QTest::newRow("feed: redirect loop")
            << false << LoopbackHttpServer::Response() << true << qint64(0) << "tooManyRedirects";
        QTest::newRow("download: server stays silent") << true << silent << false << qint64(0) << "timedOut";
        QTest::newRow("download: 404") << true << missing << false << qint64(0) << "notFound";
        QTest::newRow("download: 503") << true << unavailable << false << qint64(0) << "serverError";
        QTest::newRow("download: redirect loop")
            << true << LoopbackHttpServer::Response() << true << qint64(0) << "tooManyRedirects";
        QTest::newRow("download: closed half-way") << true << cut << false << qint64(0) << "brokenOff";
        QTest::newRow("download: 1 GiB declared, 800 bytes a second")
            << true << trickle << false << gibibyte << "timedOut";
    }
    void failureNamed()
    {
        QFETCH(bool, inDownload);
        QFETCH(LoopbackHttpServer::Response, response);
        QFETCH(bool, loop);
        QFETCH(qint64, declaredLength);
        QFETCH(QString, failure);
        const QString path = inDownload ? QStringLiteral("/files/") + packageName : QStringLiteral("/feed.xml");
        serveFeed(feedOffering(declaredLength > 0 ? declaredLength : m_payload.size()), Serve::plain);
        if (loop)
            m_server.setRedirect(path, m_server.url(path));
        else
            m_server.setResponse(path, response);

        RecordingDelegate delegate;
        auto updater = startedUpdater(&delegate);
        // Feeds keep their default deadline; silence and slowness are noticed within a fraction of it.
        UpdateDeadlines deadlines;
        deadlines.stall = 300;
        deadlines.speedWindow = 300;
        deadlines.minimumBytesPerSecond = 4096;
        updater->setDeadlines(deadlines);
        QSignalSpy failed(updater.get(), &Updater::userSessionFailed);
        updater->checkForUpdates();
        if (inDownload) {
            QTRY_VERIFY(updater->isIdle());
            QVERIFY(updater->foundUpdate());
            updater->downloadUpdate();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!failed.isEmpty(), 10000);
        QCOMPARE(failed.count(), 1);
        const UpdateError error = failed.first().first().value<UpdateError>();
        QCOMPARE(UpdateError::name(error.code), failure.toLatin1());
        const QString unreachable = UpdateError{UpdateError::networkFailure, QString()}.message();
        QVERIFY(!error.message().isEmpty());
        QVERIFY2(error.message() != unreachable, qPrintable(error.message()));
        if (response.status >= 400 && !loop)
            QVERIFY2(error.message().contains(QStringLiteral("HTTP %1").arg(response.status)),
                     qPrintable(error.message()));
        QVERIFY(updater->isIdle());
        QCOMPARE(downloadEntries(), QStringList());
        QTRY_COMPARE(m_server.openConnections(), 0);
    }

    // A download whose name is long in bytes is saved under a name shortened by bytes that keeps its
    // extension.
    void longNameDownloads_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("80 CJK characters") << QString(80, QChar(0x6F22)) + u".deb"_s;
        QTest::newRow("130 Latin characters") << QString(130, u'a') + u".deb"_s;
        QString emoji;
        for (int i = 0; i < 60; ++i)
            emoji += QString::fromUcs4(U"\U0001F4E6");
        QTest::newRow("60 emoji") << emoji + u".deb"_s;
        QTest::newRow("Latin-1 and combining accents") << QString(100, u'\u00E9') + QString(40, u'e') + u"\u0301.deb"_s;
    }
    void longNameDownloads()
    {
        QFETCH(QString, name);
        const QString path = QStringLiteral("/files/") + name;
        m_server.setBody(path, m_payload);
        UpdateFeed::Entry entry = package(m_key.sign(m_payload), m_payload.size());
        entry.url = m_server.url(path).toString(QUrl::FullyEncoded);
        serveFeed(UpdateFeed::appcast({entry}), Serve::plain);

        RecordingDelegate delegate;
        const auto updater = checkedUpdater(&delegate);
        QVERIFY(updater && updater->foundUpdate());
        QSignalSpy downloaded(updater.get(), &Updater::updateDownloaded);
        QSignalSpy failed(updater.get(), &Updater::userSessionFailed);
        updater->downloadUpdate();
        QTRY_VERIFY(updater->isIdle());
        QVERIFY2(failed.isEmpty(),
                 failed.isEmpty() ? "" : UpdateError::name(failed.first().first().value<UpdateError>().code));
        QCOMPARE(downloaded.count(), 1);
        const QString saved = QFileInfo(downloaded.first().at(1).toString()).fileName();
        QVERIFY2(saved.endsWith(u".deb"), qPrintable(saved));
        QVERIFY(saved.toUtf8().size() <= UpdateDownloader::maximumNameBytes);
        QVERIFY(saved.toUcs4().size() <= UpdateDownloader::maximumNameLength);
        QVERIFY(name.startsWith(saved.chopped(4)));
        QCOMPARE(readAll(downloaded.first().at(1).toString()), m_payload);
        QCOMPARE(downloadEntries(), QStringList{saved});
    }

    // A download nobody asked for gives way to the user: the offer stays usable while it runs, and the
    // user's check ends it at once, leaves no partial file and reports its own outcome.
    void userCheckCancelsBackgroundDownload()
    {
        serveFeed(feedOffering(m_payload.size()), Serve::plain);
        LoopbackHttpServer::Response stalled;
        stalled.body = m_payload;
        stalled.stallAfter = 100000;
        m_server.setResponse(QStringLiteral("/files/") + packageName, stalled);

        RecordingDelegate delegate;
        auto updater = startedUpdater(&delegate);
        updater->setAutomaticallyDownloadsUpdates(true);
        QSignalSpy found(updater.get(), &Updater::userUpdateFound);
        QSignalSpy failed(updater.get(), &Updater::userSessionFailed);
        updater->checkForUpdatesInBackground();
        QTRY_COMPARE(m_server.requestCount(QStringLiteral("/files/") + packageName), 1);
        QVERIFY(updater->isDownloading());
        QVERIFY(updater->canCheckForUpdates());
        // Another background check does not end it.
        updater->checkForUpdatesInBackground();
        QVERIFY(updater->isDownloading());

        updater->checkForUpdates();
        QVERIFY(updater->isChecking());
        QTRY_COMPARE(m_server.openConnections(), 0);
        QTRY_COMPARE(found.count(), 1);
        QCOMPARE(failed.count(), 0);
        QVERIFY(updater->isIdle());
        QCOMPARE(downloadEntries(), QStringList());
        QCOMPARE(m_server.requestCount(QStringLiteral("/feed.xml")), 2);
    }

    // Cancelling ends a check or a download at once, reports nothing, closes the connection and leaves
    // nothing behind; the next check, a background one too, starts and ends as usual.
    void cancel_data()
    {
        QTest::addColumn<bool>("download"); // else the check is cancelled
        QTest::addColumn<bool>("background"); // a background session the user took over
        QTest::newRow("check") << false << false;
        QTest::newRow("background check taken over") << false << true;
        QTest::newRow("download") << true << false;
    }
    void cancel()
    {
        QFETCH(bool, download);
        QFETCH(bool, background);
        serveFeed(feedOffering(m_payload.size()), Serve::plain);
        LoopbackHttpServer::Response stalled;
        stalled.body = download ? m_payload : feedOffering(m_payload.size());
        stalled.stallAfter = download ? 100000 : 0;
        m_server.setResponse(download ? QStringLiteral("/files/") + packageName : QStringLiteral("/feed.xml"), stalled);

        RecordingDelegate delegate;
        auto updater = startedUpdater(&delegate);
        QSignalSpy changes(updater.get(), &Updater::canCheckForUpdatesChanged);
        QSignalSpy found(updater.get(), &Updater::userUpdateFound);
        QSignalSpy none(updater.get(), &Updater::userUpdateNotFound);
        QSignalSpy failed(updater.get(), &Updater::userSessionFailed);
        QSignalSpy downloaded(updater.get(), &Updater::updateDownloaded);
        if (download) {
            updater->checkForUpdates();
            QTRY_VERIFY(updater->canCheckForUpdates());
            found.clear();
            updater->downloadUpdate();
            QTRY_COMPARE(m_server.requestCount(QStringLiteral("/files/") + packageName), 1);
        } else {
            if (background)
                updater->checkForUpdatesInBackground();
            updater->checkForUpdates();
            QTRY_COMPARE(m_server.requestCount(QStringLiteral("/feed.xml")), 1);
        }
        QVERIFY(!updater->canCheckForUpdates());
        changes.clear();

        updater->cancel();
        QVERIFY(updater->canCheckForUpdates());
        QCOMPARE(changes.count(), 1);
        QVERIFY(!updater->isChecking() && !updater->isDownloading());
        QCOMPARE(downloadEntries(), QStringList());
        QTRY_COMPARE(m_server.openConnections(), 0);
        QCOMPARE(found.count() + none.count() + failed.count() + downloaded.count(), 0);

        serveFeed(UpdateFeed::appcast({}), Serve::plain);
        const QStringList heard = delegate.calls;
        updater->checkForUpdatesInBackground();
        QVERIFY(!updater->canCheckForUpdates());
        QTRY_VERIFY(updater->canCheckForUpdates());
        QCOMPARE(delegate.calls, heard + QStringList{QStringLiteral("none")});
        QCOMPARE(found.count() + none.count() + failed.count() + downloaded.count(), 0);
    }

    // The body reaches the updater in bounded reads, however fast the server sends it.
    void boundedReads()
    {
        const QByteArray large = randomBytes(8 * 1024 * 1024, 5);
        serveFeed(UpdateFeed::appcast({package(m_key.sign(large), large.size())}), Serve::plain);
        m_server.setBody(QStringLiteral("/files/") + packageName, large);
        RecordingDelegate delegate;
        const auto updater = checkedUpdater(&delegate);
        QVERIFY(updater && updater->foundUpdate());
        qint64 last = 0;
        qint64 largestRead = 0;
        connect(updater.get(), &Updater::downloadProgress, this, [&](qint64 received, qint64) {
            largestRead = qMax(largestRead, received - last);
            last = received;
        });
        QSignalSpy downloaded(updater.get(), &Updater::updateDownloaded);
        // A busy GUI thread lets the bytes pile up before it reads them.
        QTimer::singleShot(0, this, [] { QThread::msleep(300); });
        updater->downloadUpdate();
        QTRY_COMPARE(downloaded.count(), 1);
        QCOMPARE(last, large.size());
        QVERIFY2(largestRead <= UpdateRequest::readBufferSize, qPrintable(QString::number(largestRead)));
        QCOMPARE(readAll(downloaded.first().at(1).toString()), large);
    }

    // No check may start before the start, during a session, or without a feed address; a user check
    // without a feed says so, a user check during a background one takes over its outcome.
    void canCheckForUpdates()
    {
        serveFeed(feedOffering(m_payload.size()), Serve::plain);
        RecordingDelegate delegate;
        Updater updater(&delegate);
        updater.setFeedUrl(m_server.url(QStringLiteral("/feed.xml")));
        QSignalSpy changes(&updater, &Updater::canCheckForUpdatesChanged);
        QSignalSpy found(&updater, &Updater::userUpdateFound);
        QVERIFY(!updater.canCheckForUpdates());

        updater.start();
        QVERIFY(updater.canCheckForUpdates());
        updater.checkForUpdatesInBackground();
        QVERIFY(!updater.canCheckForUpdates());
        updater.checkForUpdates();
        updater.checkForUpdatesInBackground();
        QTRY_VERIFY(updater.canCheckForUpdates());
        QCOMPARE(m_server.requestCount(QStringLiteral("/feed.xml")), 1);
        QCOMPARE(found.count(), 1);
        QCOMPARE(changes.count(), 3);
        QCOMPARE(changes.at(1).first().toBool(), false);

        updater.setFeedUrl(QUrl());
        QVERIFY(!updater.canCheckForUpdates());
        QSignalSpy failed(&updater, &Updater::userSessionFailed);
        updater.checkForUpdatesInBackground();
        updater.checkForUpdates();
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().value<UpdateError>().code, UpdateError::notConfigured);
        QCOMPARE(m_server.requestCount(QStringLiteral("/feed.xml")), 1);
    }

    // The delegate's address wins over the configured one; the controller starts its updater.
    void delegateFeedAddress()
    {
        serveFeed(feedOffering(m_payload.size()), Serve::plain);
        RecordingDelegate delegate;
        delegate.feedOverride = m_server.url(QStringLiteral("/feed.xml")).toString();
        StandardUpdaterController controller(true, &delegate);
        Updater* updater = controller.updater();
        updater->setFeedUrl(QUrl(QStringLiteral("ftp://unused.example.org/feed")));
        QVERIFY(updater->isStarted());
        QVERIFY(updater->canCheckForUpdates());
        updater->checkForUpdatesInBackground();
        QTRY_VERIFY(updater->canCheckForUpdates());
        QCOMPARE(delegate.calls, QStringList{QStringLiteral("found:99.1 Beta")});
    }

    // A download is kept in the download folder only when its length and signature are right; every
    // refusal leaves the folder empty, with no partial file either.
    void download_data()
    {
        QTest::addColumn<QByteArray>("signature");
        QTest::addColumn<QByteArray>("served");
        QTest::addColumn<bool>("sendLength");
        QTest::addColumn<QString>("keyText");
        QTest::addColumn<QString>("failure"); // empty: saved

        const QByteArray signature = m_key.sign(m_payload);
        const QString key = m_key.publicKeyBase64();
        QTest::newRow("verified") << signature << m_payload << true << key << "";
        QTest::newRow("verified, streamed") << signature << m_payload << false << key << "";
        QTest::newRow("signature of other bytes") << m_key.sign("other") << m_payload << true << key << "badSignature";
        QTest::newRow("signed by another key")
            << SigningKey().sign(m_payload) << m_payload << true << key << "badSignature";
        QTest::newRow("tampered bytes") << signature << QByteArray(m_payload).replace(0, 1, "\x01") << true << key
                                        << "badSignature";
        QTest::newRow("longer than announced") << signature << m_payload + "tail" << true << key << "lengthMismatch";
        QTest::newRow("longer, streamed") << signature << m_payload + "tail" << false << key << "lengthMismatch";
        QTest::newRow("shorter than announced") << signature << m_payload.chopped(1) << true << key << "lengthMismatch";
        QTest::newRow("no public key") << signature << m_payload << true << ""
                                       << "noPublicKey";
    }
    void download()
    {
        QFETCH(QByteArray, signature);
        QFETCH(QByteArray, served);
        QFETCH(bool, sendLength);
        QFETCH(QString, keyText);
        QFETCH(QString, failure);
        serveFeed(UpdateFeed::appcast({package(signature, m_payload.size())}), Serve::plain);
        m_server.setResponse(QStringLiteral("/files/") + packageName,
                             LoopbackHttpServer::Response{200, served, {}, sendLength});

        RecordingDelegate delegate;
        const auto updater = checkedUpdater(&delegate);
        QVERIFY(updater && updater->foundUpdate());
        updater->setPublicKey(keyText);
        QSignalSpy downloaded(updater.get(), &Updater::updateDownloaded);
        QSignalSpy failed(updater.get(), &Updater::userSessionFailed);

        updater->downloadUpdate();
        QVERIFY(!updater->canCheckForUpdates() || failure == u"noPublicKey");
        QTRY_VERIFY(updater->canCheckForUpdates());
        if (failure.isEmpty()) {
            QCOMPARE(downloaded.count(), 1);
            const QString path = downloaded.first().at(1).toString();
            QCOMPARE(path, QDir(Updater::downloadFolder()).filePath(packageName));
            QCOMPARE(downloaded.first().at(2).toBool(), true);
            QCOMPARE(readAll(path), m_payload);
            QCOMPARE(updater->downloadedFile(), path);
            QCOMPARE(downloadEntries(), QStringList{packageName});
        } else {
            QCOMPARE(downloaded.count(), 0);
            QCOMPARE(failed.count(), 1);
            QCOMPARE(UpdateError::name(failed.first().first().value<UpdateError>().code), failure.toLatin1());
            QCOMPARE(downloadEntries(), QStringList());
            QVERIFY(updater->downloadedFile().isEmpty());
        }
    }

    // A download's redirects keep its scheme and go to allowed addresses only; the target is never asked.
    void downloadRedirected_data()
    {
        QTest::addColumn<bool>("toHttps"); // else to http on another host
        QTest::addColumn<QString>("failure");
        QTest::newRow("to https") << true << "redirectToOtherScheme";
        QTest::newRow("to http elsewhere") << false << "insecureAddress";
    }
    void downloadRedirected()
    {
        QFETCH(bool, toHttps);
        QFETCH(QString, failure);
        serveFeed(feedOffering(m_payload.size()), Serve::plain);
        QUrl target = m_server.url(QStringLiteral("/elsewhere.deb"));
        if (toHttps)
            target.setScheme(QStringLiteral("https"));
        else
            target = onOtherHost(target);
        m_server.setRedirect(QStringLiteral("/files/") + packageName, target);
        m_server.setBody(QStringLiteral("/elsewhere.deb"), m_payload);

        RecordingDelegate delegate;
        const auto updater = checkedUpdater(&delegate);
        QVERIFY(updater && updater->foundUpdate());
        QSignalSpy failed(updater.get(), &Updater::userSessionFailed);
        updater->downloadUpdate();
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(UpdateError::name(failed.first().first().value<UpdateError>().code), failure.toLatin1());
        QCOMPARE(downloadEntries(), QStringList());
        QCOMPARE(m_server.requestCount(QStringLiteral("/elsewhere.deb")), 0);
    }

    // A file of the same name stays as it was; the download takes the next free name.
    void existingFileKept()
    {
        QVERIFY(writeFile(QDir(Updater::downloadFolder()).filePath(packageName), "mine"));
        serveFeed(feedOffering(m_payload.size()), Serve::plain);
        RecordingDelegate delegate;
        const auto updater = checkedUpdater(&delegate);
        QVERIFY(updater && updater->foundUpdate());
        QSignalSpy downloaded(updater.get(), &Updater::updateDownloaded);
        updater->downloadUpdate();
        QTRY_COMPARE(downloaded.count(), 1);
        const QString renamed = QStringLiteral("tarn-backup-manager_99.1_amd64 (1).deb");
        QCOMPARE(downloaded.first().at(1).toString(), QDir(Updater::downloadFolder()).filePath(renamed));
        QCOMPARE(readAll(QDir(Updater::downloadFolder()).filePath(packageName)), QByteArray("mine"));
        QCOMPARE(readAll(QDir(Updater::downloadFolder()).filePath(renamed)), m_payload);
    }

    void cancelledDownload()
    {
        serveFeed(feedOffering(m_payload.size()), Serve::plain);
        RecordingDelegate delegate;
        const auto updater = checkedUpdater(&delegate);
        QVERIFY(updater && updater->foundUpdate());
        QSignalSpy failed(updater.get(), &Updater::userSessionFailed);
        QSignalSpy downloaded(updater.get(), &Updater::updateDownloaded);
        updater->downloadUpdate();
        QVERIFY(updater->isDownloading());
        updater->cancel();
        QVERIFY(!updater->isDownloading());
        QVERIFY(updater->canCheckForUpdates());
        QCOMPARE(failed.count(), 0);
        QCOMPARE(downloaded.count(), 0);
        QCOMPARE(downloadEntries(), QStringList());
    }

    // A disk that refuses the download's bytes (full, too small) while the server still sends ends the
    // download with a file error and leaves nothing behind; the next check can start.
    void writeFailureEndsTheDownload()
    {
        const QByteArray large = randomBytes(4 * 1024 * 1024, 3);
        serveFeed(UpdateFeed::appcast({package(m_key.sign(large), large.size())}), Serve::plain);
        LoopbackHttpServer::Response file;
        file.body = large;
        m_server.setResponse(QStringLiteral("/files/") + packageName, file);
        RecordingDelegate delegate;
        const auto updater = checkedUpdater(&delegate);
        QVERIFY(updater && updater->foundUpdate());
        QSignalSpy failed(updater.get(), &Updater::userSessionFailed);
        // Files of this process may grow to 100 KiB only; a write past it fails with EFBIG.
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit small = previous;
        small.rlim_cur = 100 * 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        updater->downloadUpdate();
        const bool ended = QTest::qWaitFor([&] { return !failed.isEmpty() && updater->canCheckForUpdates(); }, 20000);
        // Bytes already on their way to the stopped transfer arrive meanwhile; none may reach the writer.
        QTest::qWait(500);
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(ended);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().value<UpdateError>().code, UpdateError::fileError);
        QVERIFY(!updater->isDownloading());
        QCOMPARE(downloadEntries(), QStringList());
    }

    // With automatic downloads on, a background check that finds an update downloads it silently,
    // once; with both automatic settings on, starting schedules that check by itself.
    void automaticDownload()
    {
        serveFeed(feedOffering(m_payload.size()), Serve::plain);
        RecordingDelegate delegate;
        Updater updater(&delegate);
        updater.setFeedUrl(m_server.url(QStringLiteral("/feed.xml")));
        updater.setPublicKey(m_key.publicKeyBase64());
        updater.setAutomaticallyDownloadsUpdates(true);
        updater.setLaunchCheckDelay(0);
        QSignalSpy downloaded(&updater, &Updater::updateDownloaded);
        QSignalSpy found(&updater, &Updater::userUpdateFound);
        updater.start();

        QTRY_COMPARE(downloaded.count(), 1);
        QCOMPARE(downloaded.first().at(2).toBool(), false);
        QCOMPARE(found.count(), 0);
        QCOMPARE(delegate.calls, QStringList{QStringLiteral("found:99.1 Beta")});
        QCOMPARE(updater.downloadedFile(), QDir(Updater::downloadFolder()).filePath(packageName));

        // Counted from here: a request that an earlier test cancelled may still reach the server.
        const int fetched = m_server.requestCount(QStringLiteral("/files/") + packageName);
        updater.checkForUpdatesInBackground();
        QTRY_VERIFY(updater.canCheckForUpdates());
        QCOMPARE(m_server.requestCount(QStringLiteral("/files/") + packageName), fetched);
        QCOMPARE(downloaded.count(), 1);
        QCOMPARE(downloadEntries(), QStringList{packageName});
    }

    // With automatic downloads on, three launches in a row download an update once: later launches
    // find the remembered file and offer it while it is there and its bytes still verify; a newer
    // version replaces it.
    void keptDownload_data()
    {
        QTest::addColumn<QString>("between"); // what happens to the first download before the second launch
        QTest::addColumn<int>("downloads");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("kept"); // the file the last launch offers
        const QString renamed = QStringLiteral("tarn-backup-manager_99.1_amd64 (1).deb");
        QTest::newRow("kept") << "nothing" << 1 << QStringList{packageName} << packageName;
        QTest::newRow("file removed") << "remove" << 2 << QStringList{packageName} << packageName;
        QTest::newRow("file altered") << "alter" << 2 << QStringList{renamed, packageName} << renamed;
        QTest::newRow("record names another file") << "repoint" << 2 << QStringList{renamed, packageName} << renamed;
        QTest::newRow("newer version") << "newer" << 2
                                       << QStringList{packageName, QStringLiteral("tarn-backup-manager_99.2_amd64.deb")}
                                       << QStringLiteral("tarn-backup-manager_99.2_amd64.deb");
    }
    void keptDownload()
    {
        QFETCH(QString, between);
        QFETCH(int, downloads);
        QFETCH(QStringList, entries);
        QFETCH(QString, kept);
        serveFeed(feedOffering(m_payload.size()), Serve::plain);
        const QString folder = Updater::downloadFolder();
        int feedRequests = 0;
        const auto launch = [&] {
            RecordingDelegate delegate;
            auto updater = std::make_unique<Updater>(&delegate);
            updater->setFeedUrl(m_server.url(QStringLiteral("/feed.xml")));
            updater->setPublicKey(m_key.publicKeyBase64());
            updater->setAutomaticallyDownloadsUpdates(true);
            updater->setLaunchCheckDelay(0);
            updater->start();
            ++feedRequests;
            return QTest::qWaitFor([&] {
                return m_server.requestCount(QStringLiteral("/feed.xml")) == feedRequests && updater->isIdle() &&
                    updater->canCheckForUpdates();
            });
        };

        QVERIFY(launch());
        QCOMPARE(m_server.requestCount(QStringLiteral("/files/") + packageName), 1);
        const QString first = QDir(folder).filePath(packageName);
        if (between == u"remove") {
            QVERIFY(QFile::remove(first));
        } else if (between == u"alter") {
            QFile file(first);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.write("\x01") == 1);
        } else if (between == u"repoint") {
            // Another file of the same length: the record alone does not make it the update.
            const QString other = QDir::home().filePath(QStringLiteral("other.deb"));
            QVERIFY(writeFile(other, QByteArray(m_payload.size(), 'x')));
            QSettings().setValue(QStringLiteral("downloadedUpdate/path"), other);
        } else if (between == u"newer") {
            const QByteArray newer = randomBytes(1000, 9);
            const QString name = QStringLiteral("tarn-backup-manager_99.2_amd64.deb");
            m_server.setBody(QStringLiteral("/files/") + name, newer);
            serveFeed(UpdateFeed::appcast({UpdateFeed::Entry{QStringLiteral("99.2"), QString(),
                                                             m_server.url(QStringLiteral("/files/") + name).toString(),
                                                             newer.size(), m_key.sign(newer)}}),
                      Serve::plain);
        }
        QVERIFY(launch());
        QVERIFY(launch());
        QCOMPARE(m_server.requestCount(QStringLiteral("/files/") + packageName) +
                     (between == u"newer" ? m_server.requestCount(u"/files/tarn-backup-manager_99.2_amd64.deb"_s) : 0),
                 downloads);
        QCOMPARE(downloadEntries(), entries);

        // A check the user asks for offers the kept file.
        RecordingDelegate delegate;
        const auto updater = checkedUpdater(&delegate);
        QVERIFY(updater && updater->foundUpdate());
        QCOMPARE(updater->downloadedFile(), QDir(folder).filePath(kept));
    }

    // Defaults: checks on, downloads off; values persist in the settings and only changes are announced.
    void settingsPersist()
    {
        {
            Updater updater(nullptr);
            QCOMPARE(updater.automaticallyChecksForUpdates(), true);
            QCOMPARE(updater.automaticallyDownloadsUpdates(), false);
            QSignalSpy checks(&updater, &Updater::automaticallyChecksForUpdatesChanged);
            QSignalSpy downloads(&updater, &Updater::automaticallyDownloadsUpdatesChanged);
            updater.setAutomaticallyChecksForUpdates(false);
            updater.setAutomaticallyChecksForUpdates(false);
            updater.setAutomaticallyDownloadsUpdates(true);
            QCOMPARE(checks.count(), 1);
            QCOMPARE(downloads.count(), 1);
        }
        Updater later(nullptr);
        QCOMPARE(later.automaticallyChecksForUpdates(), false);
        QCOMPARE(later.automaticallyDownloadsUpdates(), true);
    }
};

TARN_TEST_MAIN(TestUpdater)
#include "TestUpdater.moc"
