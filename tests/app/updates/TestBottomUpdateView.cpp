#include "app/updates/AccessoryBarButton.h"
#include "app/updates/BottomUpdateView.h"
#include "app/updates/CheckForUpdatesView.h"
#include "app/updates/CheckForUpdatesViewModel.h"
#include "app/updates/UpdateAlertPresenter.h"
#include "app/updates/UpdaterDelegate.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCommon.h"
#include "kit/dialogs/SheetOverlay.h"
#include "kit/theme/Motion.h"
#include "kit/theme/TarnColor.h"
#include "tests/app/updates/UrlRecorder.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestMain.h"
#include "tests/support/UpdateFeedFixture.h"

#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const AppcastItem found{u"99.1"_s, u"99.1 Beta"_s, QUrl(), 1, QByteArray()};

QString cardTitle(SheetOverlay* card)
{
    return qobject_cast<AlertCommon*>(card->card())->titleLabel()->text();
}

// The main window's bottom: the bar under empty content, over a real updater and delegate.
struct Bar
{
    UpdaterDelegate delegate;
    Updater updater{&delegate};
    CheckForUpdatesViewModel viewModel{&updater};
    QWidget window;
    BottomUpdateView* view = new BottomUpdateView(&viewModel, &delegate);

    Bar()
    {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addStretch();
        layout->addWidget(view);
        window.resize(900, 500);
        window.show();
    }
    AccessoryBarButton* offer() const { return view->checkForUpdatesView()->button(); }
};

} // namespace

class TestBottomUpdateView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Motion::setDefaultDuration(0); }

    // "v." + the version in the middle of the 20-pixel bar; a click opens the release notes.
    void versionOpensReleaseNotes()
    {
        Bar bar;
        bar.view->setReleaseNotesSite(u"https://tarn.example.org"_s);
        QCOMPARE(bar.view->height(), 20);
        QCOMPARE(bar.view->width(), 900);
        QCOMPARE(bar.view->versionButton()->text(), u"v."_s + QStringLiteral(TARN_VERSION));
        const QRect version = bar.view->versionButton()->geometry();
        QVERIFY(qAbs(version.left() - (bar.view->width() - 1 - version.right())) <= 1);

        UrlRecorder browser(u"https"_s);
        QTest::mouseClick(bar.view->versionButton(), Qt::LeftButton);
        QCOMPARE(browser.opened,
                 QList<QUrl>{QUrl(u"https://tarn.example.org/updates/releasenotes/"_s + QStringLiteral(TARN_VERSION) +
                                  u".html"_s)});
    }

    void releaseNotesUrl_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("url"); // empty: none
        const QString page = u"/updates/releasenotes/"_s + QStringLiteral(TARN_VERSION) + u".html"_s;
        QTest::newRow("site") << u"https://tarn.example.org"_s << u"https://tarn.example.org"_s + page;
        QTest::newRow("trailing slash") << u"https://tarn.example.org/"_s << u"https://tarn.example.org"_s + page;
        QTest::newRow("site below a path") << u"http://example.org/tarn"_s << u"http://example.org/tarn"_s + page;
        QTest::newRow("not configured") << QString() << QString();
        QTest::newRow("no address") << u"tarn example"_s << QString();
        QTest::newRow("not the web") << u"file:///etc"_s << QString();
    }
    void releaseNotesUrl()
    {
        QFETCH(QString, site);
        QFETCH(QString, url);
        Bar bar;
        bar.view->setReleaseNotesSite(site);
        const std::optional<QUrl> address = bar.view->releaseNotesUrl();
        QCOMPARE(address ? address->toString() : QString(), url);
    }

    // Without a version the button is empty and its click does nothing.
    void withoutVersion()
    {
        const QString version = QCoreApplication::applicationVersion();
        QCoreApplication::setApplicationVersion(QString());
        Bar bar;
        bar.view->setReleaseNotesSite(u"https://tarn.example.org"_s);
        QCoreApplication::setApplicationVersion(version);
        QCOMPARE(bar.view->versionButton()->text(), QString());
        QCoreApplication::setApplicationVersion(QString());
        UrlRecorder browser(u"https"_s);
        QTest::mouseClick(bar.view->versionButton(), Qt::LeftButton);
        QCoreApplication::setApplicationVersion(version);
        QVERIFY(browser.opened.isEmpty());
    }

    // The offer shows while an update is available, with its version, at the trailing end; a later
    // "none" takes it away. It is disabled while no check may start.
    void offerFollowsTheDelegate()
    {
        Bar bar;
        QVERIFY(!bar.view->checkForUpdatesView()->isOffered());

        bar.delegate.didFindValidUpdate(&bar.updater, found);
        QTRY_VERIFY(bar.view->checkForUpdatesView()->isOffered());
        QCOMPARE(bar.offer()->text(), u"Update verfügbar v.99.1 Beta"_s);
        QVERIFY(bar.offer()->hasImage());
        QCOMPARE(bar.offer()->textColor(), TarnColor::accentColor());
        QTRY_COMPARE(bar.view->checkForUpdatesView()->geometry().right(), bar.view->width() - 1 - 4);
        QVERIFY(!bar.offer()->isEnabled());

        bar.updater.setFeedUrl(QUrl(u"http://127.0.0.1:9/feed.xml"_s));
        bar.updater.start();
        QVERIFY(bar.offer()->isEnabled());

        bar.delegate.didNotFindUpdate(&bar.updater);
        QTRY_VERIFY(!bar.view->checkForUpdatesView()->isOffered());
    }

    // The offer fades and scales in, and out again keeping the version it offered.
    void offerTransition()
    {
        Motion::setDefaultDuration(350);
        Bar bar;
        bar.delegate.didFindValidUpdate(&bar.updater, found);
        QTRY_VERIFY(bar.view->checkForUpdatesView()->isOffered());
        QVERIFY(bar.offer()->appearance() < 1.0);
        QTRY_COMPARE(bar.offer()->appearance(), 1.0);

        bar.delegate.didNotFindUpdate(&bar.updater);
        QTRY_VERIFY(bar.delegate.availableUpdateVersion().isEmpty());
        QVERIFY(bar.view->checkForUpdatesView()->isOffered());
        QCOMPARE(bar.offer()->text(), u"Update verfügbar v.99.1 Beta"_s);
        QTRY_VERIFY(!bar.view->checkForUpdatesView()->isOffered());
        QCOMPARE(bar.offer()->appearance(), 0.0);
    }

    // A click on the offer is a check the user asked for: its outcome shows in the bar's window, and the
    // offer is disabled while the check runs.
    void offerChecksForUpdates()
    {
        LoopbackHttpServer server;
        server.setBody(u"/feed.xml"_s, UpdateFeed::appcast({}));
        Bar bar;
        bar.updater.setFeedUrl(server.url(u"/feed.xml"_s));
        bar.updater.start();
        bar.delegate.didFindValidUpdate(&bar.updater, found);
        QTRY_VERIFY(bar.offer()->isVisible());

        QTest::mouseClick(bar.offer(), Qt::LeftButton);
        QVERIFY(!bar.offer()->isEnabled());
        SheetOverlay* card = nullptr;
        QTRY_VERIFY((card = UpdateAlertPresenter::forUpdater(&bar.updater)->currentCard()) &&
                    cardTitle(card) != u"Suche nach Updates …"_s);
        QCOMPARE(card->parentWidget(), &bar.window);
        QCOMPARE(cardTitle(card), u"Kein Update verfügbar"_s);
        QTRY_VERIFY(!bar.view->checkForUpdatesView()->isOffered());
        QVERIFY(card->isVisible());
    }

    // A check of a server that does not answer shows its card; "Abbrechen" enables the offer again at
    // once, and the next check, a background one too, runs.
    void cancelledCheckFreesTheOffer()
    {
        LoopbackHttpServer server;
        LoopbackHttpServer::Response stalled;
        stalled.body = UpdateFeed::appcast({});
        stalled.stallAfter = 0;
        server.setResponse(u"/feed.xml"_s, stalled);
        Bar bar;
        bar.updater.setFeedUrl(server.url(u"/feed.xml"_s));
        bar.updater.start();
        bar.delegate.didFindValidUpdate(&bar.updater, found);
        QTRY_VERIFY(bar.offer()->isVisible());

        QTest::mouseClick(bar.offer(), Qt::LeftButton);
        QVERIFY(!bar.offer()->isEnabled());
        SheetOverlay* card = UpdateAlertPresenter::forUpdater(&bar.updater)->currentCard();
        QVERIFY(card);
        QCOMPARE(card->parentWidget(), &bar.window);
        QCOMPARE(cardTitle(card), u"Suche nach Updates …"_s);
        auto* alert = qobject_cast<AlertCommon*>(card->card());
        QCOMPARE(alert->buttonViews().size(), 1);
        QTRY_COMPARE(server.openConnections(), 1);
        QTest::mouseClick(alert->buttonViews().first(), Qt::LeftButton);
        QVERIFY(bar.offer()->isEnabled());
        QVERIFY(!UpdateAlertPresenter::forUpdater(&bar.updater)->currentCard());

        server.setBody(u"/feed.xml"_s, UpdateFeed::appcast({}));
        bar.updater.checkForUpdatesInBackground();
        QVERIFY(!bar.offer()->isEnabled());
        QTRY_VERIFY(!bar.view->checkForUpdatesView()->isOffered());
        QVERIFY(bar.offer()->isEnabled());
        QVERIFY(!UpdateAlertPresenter::forUpdater(&bar.updater)->currentCard());
    }
};

TARN_TEST_GUI_MAIN(TestBottomUpdateView)
#include "TestBottomUpdateView.moc"
