#include "app/backup/DeleteButtonView.h"
#include "app/backup/RestoreZipView.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "platform/processes/Workspace.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/platform/SiblingProcesses.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>

#include <csignal>

using namespace BackupScreens;

Q_DECLARE_METATYPE(BackupActionType)

// Restore and erase close the running sibling app first, against real processes of its name.
class TestSiblingApp : public QObject
{
    Q_OBJECT

    static DeleteButtonView* openConsentedErase(MainScreen& main)
    {
        main.view->openSheet(BackupActionType::delete_);
        auto* screen = main.screen<DeleteButtonView>();
        if (screen)
            screen->checkBox()->toggle();
        return screen;
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(freshFolders());
        QVERIFY(writeFile(backupFolder() + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen"), "x"));
    }

    void cleanup()
    {
        RunningApplication::setTerminationSignalForTesting(SIGKILL);
        Workspace::setProcessTableForTesting(QString());
    }

    // Without the sibling, restore and erase start at once, with no question.
    void startsAtOnceWithoutTheSibling_data()
    {
        QTest::addColumn<BackupActionType>("type");
        QTest::newRow("restore") << BackupActionType::restore;
        QTest::newRow("erase") << BackupActionType::delete_;
    }

    void startsAtOnceWithoutTheSibling()
    {
        QFETCH(BackupActionType, type);
        MainScreen main;
        main.view->openSheet(type);
        QSignalSpy started(main.context(), &ActionContext::performActionChanged);
        main.view->startSelectedAction(type);
        QTRY_COMPARE(started.count(), 1);
        QVERIFY(!main.view->closeAlert());
        QVERIFY(!main.view->hasPendingStart());
    }

    // Every instance is ended and has exited before the work starts. A program named like the real
    // sibling app is none of the test's stand-ins: it goes on running.
    void closesEveryInstanceFirst()
    {
        SiblingProcesses siblings(siblingName());
        QProcess* first = siblings.start();
        QProcess* second = siblings.start();
        SiblingProcesses bystanders;
        QProcess* realSibling = bystanders.start(QStringLiteral("de.orlwen"));
        QVERIFY(siblings.ok() && bystanders.ok());
        MainScreen main;
        DeleteButtonView* screen = openConsentedErase(main);
        qsizetype runningAtStart = -1;
        connect(screen, &DeleteButtonView::deletionStarted, this, [&runningAtStart] {
            const auto running = Workspace::runningApplications(MainAppView::siblingBundleIdentifier());
            runningAtStart = running ? running->size() : -2;
        });
        main.pressAction();
        QTRY_VERIFY(main.view->closeAlert());
        QCOMPARE(card(main.view->closeAlert())->titleLabel()->text(), QStringLiteral("Betreuungssoftware schließen"));
        QCOMPARE(alertMessage(main.view->closeAlert()),
                 QStringLiteral("Möchtest du, dass das Programm die Betreuungssoftware schließt, um die Datenlöschung "
                                "fortzusetzen?"));
        QVERIFY(!main.context()->isWorking());
        QVERIFY(clickAlertButton(main.view->closeAlert(), QStringLiteral("OK")));

        QTRY_VERIFY(!QFileInfo::exists(dataFolder()));
        QCOMPARE(runningAtStart, 0);
        QTRY_COMPARE(first->state(), QProcess::NotRunning);
        QTRY_COMPARE(second->state(), QProcess::NotRunning);
        QCOMPARE(first->exitStatus(), QProcess::CrashExit);
        QCOMPARE(second->exitStatus(), QProcess::CrashExit);
        QCOMPARE(realSibling->state(), QProcess::Running);
    }

    // "Abbrechen" leaves the sibling running and starts nothing; the sheet stays for another try.
    void cancelStartsNothing()
    {
        SiblingProcesses siblings(siblingName());
        QProcess* sibling = siblings.start();
        QVERIFY(siblings.ok());
        MainScreen main;
        main.view->openSheet(BackupActionType::restore);
        QSignalSpy started(main.context(), &ActionContext::performActionChanged);
        for (int round = 0; round < 2; ++round) {
            main.view->startSelectedAction(BackupActionType::restore);
            QTRY_VERIFY(main.view->closeAlert());
            QCOMPARE(alertMessage(main.view->closeAlert()),
                     QStringLiteral("Möchtest du, dass das Programm die Betreuungssoftware schließt, um die "
                                    "Wiederherstellung des Backups fortzusetzen?"));
            QVERIFY(clickAlertButton(main.view->closeAlert(), QStringLiteral("Abbrechen")));
            QTRY_VERIFY(!main.view->closeAlert());
            QVERIFY(!main.view->hasPendingStart());
        }
        QCOMPARE(started.count(), 0);
        QCOMPARE(sibling->state(), QProcess::Running);
        QCOMPARE(main.view->backupActionType(), std::optional<BackupActionType>(BackupActionType::restore));
    }

    // An instance that outlives the force-quit: the user is told, and nothing starts.
    void refusesWhenOneSurvives()
    {
        RunningApplication::setTerminationSignalForTesting(SIGTERM);
        SiblingProcesses siblings(siblingName());
        QProcess* deaf = siblings.start(true);
        QVERIFY(siblings.ok());
        MainAppView::Timing timing = MainScreen::fastTiming();
        timing.terminationTimeout = 200;
        MainScreen main(timing);
        DeleteButtonView* screen = openConsentedErase(main);
        QSignalSpy started(screen, &DeleteButtonView::deletionStarted);
        main.pressAction();
        QTRY_VERIFY(main.view->closeAlert());
        QVERIFY(clickAlertButton(main.view->closeAlert(), QStringLiteral("OK")));
        QTRY_VERIFY(main.view->closeFailureAlert());
        QCOMPARE(alertMessage(main.view->closeFailureAlert()), MainAppView::closeFailureText());
        QVERIFY(!main.view->hasPendingStart());
        QCOMPARE(started.count(), 0);
        QVERIFY(QFileInfo::exists(dataFolder()));
        QCOMPARE(deaf->state(), QProcess::Running);
    }

    // Without the process table nobody can tell whether the sibling runs: restore and erase stop with a
    // message, before the question and after it.
    void unreadableProcessTableStartsNothing_data()
    {
        QTest::addColumn<BackupActionType>("type");
        QTest::addColumn<bool>("afterQuestion");
        QTest::newRow("restore") << BackupActionType::restore << false;
        QTest::newRow("erase") << BackupActionType::delete_ << false;
        QTest::newRow("erase, table gone after the question") << BackupActionType::delete_ << true;
    }

    void unreadableProcessTableStartsNothing()
    {
        QFETCH(BackupActionType, type);
        QFETCH(bool, afterQuestion);
        SiblingProcesses siblings(siblingName());
        QProcess* sibling = siblings.start();
        QVERIFY(siblings.ok());
        MainScreen main;
        if (type == BackupActionType::delete_)
            openConsentedErase(main);
        else
            main.view->openSheet(type);
        QSignalSpy started(main.context(), &ActionContext::performActionChanged);
        if (afterQuestion) {
            main.view->startSelectedAction(type);
            QTRY_VERIFY(main.view->closeAlert());
            Workspace::setProcessTableForTesting(QStringLiteral("/nonexistent/proc"));
            QVERIFY(clickAlertButton(main.view->closeAlert(), QStringLiteral("OK")));
        } else {
            Workspace::setProcessTableForTesting(QStringLiteral("/nonexistent/proc"));
            main.view->startSelectedAction(type);
        }
        QTRY_VERIFY(main.view->closeFailureAlert());
        QCOMPARE(alertMessage(main.view->closeFailureAlert()), MainAppView::processListFailureText());
        QVERIFY(!main.view->hasPendingStart());
        QCOMPARE(started.count(), 0);
        QVERIFY(QFileInfo::exists(dataFolder()));
        if (!afterQuestion)
            QCOMPARE(sibling->state(), QProcess::Running);
    }

    // The delayed start belongs to its sheet: closing it and confirming an erase in a new sheet within
    // the delay erases nothing.
    void delayedStartBelongsToItsSheet()
    {
        SiblingProcesses siblings(siblingName());
        siblings.start();
        QVERIFY(siblings.ok());
        MainAppView::Timing timing = MainScreen::fastTiming();
        timing.startDelayAfterTermination = 300;
        MainScreen main(timing);
        main.view->openSheet(BackupActionType::restore);
        QSignalSpy scheduled(main.view, &MainAppView::actionStartScheduled);
        main.view->startSelectedAction(BackupActionType::restore);
        QTRY_VERIFY(main.view->closeAlert());
        QVERIFY(clickAlertButton(main.view->closeAlert(), QStringLiteral("OK")));
        QVERIFY(scheduled.wait(10000));

        // A later timer of twice the delay runs after the one just scheduled would have.
        QTimer later;
        later.setSingleShot(true);
        later.setTimerType(Qt::PreciseTimer);
        later.start(2 * timing.startDelayAfterTermination);
        main.pressCancel();
        QVERIFY(!main.view->hasPendingStart());
        DeleteButtonView* erase = openConsentedErase(main);
        QVERIFY(!main.sheet()->isMiddleDisabled());
        QSignalSpy started(main.context(), &ActionContext::performActionChanged);
        QSignalSpy erased(erase, &DeleteButtonView::deletionStarted);
        QVERIFY(QSignalSpy(&later, &QTimer::timeout).wait(10000));
        QCOMPARE(started.count(), 0);
        QCOMPARE(erased.count(), 0);
        QVERIFY(QFileInfo::exists(dataFolder()));
    }
};

TARN_TEST_GUI_MAIN(TestSiblingApp)
#include "TestSiblingApp.moc"
