#include "app/updates/UpdaterDelegate.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestMain.h"
#include "tests/support/UpdateFeedFixture.h"

#include <QSignalSpy>
#include <QThread>

#include <thread>

using namespace Qt::StringLiterals;

namespace {

QByteArray feedOffering(const QString& version, const QString& display)
{
    return UpdateFeed::appcast(
        {UpdateFeed::Entry{version, display, u"http://127.0.0.1/u.deb"_s, 10, QByteArray(64, 'S')}});
}

} // namespace

class TestUpdaterDelegate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The state follows each completed check: found after none shows the version, none after found clears
    // it, a refused feed leaves it as it was. Each report sets the flag first, then the version.
    void followsTheChecks()
    {
        LoopbackHttpServer server;
        QVERIFY(server.isListening());
        UpdaterDelegate delegate;
        Updater updater(&delegate);
        updater.setFeedUrl(server.url(u"/feed.xml"_s));
        updater.start();
        QStringList changes;
        connect(&delegate, &UpdaterDelegate::isUpdateAvailableChanged, this,
                [&] { changes << u"available:"_s + (delegate.isUpdateAvailable() ? u"yes"_s : u"no"_s); });
        connect(&delegate, &UpdaterDelegate::availableUpdateVersionChanged, this,
                [&] { changes << u"version:"_s + delegate.availableUpdateVersion(); });
        const auto check = [&](const QByteArray& feed) {
            server.setBody(u"/feed.xml"_s, feed);
            updater.checkForUpdatesInBackground();
            QTRY_VERIFY(updater.canCheckForUpdates());
            QCoreApplication::processEvents(); // the delegate's queued change
        };

        check(UpdateFeed::appcast({}));
        QCOMPARE(changes, QStringList());
        check(feedOffering(u"99.1"_s, u"99.1 Beta"_s));
        QCOMPARE(changes, (QStringList{u"available:yes"_s, u"version:99.1 Beta"_s}));
        check(feedOffering(u"99.2"_s, QString()));
        QCOMPARE(delegate.availableUpdateVersion(), u"99.2"_s);
        check("<rss><channel><item>broken");
        QVERIFY(delegate.isUpdateAvailable());
        QCOMPARE(delegate.availableUpdateVersion(), u"99.2"_s);

        changes.clear();
        check(UpdateFeed::appcast({}));
        QCOMPARE(changes, (QStringList{u"available:no"_s, u"version:"_s}));
        QVERIFY(!delegate.isUpdateAvailable());
        QVERIFY(delegate.availableUpdateVersion().isEmpty());
    }

    // A report from another thread changes the state on the delegate's thread, never at once.
    void changesOnItsOwnThread()
    {
        UpdaterDelegate delegate;
        QThread* changedOn = nullptr;
        connect(
            &delegate, &UpdaterDelegate::isUpdateAvailableChanged, this, [&] { changedOn = QThread::currentThread(); },
            Qt::DirectConnection);
        const AppcastItem item{u"2.0"_s, u"2.0"_s, QUrl(), 1, QByteArray()};

        delegate.didFindValidUpdate(nullptr, item);
        QVERIFY(!delegate.isUpdateAvailable());
        QTRY_VERIFY(delegate.isUpdateAvailable());
        QCOMPARE(changedOn, QThread::currentThread());

        changedOn = nullptr;
        std::thread worker([&] { delegate.didNotFindUpdate(nullptr); });
        worker.join();
        QVERIFY(delegate.isUpdateAvailable());
        QTRY_VERIFY(!delegate.isUpdateAvailable());
        QCOMPARE(changedOn, QThread::currentThread());
    }
};

TARN_TEST_MAIN(TestUpdaterDelegate)
#include "TestUpdaterDelegate.moc"
