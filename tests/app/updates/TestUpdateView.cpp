#include "app/updates/UpdateAlertPresenter.h"
#include "app/updates/UpdateView.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCommon.h"
#include "kit/dialogs/SheetOverlay.h"
#include "kit/theme/Motion.h"
#include "platform/updates/Updater.h"
#include "tests/support/TestMain.h"

#include <QCheckBox>
#include <QLabel>
#include <QSettings>

using namespace Qt::StringLiterals;

class TestUpdateView : public QObject
{
    Q_OBJECT

    static void click(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2)); }
    // An address checks could use; nothing is fetched from it here.
    static QUrl usableFeed() { return QUrl(u"https://updates.example.org/appcast.xml"_s); }

private Q_SLOTS:
    void initTestCase() { Motion::setDefaultDuration(0); }
    void init() { QSettings().clear(); }

    // The switches start with the updater's settings; downloads can be changed only while checks are on.
    void startsWithTheSettings_data()
    {
        QTest::addColumn<bool>("checks");
        QTest::addColumn<bool>("downloads");
        QTest::newRow("checks only") << true << false;
        QTest::newRow("both") << true << true;
        QTest::newRow("neither") << false << false;
        QTest::newRow("downloads kept while checks are off") << false << true;
    }
    void startsWithTheSettings()
    {
        QFETCH(bool, checks);
        QFETCH(bool, downloads);
        Updater updater(nullptr);
        updater.setFeedUrl(usableFeed());
        updater.setAutomaticallyChecksForUpdates(checks);
        updater.setAutomaticallyDownloadsUpdates(downloads);
        UpdateView view(&updater);
        QCOMPARE(view.automaticChecksToggle()->isChecked(), checks);
        QCOMPARE(view.automaticDownloadsToggle()->isChecked(), downloads);
        QCOMPARE(view.automaticDownloadsToggle()->isEnabled(), checks);
        QCOMPARE(view.automaticChecksToggle()->text(), u"Automatisch auf Updates prüfen"_s);
        QCOMPARE(view.automaticDownloadsToggle()->text(), u"Updates automatisch herunterladen"_s);
        QCOMPARE(view.checkButton()->fields().text, u"Auf Updates prüfen"_s);
    }

    // Turning checks off disables the download switch and keeps its value; turning them on again makes
    // it editable with that value. Every change is written to the settings.
    void switchesWriteThrough()
    {
        Updater updater(nullptr);
        updater.setFeedUrl(usableFeed());
        UpdateView view(&updater);
        view.setFixedSize(400, 150);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        click(view.automaticDownloadsToggle());
        QVERIFY(updater.automaticallyDownloadsUpdates());
        click(view.automaticChecksToggle());
        QVERIFY(!updater.automaticallyChecksForUpdates());
        QVERIFY(!view.automaticDownloadsToggle()->isEnabled());
        click(view.automaticDownloadsToggle());
        QVERIFY(view.automaticDownloadsToggle()->isChecked());
        QVERIFY(updater.automaticallyDownloadsUpdates());

        Updater later(nullptr);
        QCOMPARE(later.automaticallyChecksForUpdates(), false);
        QCOMPARE(later.automaticallyDownloadsUpdates(), true);

        click(view.automaticChecksToggle());
        QVERIFY(view.automaticDownloadsToggle()->isEnabled());
        QVERIFY(view.automaticDownloadsToggle()->isChecked());
        click(view.automaticDownloadsToggle());
        QCOMPARE(Updater(nullptr).automaticallyDownloadsUpdates(), false);
    }

    // Automatic checks that can never run show off and cannot be switched on, with the reason; the
    // stored settings stay as they were.
    void checksOffWithoutAUsableFeed_data()
    {
        QTest::addColumn<QUrl>("feed");
        QTest::addColumn<QString>("reason"); // empty: checks can run
        QTest::newRow("no feed in this build")
            << QUrl() << UpdateError{UpdateError::notConfigured, QString()}.message();
        QTest::newRow("plain http to another machine")
            << QUrl(u"http://updates.example.org/appcast.xml"_s)
            << UpdateError{UpdateError::insecureAddress, QString()}.message();
        QTest::newRow("https feed") << usableFeed() << QString();
    }
    void checksOffWithoutAUsableFeed()
    {
        QFETCH(QUrl, feed);
        QFETCH(QString, reason);
        Updater updater(nullptr);
        updater.setFeedUrl(feed);
        updater.setAutomaticallyDownloadsUpdates(true);
        updater.start();
        UpdateView view(&updater);
        view.resize(500, 250);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const bool usable = reason.isEmpty();
        QCOMPARE(view.automaticChecksToggle()->isChecked(), usable);
        QCOMPARE(view.automaticChecksToggle()->isEnabled(), usable);
        QCOMPARE(view.automaticDownloadsToggle()->isChecked(), usable);
        QCOMPARE(view.automaticDownloadsToggle()->isEnabled(), usable);
        QCOMPARE(view.reasonLabel()->isVisible(), !usable);
        if (!usable) {
            QVERIFY2(view.reasonLabel()->text().endsWith(reason), qPrintable(view.reasonLabel()->text()));
            click(view.automaticChecksToggle());
            QVERIFY(!view.automaticChecksToggle()->isChecked());
        }
        QVERIFY(updater.automaticallyChecksForUpdates());
        QVERIFY(updater.automaticallyDownloadsUpdates());
    }

    // The check button of a build without a feed says so in the tab's window.
    void checkWithoutFeed()
    {
        Updater updater(nullptr);
        updater.setFeedUrl(QUrl());
        updater.start();
        QWidget window;
        auto* view = new UpdateView(&updater, &window);
        view->setFixedSize(400, 150);
        window.resize(500, 300);
        window.show();
        QTest::mouseClick(view->checkButton(), Qt::LeftButton);
        SheetOverlay* card = UpdateAlertPresenter::forUpdater(&updater)->currentCard();
        QVERIFY(card);
        QCOMPARE(card->parentWidget(), &window);
        const auto* alert = qobject_cast<AlertCommon*>(card->card());
        const QString expected = UpdateError{UpdateError::notConfigured, QString()}.message();
        QCOMPARE(qobject_cast<QLabel*>(alert->content())->text(), expected);
    }
};

TARN_TEST_GUI_MAIN(TestUpdateView)
#include "TestUpdateView.moc"
