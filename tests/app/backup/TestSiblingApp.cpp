#include "app/backup/BackupListModel.h"
#include "app/backup/DeleteButtonView.h"
#include "app/backup/RestoreZipView.h"
#include "core/archive/EncryptionService.h"
#include "core/credentials/KeychainService.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/inputs/WarningTextHelper.h"
#include "platform/processes/Workspace.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/platform/SiblingProcesses.h"
#include "tests/platform/StalledBindfs.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QScopeGuard>
#include <QSignalSpy>

#include <csignal>

using namespace BackupScreens;

Q_DECLARE_METATYPE(BackupActionType)

// Restore and erase close the running sibling app first, against real processes of its name.
class TestSiblingApp : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;

    static QByteArray dataMarker()
    {
        QFile file(dataFolder() + QStringLiteral("/bewohner.db"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Ends every stand-in of the sibling that is still running.
    static void endStandIns()
    {
        const auto running = Workspace::runningApplications(siblingName());
        if (!running)
            return;
        for (const RunningApplication& application : *running)
            application.forceTerminate();
        Workspace::waitForTermination(*running, std::chrono::seconds(5));
    }

    static void save(QWidget* widget, const QString& name)
    {
        const QString folder = qEnvironmentVariable("TARN_SCREENSHOT_DIR");
        if (!folder.isEmpty())
            widget->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

    static DeleteButtonView* openConsentedErase(MainScreen& main)
    {
        main.view->openSheet(BackupActionType::delete_);
        auto* screen = main.screen<DeleteButtonView>();
        if (screen)
            screen->checkBox()->toggle();
        return screen;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = useOwnKeyring();
        QVERIFY(m_keyring->isRunning());
    }

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

    // A sibling that starts again (here: 0.3 s after it was killed, by a watcher of its own) in the
    // second before the work starts is found right before Data would go: Data stays as it was and the
    // user is told.
    void siblingStartedAgainKeepsData_data()
    {
        QTest::addColumn<BackupActionType>("type");
        QTest::newRow("restore") << BackupActionType::restore;
        QTest::newRow("erase") << BackupActionType::delete_;
    }

    void siblingStartedAgainKeepsData()
    {
        QFETCH(BackupActionType, type);
        // A real backup of another Data than the one there now.
        QVERIFY(writeDataTree(QStringLiteral("alt")));
        QVERIFY(KeychainService(QStringLiteral("de.Tarn-Backup-Manager.ZipPassword"))
                    .set(QStringLiteral("Geheim42"), QStringLiteral("zipPassword")));
        QTemporaryDir staging;
        QVERIFY(EncryptionService::shared()
                    .createEncryptedArchive(dataFolder(), staging.path(), QStringLiteral("Geheim42"), QString())
                    .result());
        const QStringList made = QDir(staging.path()).entryList({QStringLiteral("Backup_*.orlwen")}, QDir::Files);
        QCOMPARE(made.size(), 1);
        QDir(backupFolder()).removeRecursively();
        QVERIFY(QDir().mkpath(backupFolder()));
        QVERIFY(QFile::rename(staging.filePath(made.first()),
                              backupFolder() + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen")));
        QVERIFY(writeDataTree(QStringLiteral("jetzt")));
        const QMap<QString, QString> dataBefore = treeSnapshot(dataFolder());

        SiblingProcesses siblings(siblingName());
        QProcess* watcher = siblings.start(
            siblingName(), false,
            {QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("while :; do \"$0\" \"$1\"; sleep 0.3; done")});
        const auto stop = qScopeGuard([watcher] {
            watcher->kill();
            watcher->waitForFinished();
            endStandIns();
        });
        QVERIFY(siblings.ok());
        QTRY_VERIFY(!Workspace::runningApplications(siblingName())->isEmpty());

        MainAppView::Timing timing = MainScreen::fastTiming();
        timing.startDelayAfterTermination = 1000;
        MainScreen main(timing);
        RestoreZipView* restore = nullptr;
        if (type == BackupActionType::restore) {
            main.view->openSheet(type);
            restore = main.screen<RestoreZipView>();
            QTRY_COMPARE(restore->listModel()->rowCount(), 1);
            restore->model()->setSelectedURL(restore->listModel()->urlAt(0));
        } else {
            openConsentedErase(main);
        }
        QSignalSpy started(main.context(), &ActionContext::performActionChanged);
        main.pressAction();
        QTRY_VERIFY(main.view->closeAlert());
        QVERIFY(clickAlertButton(main.view->closeAlert(), QStringLiteral("OK")));
        QTRY_COMPARE(started.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!main.context()->isWorking(), 20000);

        QCOMPARE(treeSnapshot(dataFolder()), dataBefore);
        QCOMPARE(dataMarker(), QByteArray("jetzt"));
        if (restore) {
            QCOMPARE(restore->model()->warningText(), MainAppView::siblingRunsAgainText());
            QVERIFY(main.context()->messageText() != std::optional<QString>(RestoreZipView::successText()));
            QVERIFY(main.view->backupActionType());
        } else {
            QCOMPARE(main.context()->messageText(), std::optional<QString>(MainAppView::siblingRunsAgainText()));
        }
        WarningTextHelper* band = restore ? restore->warningView() : main.view->messageView();
        QTRY_COMPARE(band->shownText(), std::optional<QString>(MainAppView::siblingRunsAgainText()));
        QTRY_VERIFY(band->property("slide").toReal() <= 0.0);
        save(&main.window, QStringLiteral("sibling-runs-again-") + QString::fromLatin1(QTest::currentDataTag()));
        // The container holds no working folder of the stopped restore.
        QCOMPARE(QDir(containerFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("Data")});
    }

    // A look-up that hangs on a process (its root on a file system that does not answer) ends in time
    // with a message naming that process; nothing starts, and once the file system answers again the
    // next try works.
    void stalledLookUpNamesTheProcess_data()
    {
        QTest::addColumn<BackupActionType>("type");
        QTest::newRow("restore") << BackupActionType::restore;
        QTest::newRow("erase") << BackupActionType::delete_;
    }

    void stalledLookUpNamesTheProcess()
    {
        QFETCH(BackupActionType, type);
        if (!StalledBindfs::unavailableReason().isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(StalledBindfs::unavailableReason());
        SiblingProcesses siblings(siblingName());
        const qint64 pid = siblings.start()->processId();
        QVERIFY(siblings.ok());
        // A process table of the test's own with that one process, whose root lies on the mount.
        QTemporaryDir table;
        StalledBindfs mount;
        QVERIFY2(mount.isMounted(), "bindfs did not mount");
        const QString dir = table.filePath(QStringLiteral("proc/%1").arg(pid));
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        QVERIFY(stat.open(QIODevice::ReadOnly));
        QVERIFY(writeFile(dir + QStringLiteral("/stat"), stat.readAll()));
        QVERIFY(QFile::link(siblings.path(siblingName()), dir + QStringLiteral("/exe")));
        QVERIFY(QFile::link(mount.path(), dir + QStringLiteral("/root")));
        Workspace::setProcessTableForTesting(table.filePath(QStringLiteral("proc")));
        QVERIFY(mount.stall());

        MainAppView::Timing timing = MainScreen::fastTiming();
        timing.processCheckTimeout = 300;
        MainScreen main(timing);
        if (type == BackupActionType::delete_)
            openConsentedErase(main);
        else
            main.view->openSheet(type);
        QSignalSpy started(main.context(), &ActionContext::performActionChanged);
        main.view->startSelectedAction(type);
        QTRY_VERIFY(main.view->closeFailureAlert());
        QCOMPARE(alertMessage(main.view->closeFailureAlert()),
                 MainAppView::processCheckFailureText(QStringLiteral("%1 (PID %2)").arg(siblingName()).arg(pid)));
        QVERIFY(!main.view->hasPendingStart());
        QCOMPARE(started.count(), 0);
        QVERIFY(QFileInfo::exists(dataFolder()));
        save(&main.window, QStringLiteral("process-not-answering"));

        mount.resume();
        QVERIFY(clickAlertButton(main.view->closeFailureAlert(), QStringLiteral("OK")));
        QTRY_VERIFY(!main.view->closeFailureAlert());
        main.view->startSelectedAction(type);
        QTRY_VERIFY(main.view->closeAlert());
        QCOMPARE(started.count(), 0);
    }

    // Backups kept inside Data would go with it: the erase asks first, naming their folder.
    void backupsInDataAskFirst_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("erased");
        QTest::newRow("cancel") << "Abbrechen" << false;
        QTest::newRow("erase anyway") << "Löschen" << true;
    }

    void backupsInDataAskFirst()
    {
        QFETCH(QString, answer);
        QFETCH(bool, erased);
        const QString folder = dataFolder() + QStringLiteral("/Sicherungen");
        QVERIFY(writeFile(folder + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen"), "x"));
        useBackupFolder(folder);
        MainScreen main;
        DeleteButtonView* screen = openConsentedErase(main);
        QSignalSpy started(screen, &DeleteButtonView::deletionStarted);
        main.pressAction();
        QTRY_VERIFY(main.view->backupsInDataAlert());
        QCOMPARE(alertMessage(main.view->backupsInDataAlert()), MainAppView::backupsInDataText(folder));
        QVERIFY(alertMessage(main.view->backupsInDataAlert()).contains(folder));
        QCOMPARE(started.count(), 0);
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen")));
        save(&main.window, QStringLiteral("backups-in-data"));

        QVERIFY(clickAlertButton(main.view->backupsInDataAlert(), answer));
        if (erased) {
            QTRY_COMPARE(main.context()->messageText(), std::optional<QString>(DeleteButtonView::successText()));
            QVERIFY(!QFileInfo::exists(dataFolder()));
        } else {
            QTRY_VERIFY(!main.view->backupsInDataAlert());
            QVERIFY(!main.view->hasPendingStart());
            QCOMPARE(started.count(), 0);
            QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Backup_2025-01-02_08-00-00.orlwen")));
            QCOMPARE(main.view->backupActionType(), std::optional<BackupActionType>(BackupActionType::delete_));
        }
    }

    // A backup folder on a file system that does not answer cannot be resolved: after as long as a
    // process look-up may take, the erase asks as for backups inside Data, saying why, and never
    // waits without end.
    void backupFolderNotAnsweringAsksFirst_data() { backupsInDataAskFirst_data(); }

    void backupFolderNotAnsweringAsksFirst()
    {
        QFETCH(QString, answer);
        QFETCH(bool, erased);
        if (!StalledBindfs::unavailableReason().isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(StalledBindfs::unavailableReason());
        StalledBindfs mount;
        QVERIFY2(mount.isMounted(), "bindfs did not mount");
        const QString folder = mount.path() + QStringLiteral("/Backups");
        QVERIFY(QDir().mkpath(folder));
        useBackupFolder(folder);
        QVERIFY(writeFile(dataFolder() + QStringLiteral("/db/bewohner.sqlite"), "daten"));
        QVERIFY(mount.stall());

        MainAppView::Timing timing = MainScreen::fastTiming();
        timing.processCheckTimeout = 300;
        MainScreen main(timing);
        DeleteButtonView* screen = openConsentedErase(main);
        QSignalSpy started(screen, &DeleteButtonView::deletionStarted);
        main.pressAction();
        QTRY_VERIFY(main.view->backupsInDataAlert());
        QCOMPARE(alertMessage(main.view->backupsInDataAlert()), MainAppView::backupFolderNotAnsweringText(folder));
        QCOMPARE(started.count(), 0);
        QVERIFY(QFileInfo::exists(dataFolder()));
        save(&main.window, QStringLiteral("backup-folder-not-answering"));

        QVERIFY(clickAlertButton(main.view->backupsInDataAlert(), answer));
        if (erased) {
            QTRY_COMPARE(main.context()->messageText(), std::optional<QString>(DeleteButtonView::successText()));
            QVERIFY(!QFileInfo::exists(dataFolder()));
        } else {
            QTRY_VERIFY(!main.view->backupsInDataAlert());
            QVERIFY(!main.view->hasPendingStart());
            QCOMPARE(started.count(), 0);
            QVERIFY(QFileInfo::exists(dataFolder()));
        }
        // The late answer, once the folder answers, changes nothing.
        mount.resume();
        QTest::qWait(200);
        QCOMPARE(started.count(), erased ? 1 : 0);
    }
};

TARN_TEST_GUI_MAIN(TestSiblingApp)
#include "TestSiblingApp.moc"
