#include "app/updates/UpdateAlertPresenter.h"
#include "kit/controls/LottieView.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCommon.h"
#include "kit/dialogs/SheetOverlay.h"
#include "kit/theme/Motion.h"
#include "platform/updates/Updater.h"
#include "tests/app/updates/UrlRecorder.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestMain.h"
#include "tests/support/UpdateFeedFixture.h"

#include <QDir>
#include <QLabel>
#include <QSettings>

using namespace Qt::StringLiterals;

namespace {

const QString packagePath = u"/files/tarn-backup-manager_99.1_amd64.deb"_s;

// The open card of a presenter, as the user sees it.
struct Card
{
    AlertCommon* alert = nullptr;

    explicit Card(UpdateAlertPresenter* presenter)
        : alert(presenter->currentCard() ? qobject_cast<AlertCommon*>(presenter->currentCard()->card()) : nullptr)
    {
    }
    QString title() const { return alert->titleLabel()->text(); }
    QLabel* message() const { return qobject_cast<QLabel*>(alert->content()); }
    QStringList buttons() const
    {
        QStringList titles;
        for (const TrendyButtonHelper* button : alert->buttonViews())
            titles << button->fields().text.value_or(QString());
        return titles;
    }
    void tap(const QString& title) const
    {
        const qsizetype index = buttons().indexOf(title);
        QVERIFY2(index >= 0, qPrintable(title));
        QTest::mouseClick(alert->buttonViews().at(index), Qt::LeftButton);
    }
};

QString message(UpdateError::Code code)
{
    return UpdateError{code, QString()}.message();
}

QStringList downloadEntries()
{
    return QDir(Updater::downloadFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestUpdateAlertPresenter : public QObject
{
    Q_OBJECT

    LoopbackHttpServer m_server;
    SigningKey m_key;
    const QByteArray m_payload = randomBytes(50000, 3);

    QByteArray feed(const QString& shortVersion, const QByteArray& signature) const
    {
        return UpdateFeed::appcast({UpdateFeed::Entry{u"99.1"_s, shortVersion, m_server.url(packagePath).toString(),
                                                      m_payload.size(), signature}});
    }

    // A shown window and an updater reading the test server's feed; checks report into the window.
    struct Session
    {
        QWidget window;
        Updater updater{nullptr};
        UpdateAlertPresenter* presenter = UpdateAlertPresenter::forUpdater(&updater);

        Session(TestUpdateAlertPresenter* test)
        {
            window.resize(700, 450);
            window.show();
            updater.setFeedUrl(test->m_server.url(u"/feed.xml"_s));
            updater.setPublicKey(test->m_key.publicKeyBase64());
            updater.start();
        }
        void check() { UpdateAlertPresenter::checkForUpdates(&updater, &window); }
        Card card() const { return Card(presenter); }
        // A card other than the running check's.
        bool showsOutcome() const { return card().alert && card().title() != u"Suche nach Updates …"_s; }
    };

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_server.isListening());
        Motion::setDefaultDuration(0);
    }
    void init()
    {
        QSettings().clear();
        QDir(Updater::downloadFolder()).removeRecursively();
        m_server.setBody(packagePath, m_payload);
    }

    // What a check the user asked for shows: feed texts as plain text, each refusal with its reason.
    void checkOutcome_data()
    {
        QTest::addColumn<QByteArray>("served");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("buttons");
        const QString current = QStringLiteral(TARN_VERSION);
        const QByteArray signature = m_key.sign(m_payload);
        QTest::newRow("found") << feed(u"99.1 Beta"_s, signature) << u"Update verfügbar"_s
                               << u"Die Version 99.1 Beta ist verfügbar. Du verwendest die Version "_s + current +
                u"."_s << QStringList{u"Später"_s, u"Herunterladen"_s};
        QTest::newRow("markup stays text")
            << feed(u"<b>99</b>"_s, signature) << u"Update verfügbar"_s
            << u"Die Version <b>99</b> ist verfügbar. Du verwendest die Version "_s + current + u"."_s
            << QStringList{u"Später"_s, u"Herunterladen"_s};
        QTest::newRow("bold marks stay text")
            << feed(u"**9.9 GRATIS**"_s, signature) << u"Update verfügbar"_s
            << u"Die Version **9.9 GRATIS** ist verfügbar. Du verwendest die Version "_s + current + u"."_s
            << QStringList{u"Später"_s, u"Herunterladen"_s};
        QTest::newRow("none") << UpdateFeed::appcast({}) << u"Kein Update verfügbar"_s
                              << u"Du verwendest die neueste Version ("_s + current + u")."_s << QStringList{u"OK"_s};
        QTest::newRow("malformed") << QByteArray("<rss>") << u"Update nicht möglich"_s
                                   << message(UpdateError::malformedFeed) << QStringList{u"OK"_s};
        QTest::newRow("too large") << QByteArray(Updater::maximumFeedSize + 1, ' ') << u"Update nicht möglich"_s
                                   << message(UpdateError::feedTooLarge) << QStringList{u"OK"_s};
    }
    void checkOutcome()
    {
        QFETCH(QByteArray, served);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(QStringList, buttons);
        m_server.setBody(u"/feed.xml"_s, served);
        Session session(this);
        session.check();
        QTRY_VERIFY(session.showsOutcome());
        QCOMPARE(session.presenter->currentCard()->parentWidget(), &session.window);
        const Card card = session.card();
        QCOMPARE(card.title(), title);
        QCOMPARE(card.message()->text(), message);
        QCOMPARE(card.message()->textFormat(), Qt::PlainText);
        QCOMPARE(card.buttons(), buttons);
    }

    // "Herunterladen" shows the progress, then the saved file, and opens its folder; a refused download
    // says why, opens nothing and leaves nothing in the download folder.
    void download_data()
    {
        QTest::addColumn<QByteArray>("signature");
        QTest::addColumn<QByteArray>("served");
        QTest::addColumn<QString>("failure"); // empty: saved
        const QByteArray signature = m_key.sign(m_payload);
        QTest::newRow("verified") << signature << m_payload << QString();
        QTest::newRow("bad signature") << m_key.sign("else") << m_payload << message(UpdateError::badSignature);
        QTest::newRow("wrong length") << signature << m_payload + "x" << message(UpdateError::lengthMismatch);
    }
    void download()
    {
        QFETCH(QByteArray, signature);
        QFETCH(QByteArray, served);
        QFETCH(QString, failure);
        m_server.setBody(u"/feed.xml"_s, feed(QString(), signature));
        m_server.setBody(packagePath, served);
        UrlRecorder fileManager(u"file"_s);
        Session session(this);
        session.check();
        QTRY_VERIFY(session.showsOutcome());
        session.card().tap(u"Herunterladen"_s);
        QCOMPARE(session.card().title(), u"Update wird heruntergeladen"_s);
        QCOMPARE(session.card().buttons(), QStringList{u"Abbrechen"_s});

        QTRY_VERIFY(session.card().title() != u"Update wird heruntergeladen"_s);
        if (failure.isEmpty()) {
            QCOMPARE(session.card().title(), u"Update heruntergeladen"_s);
            QVERIFY(session.card().message()->text().contains(u"tarn-backup-manager_99.1_amd64.deb"_s));
            QCOMPARE(fileManager.opened, QList<QUrl>{QUrl::fromLocalFile(Updater::downloadFolder())});
            QCOMPARE(downloadEntries(), QStringList{u"tarn-backup-manager_99.1_amd64.deb"_s});
        } else {
            QCOMPARE(session.card().title(), u"Update nicht möglich"_s);
            QCOMPARE(session.card().message()->text(), failure);
            QVERIFY(fileManager.opened.isEmpty());
            QCOMPARE(downloadEntries(), QStringList());
        }
    }

    // Feed texts (the version and the file name) show as they are in every card that names them.
    void feedTextStaysPlain()
    {
        const QString name = u"**GRATIS**.deb"_s;
        m_server.setBody(u"/files/"_s + name, m_payload);
        m_server.setBody(u"/feed.xml"_s,
                         UpdateFeed::appcast({UpdateFeed::Entry{u"99.1"_s, u"**9.9 GRATIS**"_s,
                                                                m_server.url(u"/files/"_s + name).toString(),
                                                                m_payload.size(), m_key.sign(m_payload)}}));
        UrlRecorder fileManager(u"file"_s);
        Session session(this);
        const auto shows = [&](const QString& title) {
            const Card card = session.card();
            return card.alert && card.title() == title && card.message()->textFormat() == Qt::PlainText &&
                card.message()->text().contains(u"**9.9 GRATIS**"_s);
        };
        session.check();
        QTRY_VERIFY(shows(u"Update verfügbar"_s));
        session.card().tap(u"Herunterladen"_s);
        QTRY_VERIFY(shows(u"Update heruntergeladen"_s));
        QVERIFY(session.card().message()->text().contains(name));
        session.check();
        QTRY_VERIFY(shows(u"Update verfügbar"_s) && session.card().message()->text().contains(name));
        QCOMPARE(session.card().buttons(), (QStringList{u"OK"_s, u"Im Ordner zeigen"_s}));
    }

    // A check the user started shows "Suche nach Updates …" while it runs, also one that was running in
    // the background; "Abbrechen" ends it at once and the next check runs as usual. A server that
    // trickles meets the deadline.
    void checkingCard_data()
    {
        QTest::addColumn<int>("stallAfter");
        QTest::addColumn<int>("pieceInterval"); // ms between bytes; 0: all at once
        QTest::addColumn<bool>("background"); // the user asks while a background check runs
        QTest::addColumn<QString>("cancel"); // "tap" its button, press "Return" (its default), or none
        QTest::addColumn<QString>("title"); // the card that follows; empty: none
        QTest::addColumn<QString>("message");
        QTest::newRow("answered") << -1 << 0 << false << QString() << u"Kein Update verfügbar"_s
                                  << u"Du verwendest die neueste Version ("_s + QStringLiteral(TARN_VERSION) + u")."_s;
        QTest::newRow("cancelled") << 0 << 0 << false << u"tap"_s << QString() << QString();
        QTest::newRow("background check cancelled by keyboard")
            << 0 << 0 << true << u"Return"_s << QString() << QString();
        QTest::newRow("trickling server")
            << -1 << 20 << false << QString() << u"Update nicht möglich"_s << message(UpdateError::timedOut);
    }
    void checkingCard()
    {
        QFETCH(int, stallAfter);
        QFETCH(int, pieceInterval);
        QFETCH(bool, background);
        QFETCH(QString, cancel);
        QFETCH(QString, title);
        QFETCH(QString, message);
        LoopbackHttpServer::Response served;
        served.body = UpdateFeed::appcast({});
        served.stallAfter = stallAfter;
        served.pieceSize = pieceInterval > 0 ? 1 : 0;
        served.pieceInterval = pieceInterval;
        m_server.setResponse(u"/feed.xml"_s, served);
        Session session(this);
        session.updater.setDeadlines(UpdateDeadlines{500, 500, 500, 1 << 30});
        if (background)
            session.updater.checkForUpdatesInBackground();
        QVERIFY(!session.presenter->currentCard());

        session.check();
        QVERIFY(session.presenter->currentCard());
        QCOMPARE(session.card().title(), u"Suche nach Updates …"_s);
        QCOMPARE(session.card().buttons(), QStringList{u"Abbrechen"_s});
        // Its body says what runs, with an animation that plays.
        QVERIFY(session.card().alert->content());
        const auto* says = session.card().alert->content()->findChild<QLabel*>();
        QVERIFY(says && says->isVisible() && !says->text().isEmpty());
        const auto* busy = session.card().alert->content()->findChild<LottieView*>();
        QVERIFY(busy && busy->isVisible() && busy->isLoaded());
        QVERIFY(busy->isPlaying());
        QVERIFY(!session.updater.canCheckForUpdates());
        if (!cancel.isEmpty()) {
            QTRY_COMPARE(m_server.openConnections(), 1);
            if (cancel == u"tap")
                session.card().tap(u"Abbrechen"_s);
            else
                QTest::keyClick(session.card().alert, Qt::Key_Return);
            QVERIFY(!session.presenter->currentCard());
            QVERIFY(session.updater.canCheckForUpdates());
            QTRY_COMPARE(m_server.openConnections(), 0);
        } else {
            QTRY_VERIFY(session.showsOutcome());
            QCOMPARE(session.card().title(), title);
            QCOMPARE(session.card().message()->text(), message);
            QVERIFY(session.updater.canCheckForUpdates());
        }

        // The next check, from a server that answers.
        m_server.setBody(u"/feed.xml"_s, UpdateFeed::appcast({}));
        session.check();
        QCOMPARE(session.card().title(), u"Suche nach Updates …"_s);
        QTRY_VERIFY(session.showsOutcome());
        QCOMPARE(session.card().title(), u"Kein Update verfügbar"_s);
    }

    void cancelDownload()
    {
        m_server.setBody(u"/feed.xml"_s, feed(QString(), m_key.sign(m_payload)));
        UrlRecorder fileManager(u"file"_s);
        Session session(this);
        session.check();
        QTRY_VERIFY(session.showsOutcome());
        session.card().tap(u"Herunterladen"_s);
        session.card().tap(u"Abbrechen"_s);
        QVERIFY(!session.presenter->currentCard());
        QVERIFY(session.updater.canCheckForUpdates());
        QCOMPARE(downloadEntries(), QStringList());
        QVERIFY(fileManager.opened.isEmpty());
    }

    // Background sessions show nothing, also when they download; a later user check offers the folder of
    // the file already saved.
    void backgroundIsSilent()
    {
        m_server.setBody(u"/feed.xml"_s, feed(QString(), m_key.sign(m_payload)));
        UrlRecorder fileManager(u"file"_s);
        Session session(this);
        session.updater.setAutomaticallyDownloadsUpdates(true);
        QSignalSpy downloaded(&session.updater, &Updater::updateDownloaded);
        session.updater.checkForUpdatesInBackground();
        QTRY_COMPARE(downloaded.count(), 1);
        QVERIFY(!session.presenter->currentCard());
        QVERIFY(fileManager.opened.isEmpty());

        session.check();
        QTRY_VERIFY(session.showsOutcome());
        QCOMPARE(session.card().buttons(), (QStringList{u"OK"_s, u"Im Ordner zeigen"_s}));
        session.card().tap(u"Im Ordner zeigen"_s);
        QCOMPARE(fileManager.opened, QList<QUrl>{QUrl::fromLocalFile(Updater::downloadFolder())});
    }

    // Cards belong to the widget the check came from: hiding it (as a logout hides the main screen)
    // closes them, and while it is hidden no card shows, in no other window either.
    void cardsFollowTheirHost()
    {
        m_server.setBody(u"/feed.xml"_s, UpdateFeed::appcast({}));
        Session session(this);
        auto* screen = new QWidget(&session.window);
        screen->resize(300, 200);
        screen->show();
        QWidget other;
        other.show();

        UpdateAlertPresenter::checkForUpdates(&session.updater, screen);
        QTRY_VERIFY(session.presenter->currentCard());
        QCOMPARE(session.presenter->currentCard()->parentWidget(), &session.window);
        screen->hide();
        QVERIFY(!session.presenter->currentCard());

        UpdateAlertPresenter::checkForUpdates(&session.updater, screen);
        QTRY_VERIFY(session.updater.canCheckForUpdates());
        QVERIFY(!session.presenter->currentCard());
        QVERIFY(SheetOverlay::overlays(&session.window).isEmpty());
        QVERIFY(SheetOverlay::overlays(&other).isEmpty());
    }
};

TARN_TEST_GUI_MAIN(TestUpdateAlertPresenter)
#include "TestUpdateAlertPresenter.moc"
