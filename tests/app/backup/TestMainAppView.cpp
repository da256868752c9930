#include "app/backup/DeleteButtonView.h"
#include "kit/controls/PopUpLottieHelper.h"
#include "kit/controls/RestoreButtonView.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/inputs/WarningTextHelper.h"
#include "kit/theme/TarnColor.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/support/TestMain.h"

#include <QLabel>
#include <QSignalSpy>

using namespace BackupScreens;

Q_DECLARE_METATYPE(BackupActionType)

class TestMainAppView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each menu row opens its sheet with its title and action button; the settings row asks for the
    // settings window instead.
    void rowsOpenTheirSheets_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<BackupActionType>("type");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("action");
        QTest::newRow("Erstellen") << 0 << BackupActionType::create << "Backup erstellen"
                                   << "Erstellen";
        QTest::newRow("Wiederherstellen") << 1 << BackupActionType::restore << "Backup wiederherstellen"
                                          << "Wiederherstellen";
        QTest::newRow("Löschen") << 2 << BackupActionType::delete_ << "⚠️ App-Daten löschen"
                                 << "Löschen";
    }

    void rowsOpenTheirSheets()
    {
        QFETCH(int, row);
        QFETCH(BackupActionType, type);
        QFETCH(QString, title);
        QFETCH(QString, action);
        MainScreen main;
        QCOMPARE(main.view->rows().size(), 4);
        QTest::mouseClick(main.view->rows().at(row), Qt::LeftButton);
        QCOMPARE(main.view->backupActionType(), std::optional<BackupActionType>(type));
        QVERIFY(main.sheet());
        QCOMPARE(qobject_cast<QLabel*>(main.sheet()->header())->text(), title);
        QCOMPARE(main.sheet()->leftButton()->fields().text, std::optional<QString>(QStringLiteral("Abbrechen")));
        QCOMPARE(main.sheet()->middleButton()->fields().text, std::optional<QString>(action));
        QVERIFY(!main.sheet()->rightButton());
        QCOMPARE(BackupActionTypes::fromRawValue(title), std::optional<BackupActionType>(type));

        // One sheet at a time: the rows are covered and a second opening changes nothing.
        QPointer<BlurredSheetContentHelper> first = main.sheet();
        QTest::mouseClick(main.view->rows().at((row + 1) % 3), Qt::LeftButton);
        main.view->openSheet(BackupActionType::create);
        QCOMPARE(main.sheet(), first.data());
        QCOMPARE(main.view->backupActionType(), std::optional<BackupActionType>(type));

        main.pressCancel();
        QVERIFY(!main.view->backupActionType());
        QTRY_VERIFY(!first);
    }

    void settingsRowAsksForTheSettings()
    {
        MainScreen main;
        QSignalSpy requested(&main.delegate, &AppDelegate::settingsRequested);
        QTest::mouseClick(main.view->rows().at(3), Qt::LeftButton);
        QCOMPARE(requested.count(), 1);
        QVERIFY(!main.view->backupActionType());
        QCOMPARE(main.view->rows().at(2)->rowColor(), TarnColor::red());
    }

    void rawValuesParseExactly_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::newRow("lower case") << "backup erstellen";
        QTest::newRow("trailing blank") << "Backup erstellen ";
        QTest::newRow("without symbol") << "App-Daten löschen";
        QTest::newRow("empty") << "";
    }

    void rawValuesParseExactly()
    {
        QFETCH(QString, raw);
        QVERIFY(!BackupActionTypes::fromRawValue(raw));
    }

    // Closing the erase sheet, which keeps its action disabled until the box is ticked, enables the
    // action of the next sheet again.
    void closingEnablesTheNextSheetsAction()
    {
        MainScreen main;
        main.view->openSheet(BackupActionType::delete_);
        QVERIFY(main.sheet()->isMiddleDisabled());
        main.pressCancel();
        QVERIFY(!main.context()->isButtonDisabled());
        main.view->openSheet(BackupActionType::create);
        QVERIFY(!main.sheet()->isMiddleDisabled());
    }

    // The create action starts at once, without looking for the sibling app.
    void createStartsAtOnce()
    {
        MainScreen main;
        main.view->openSheet(BackupActionType::create);
        QSignalSpy started(main.context(), &ActionContext::performActionChanged);
        main.pressAction();
        QCOMPARE(started.count(), 1);
        QVERIFY(!main.view->hasPendingStart());
        QVERIFY(!main.view->closeAlert());
    }

    void progressPopUpCoversTheSheetWhileWorkRuns()
    {
        MainScreen main;
        main.view->openSheet(BackupActionType::create);
        QVERIFY(!main.delegate.isBackgroundWorkRunning());
        main.context()->setProgressLoadText(QStringLiteral("Backup wird erstellt."));
        QVERIFY(main.view->progressPopUp());
        QCOMPARE(qobject_cast<PopUpLottieHelper*>(main.view->progressPopUp()->card())->text(),
                 QStringLiteral("Backup wird erstellt."));
        QVERIFY(main.view->progressPopUp()->isTopmost());
        // The inactivity logout waits for the work, but not for the archive password's read, which may
        // wait for the user to answer a keyring prompt.
        QVERIFY(main.delegate.isBackgroundWorkRunning());
        main.context()->setIsReadingPassword(true);
        QVERIFY(!main.delegate.isBackgroundWorkRunning());
        QVERIFY(main.view->progressPopUp());
        main.context()->setIsReadingPassword(false);
        QVERIFY(main.delegate.isBackgroundWorkRunning());

        // No second start meanwhile.
        QSignalSpy started(main.context(), &ActionContext::performActionChanged);
        main.view->startSelectedAction(BackupActionType::create);
        QCOMPARE(started.count(), 0);

        main.context()->setProgressLoadText(std::nullopt);
        QTRY_VERIFY(!main.view->progressPopUp());
        QVERIFY(!main.delegate.isBackgroundWorkRunning());
    }

    void resultLineShowsAndClearsTheMessage()
    {
        MainScreen main;
        main.view->messageView()->setClearDelay(20);
        main.context()->setMessageText(QStringLiteral("Das Backup wurde erfolgreich erstellt."));
        QCOMPARE(main.view->messageView()->shownText(),
                 std::optional<QString>(QStringLiteral("Das Backup wurde erfolgreich erstellt.")));
        QTRY_VERIFY(!main.context()->messageText());
        QVERIFY(!main.view->messageView()->isBandShown());
    }

    // A silent update check runs when the screen appears, only while checks are automatic and
    // downloads are not.
    void backgroundUpdateCheck_data()
    {
        QTest::addColumn<bool>("checks");
        QTest::addColumn<bool>("downloads");
        QTest::addColumn<int>("expected");
        QTest::newRow("checks, no downloads") << true << false << 1;
        QTest::newRow("checks and downloads") << true << true << 0;
        QTest::newRow("no checks") << false << false << 0;
    }

    void backgroundUpdateCheck()
    {
        QFETCH(bool, checks);
        QFETCH(bool, downloads);
        QFETCH(int, expected);
        MainScreen main;
        Updater* updater = main.delegate.updater();
        QSignalSpy started(main.view, &MainAppView::backgroundUpdateCheckStarted);
        updater->setAutomaticallyChecksForUpdates(checks);
        updater->setAutomaticallyDownloadsUpdates(downloads);
        main.view->hide();
        main.view->show();
        // A check scheduled now would run before the one of this second appearance.
        updater->setAutomaticallyChecksForUpdates(true);
        updater->setAutomaticallyDownloadsUpdates(false);
        main.view->hide();
        main.view->show();
        QTRY_COMPARE(started.count(), expected + 1);
    }

    // Closing the last window while work runs: the application keeps running until the work ends.
    void quittingWaitsForTheWork()
    {
        QVERIFY(QDir().mkpath(dataFolder()));
        MainAppView::Timing timing = MainScreen::fastTiming();
        timing.eraseCloseDelay = 300;
        MainScreen main(timing);
        main.view->openSheet(BackupActionType::delete_);
        main.screen<DeleteButtonView>()->checkBox()->toggle();
        bool timedOut = false;
        QTimer::singleShot(0, &main.window, [&main] {
            main.context()->togglePerformAction();
            QVERIFY(main.context()->isWorking());
            main.window.close();
        });
        QTimer safety;
        safety.setSingleShot(true);
        connect(&safety, &QTimer::timeout, qApp, [&timedOut] {
            timedOut = true;
            QCoreApplication::quit();
        });
        safety.start(20000);
        QCoreApplication::exec();
        QVERIFY(!timedOut);
        QVERIFY(!main.context()->isWorking());
        QCOMPARE(main.context()->messageText(), std::optional<QString>(DeleteButtonView::successText()));
        QVERIFY(!QFileInfo::exists(dataFolder()));
    }
};

TARN_TEST_GUI_MAIN(TestMainAppView)
#include "TestMainAppView.moc"
