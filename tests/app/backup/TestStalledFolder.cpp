#include "app/backup/CreateZipView.h"
#include "app/backup/RestoreZipView.h"
#include "core/workflows/ContainerGuard.h"
#include "core/workflows/CreateZipViewModel.h"
#include "core/workflows/RestoreZipViewModel.h"
#include "kit/inputs/ElidedLabel.h"
#include "kit/inputs/TextViewHelper.h"
#include "kit/theme/TarnColor.h"
#include "platform/AppIdentity.h"
#include "platform/FileSystemLanes.h"
#include "tests/app/backup/BackupScreens.h"
#include "tests/support/FuseMount.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/PrivateDisplay.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace BackupScreens;

namespace {

// How long the GUI thread stood still at worst while it runs: how late a 10 ms timer fired, less the time
// the thread was ready but waited for a processor (a busy machine), so that only its own waits and work count.
class Lateness : public QObject
{
public:
    Lateness()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(interval);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.elapsed();
            const qint64 queued = queuedMilliseconds();
            m_worst = qMax(m_worst, now - m_last - interval - (queued - m_queued));
            m_last = now;
            m_queued = queued;
        });
        m_clock.start();
        m_queued = queuedMilliseconds();
        m_timer.start();
    }

    qint64 worst() const { return m_worst; }

private:
    // The time this thread has waited on a run queue so far, from the second field of its schedstat.
    static qint64 queuedMilliseconds()
    {
        QFile file(QStringLiteral("/proc/thread-self/schedstat"));
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        return file.readAll().split(' ').value(1).toLongLong() / 1000000;
    }

    static constexpr int interval = 10;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_queued = 0;
    qint64 m_worst = 0;
};

// Continues a stalled mount after a while, so that a thread caught in it comes back: a GUI thread
// that waits for the folder makes the test fail, not hang.
class Watchdog
{
public:
    Watchdog(FuseMount& mount, std::chrono::milliseconds after)
        : m_thread([this, &mount, after] {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait_for(lock, after, [this] { return m_stopped; }))
                mount.resume();
        })
    {
    }

    ~Watchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopped = false;
    std::thread m_thread;
};

const QString backupName = QStringLiteral("Backup_2024-12-24_18-30-05.orlwen");

// The threads of this process that work on a folder.
int folderThreads()
{
    int count = 0;
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "FileSystemLane")
            ++count;
    }
    return count;
}

} // namespace

// A backup folder whose file system stops answering (a FUSE daemon stopped with SIGSTOP, as a network
// folder that hangs): the window keeps answering, the sheets show the folder as being checked, and
// the program ends at once when asked.
class TestStalledFolder : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateKeyring> m_keyring;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FuseMount> m_mount;
    // Folders the links opened, in place of the file browser.
    QList<QUrl> m_opened;

    QString stalledFolder() const { return m_mount->path() + QStringLiteral("/Backups"); }

private Q_SLOTS:
    void initTestCase()
    {
        m_keyring = useOwnKeyring();
        QVERIFY(m_keyring->isRunning());
        TextViewHelper::setFolderOpener([this](const QUrl& folder) { m_opened << folder; });
    }

    void cleanupTestCase() { TextViewHelper::setFolderOpener({}); }

    void init()
    {
        const QString reason = FuseMount::unavailableReason();
        if (!reason.isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(reason);
        QVERIFY(freshFolders());
        m_opened.clear();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        // Made beside the mount, never looked up through it: the first look-up waits for the daemon.
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("lower/Backups/")) + backupName, "backup"));
        m_mount = std::make_unique<FuseMount>(m_dir->filePath(QStringLiteral("lower")),
                                              m_dir->filePath(QStringLiteral("mnt")));
        QVERIFY2(m_mount->isMounted(), qPrintable(m_mount->error()));
    }

    void cleanup()
    {
        if (m_mount)
            m_mount->resume();
        // Nothing of this test holds the mount any more once the checks have answered.
        QTRY_VERIFY_WITH_TIMEOUT(!FileSystemLanes::isBusy(), 20000);
        m_mount.reset();
        m_dir.reset();
        useBackupFolder(backupFolder());
    }

    void sheetsKeepTheWindowAnswering_data()
    {
        QTest::addColumn<BackupActionType>("action");
        QTest::addColumn<int>("openings");
        QTest::newRow("create sheet") << BackupActionType::create << 1;
        QTest::newRow("restore sheet, ten times") << BackupActionType::restore << 10;
    }

    void sheetsKeepTheWindowAnswering()
    {
        QFETCH(BackupActionType, action);
        QFETCH(int, openings);
        MainScreen main;
        QVERIFY(QTest::qWaitForWindowExposed(&main.window));
        // Once on a folder that answers, so that what a first sheet costs (fonts, styles) is paid.
        main.view->openSheet(action);
        QTest::qWait(200);
        main.pressCancel();
        QTRY_VERIFY(!main.view->backupActionType());
        useBackupFolder(stalledFolder());
        QVERIFY(m_mount->stall());
        qint64 worst = 0;
        {
            const Watchdog watchdog(*m_mount, std::chrono::seconds(5));
            const Lateness lateness;
            for (int i = 0; i < openings; ++i) {
                main.view->openSheet(action);
                QVERIFY(main.view->screen());
                QTest::qWait(50);
                // The folder's link looks at the folder before it opens it.
                if (auto* create = main.screen<CreateZipView>()) {
                    QTest::mouseClick(create->folderRow()->valueLabel(), Qt::LeftButton);
                    QTest::qWait(50);
                    QVERIFY(create->folderRow()->isCheckingFolder());
                }
                if (i + 1 < openings) {
                    main.pressCancel();
                    QTRY_VERIFY(!main.view->backupActionType());
                    QTest::qWait(20);
                }
            }
            QTest::qWait(300);
            worst = lateness.worst();
        }
        QVERIFY2(worst < 50, qPrintable(QStringLiteral("the GUI thread stood still for %1 ms").arg(worst)));
        // However often it was asked, the folder holds one thread.
        QCOMPARE(folderThreads(), 1);

        // Still waiting for the folder, and saying so.
        if (action == BackupActionType::create) {
            auto* screen = main.screen<CreateZipView>();
            QVERIFY(screen->isCheckingFolder());
            QVERIFY(screen->checkingLabel()->isVisible());
            QCOMPARE(screen->checkingLabel()->text(), CreateZipView::checkingText());
            QCOMPARE(screen->folderRow()->color(), TarnColor::secondary());
            QVERIFY(!screen->alert());
        } else {
            auto* screen = main.screen<RestoreZipView>();
            QVERIFY(screen->model()->backups().isEmpty());
            QVERIFY(main.sheet()->isMiddleDisabled());
            QVERIFY(screen->isCheckingFolder());
            QVERIFY(screen->checkingLabel()->isVisible());
            QCOMPARE(screen->checkingLabel()->text(), CreateZipView::checkingText());
        }

        // The answer comes once the folder answers.
        QVERIFY(m_mount->resume());
        if (action == BackupActionType::create) {
            auto* screen = main.screen<CreateZipView>();
            QTRY_VERIFY_WITH_TIMEOUT(!screen->isCheckingFolder(), 20000);
            QTRY_COMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(stalledFolder())});
            QVERIFY(!screen->folderRow()->alert());
            QVERIFY(!screen->checkingLabel()->isVisible());
            QCOMPARE(screen->folderRow()->color(), TarnColor::blue());
            QVERIFY(screen->model()->isDirectoryAvailable());
        } else {
            auto* screen = main.screen<RestoreZipView>();
            QTRY_COMPARE_WITH_TIMEOUT(screen->model()->backups().size(), 1, 20000);
            QVERIFY(!screen->isCheckingFolder());
            QVERIFY(!screen->checkingLabel()->isVisible());
        }
        main.pressCancel();
    }

    // The real program, its backup folder stalled after the sheets were opened: it ends at once when
    // asked, with its settings kept.
    void programEndsWhileTheFolderStalls()
    {
        PrivateDisplay display;
        QVERIFY2(display.isRunning(), "Xvfb is missing: run scripts/install-deps.sh");
        PrivateBus bus;
        QVERIFY(bus.isRunning());
        const QString home = m_dir->filePath(QStringLiteral("home"));
        const QString settingsFile = home + QStringLiteral("/.config/") + AppIdentity::organizationName() +
            QLatin1Char('/') + AppIdentity::applicationName() + QStringLiteral(".conf");
        {
            QSettings settings(settingsFile, QSettings::IniFormat);
            settings.setValue(PathViewModel::savedPathKey(), stalledFolder());
        }
        QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("runtime"))));
        QVERIFY(QFile::setPermissions(m_dir->filePath(QStringLiteral("runtime")),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("DISPLAY"), display.name());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->filePath(QStringLiteral("runtime")));
        // A bus without a secret store: no app password, so the menu shows at once.
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        // Its diagnostics tell that the create sheet opened.
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tarn.diagnostics.debug=true"));
        QProcess app;
        app.setProcessEnvironment(environment);
        app.setStandardOutputFile(QProcess::nullDevice());
        app.start(QStringLiteral(TARN_APP_BINARY), QStringList());
        QVERIFY(app.waitForStarted(10000));
        const auto ended = qScopeGuard([&app] {
            if (app.state() != QProcess::NotRunning) {
                app.kill();
                app.waitForFinished(10000);
            }
        });

        const QString window =
            display
                .run(QStringLiteral("xdotool"),
                     {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                      QStringLiteral("--name"), QStringLiteral("^Tarn-Backup-Manager$")})
                .value_or(QString())
                .section(QLatin1Char('\n'), 0, 0);
        QVERIFY2(!window.isEmpty(), "no window of the application mapped");
        QVERIFY(m_mount->stall());
        const Watchdog watchdog(*m_mount, std::chrono::seconds(15));
        const auto xdotool = [&](const QStringList& arguments) {
            return display.run(QStringLiteral("xdotool"), arguments).has_value();
        };
        const auto click = [&](int x, int y) {
            return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
                            QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
        };
        // The menu slides in first. Its rows sit below the title row and the toolbar.
        QTest::qWait(1000);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(click(451, 259)); // "Wiederherstellen"
            QTest::qWait(1000);
            QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("--window"), window, QStringLiteral("Escape")}));
            QTest::qWait(1000);
        }
        QVERIFY(click(451, 164)); // "Erstellen"
        QByteArray diagnostics;
        QTRY_VERIFY((diagnostics += app.readAllStandardError())
                        .contains("Started monitoring for path: " + QFile::encodeName(stalledFolder())));
        QCOMPARE(app.state(), QProcess::Running);

        app.terminate();
        QVERIFY2(app.waitForFinished(1000), "the program did not end within a second");
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
        QSettings settings(settingsFile, QSettings::IniFormat);
        QCOMPARE(settings.value(PathViewModel::savedPathKey()).toString(), stalledFolder());
    }
};

TARN_TEST_GUI_MAIN(TestStalledFolder)
#include "TestStalledFolder.moc"
