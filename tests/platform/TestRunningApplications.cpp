#include "platform/processes/Workspace.h"
#include "tests/platform/SiblingProcesses.h"
#include "tests/platform/StalledBindfs.h"
#include "tests/support/FileFixtures.h"
#include "tests/support/Privileged.h"
#include "tests/support/TestMain.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QSignalSpy>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QList<qint64> pids(const QList<RunningApplication>& applications)
{
    QList<qint64> result;
    for (const RunningApplication& application : applications)
        result << application.processIdentifier();
    std::sort(result.begin(), result.end());
    return result;
}

// The look-up, which must succeed.
QList<RunningApplication> look(const QString& identifier)
{
    const auto found = Workspace::runningApplications(identifier);
    if (!found)
        qWarning("process table: %s", qPrintable(found.error()));
    return found ? *found : QList<RunningApplication>();
}

// Runs the look-up in a process of its own, started by launcher; its exit code.
int probe(const QStringList& launcher, const QString& identifier, QByteArray* output)
{
    QProcess process;
    QStringList arguments = launcher;
    arguments << QStringLiteral(TARN_PROCESS_PROBE) << identifier;
    process.setProgram(arguments.takeFirst());
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start();
    if (!process.waitForFinished(30000))
        return -1;
    *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// The unbounded look-up on a thread of its own; nothing when it has not returned within the time. The
// thread is left behind then, until the test lets the file system answer again.
std::optional<QList<qint64>> lookWithin(const QString& identifier, std::chrono::milliseconds time)
{
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<QList<qint64>> found;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, identifier] {
        const auto found = Workspace::runningApplications(identifier);
        const std::lock_guard lock(shared->mutex);
        shared->found = found ? pids(*found) : QList<qint64>{-1};
        shared->done.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    shared->done.wait_for(lock, time, [&] { return shared->found.has_value(); });
    return shared->found;
}

// One process of a process table of the test's own: its stat line, the program its exe link names,
// and its root (a link to the given folder).
bool writeProcessEntry(const QString& table, qint64 pid, const QString& executable, const QString& root)
{
    QFile realStat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!realStat.open(QIODevice::ReadOnly))
        return false;
    const QString dir = table + QLatin1Char('/') + QString::number(pid);
    return QDir().mkpath(dir) && writeFile(dir + QStringLiteral("/stat"), realStat.readAll()) &&
        writeFile(dir + QStringLiteral("/cgroup"), "0::/user.slice\n") &&
        QFile::link(executable, dir + QStringLiteral("/exe")) && QFile::link(root, dir + QStringLiteral("/root"));
}

} // namespace

// Opened folders and addresses arrive here.
class UrlReceiver : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened << url; }
};

class TestRunningApplications : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        RunningApplication::setTerminationSignalForTesting(SIGKILL);
        Workspace::setProcessTableForTesting(QString());
    }

    void parseStat_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("command");
        QTest::addColumn<char>("state");
        QTest::addColumn<quint64>("startTime");
        const QByteArray tail = " 1 1 1 0 -1 4194560 100 0 0 0 0 0 0 0 20 0 1 0 8731234 1000 200";
        QTest::newRow("plain") << "1234 (de.orlwen) S" + tail << "de.orlwen" << 'S' << quint64(8731234);
        QTest::newRow("blanks and parentheses") << "77 (a (b) c) R" + tail << "a (b) c" << 'R' << quint64(8731234);
        QTest::newRow("zombie") << "9 (x) Z" + tail << "x" << 'Z' << quint64(8731234);
        QTest::newRow("cut short") << QByteArray("1234 (de.orlwen) S 1 1") << "" << '?' << quint64(0);
        QTest::newRow("no command") << QByteArray("1234 S") + tail << "" << '?' << quint64(0);
        QTest::newRow("empty") << QByteArray() << "" << '?' << quint64(0);
    }

    void parseStat()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, command);
        QFETCH(char, state);
        QFETCH(quint64, startTime);
        const RunningApplication::StatFields fields = RunningApplication::parseStat(line);
        QCOMPARE(fields.command, command);
        QCOMPARE(fields.state, state);
        QCOMPARE(fields.startTime, startTime);
    }

    void flatpakIds_data()
    {
        QTest::addColumn<QByteArray>("info");
        QTest::addColumn<QByteArray>("cgroup");
        QTest::addColumn<QString>("id");
        QTest::newRow("sandbox")
            << QByteArray("[Application]\nname=de.orlwen\nruntime=runtime/org.gnome.Platform\n\n[Instance]\n")
            << QByteArray("0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                          "app-flatpak-de.orlwen-2401.scope\n")
            << "de.orlwen";
        QTest::newRow("other sections first")
            << QByteArray("[Instance]\nname=nicht\n[Application]\n name = de.orlwen\n") << QByteArray() << "de.orlwen";
        QTest::newRow("hyphen in the id")
            << QByteArray() << QByteArray("0::/app.slice/app-flatpak-org.beispiel.Mein-Programm-77.scope\n")
            << "org.beispiel.Mein-Programm";
        QTest::newRow("ordinary process")
            << QByteArray() << QByteArray("0::/user.slice/user-1000.slice/session-2.scope\n") << "";
        QTest::newRow("no instance number") << QByteArray() << QByteArray("0::/app-flatpak-de.orlwen.scope\n") << "";
    }

    void flatpakIds()
    {
        QFETCH(QByteArray, info);
        QFETCH(QByteArray, cgroup);
        QFETCH(QString, id);
        const QString found = info.isEmpty() ? RunningApplication::flatpakIdFromCgroup(cgroup)
                                             : RunningApplication::flatpakIdFromInfo(info);
        QCOMPARE(found, id);
        if (!info.isEmpty() && !cgroup.isEmpty())
            QCOMPARE(RunningApplication::flatpakIdFromCgroup(cgroup), id);
    }

    // Every instance is found by its executable's name, ended, and awaited; others stay. The stand-ins
    // bear a name of their own: the user's real sibling app is never found here.
    void findsAndEndsEveryInstance()
    {
        SiblingProcesses programs;
        const QString name = programs.name();
        QProcess* first = programs.start();
        QProcess* second = programs.start();
        QProcess* other = programs.start(name + QStringLiteral(".helper"));
        QVERIFY(programs.ok());

        const QList<RunningApplication> found = look(name);
        QList<qint64> expected{first->processId(), second->processId()};
        std::sort(expected.begin(), expected.end());
        QCOMPARE(pids(found), expected);
        for (const RunningApplication& application : found) {
            QCOMPARE(application.bundleIdentifier(), name);
            QVERIFY(application.flatpakApplicationId().isEmpty());
            QVERIFY(application.isRunning());
            QVERIFY(application.forceTerminate());
        }
        QVERIFY(Workspace::waitForTermination(found, std::chrono::seconds(5)));
        QVERIFY(look(name).isEmpty());
        QTRY_COMPARE(first->state(), QProcess::NotRunning);
        QTRY_COMPARE(second->state(), QProcess::NotRunning);
        QCOMPARE(first->exitStatus(), QProcess::CrashExit);
        QCOMPARE(other->state(), QProcess::Running);
        QCOMPARE(pids(look(name + QStringLiteral(".helper"))), QList<qint64>{other->processId()});
    }

    // The name of the running file counts, not what its name looks like: " (deleted)" is what the
    // kernel adds to an unlinked file, but a file may also bear those words.
    void namesOfDeletedAndOddExecutables()
    {
        SiblingProcesses programs;
        const QString name = programs.name();
        QProcess* lookalike = programs.start(name + QStringLiteral(" (deleted)"));
        QProcess* replaced = programs.start();
        QVERIFY(programs.ok());
        // Deleted while it runs, as an update replaces a program.
        QVERIFY(QFile::remove(programs.path(name)));

        QCOMPARE(pids(look(name)), QList<qint64>{replaced->processId()});
        QCOMPARE(pids(look(name + QStringLiteral(" (deleted)"))), QList<qint64>{lookalike->processId()});
        QCOMPARE(lookalike->state(), QProcess::Running);
    }

    void executableNameFromLink_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<bool>("unlinked");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QByteArray("/usr/bin/de.orlwen") << false << "de.orlwen";
        QTest::newRow("unlinked") << QByteArray("/opt/app/de.orlwen (deleted)") << true << "de.orlwen";
        QTest::newRow("named like unlinked")
            << QByteArray("/tmp/de.orlwen (deleted)") << false << "de.orlwen (deleted)";
        QTest::newRow("named like unlinked, unlinked")
            << QByteArray("/tmp/de.orlwen (deleted) (deleted)") << true << "de.orlwen (deleted)";
        QTest::newRow("blanks") << QByteArray("/home/u/Mein Programm") << false << "Mein Programm";
    }

    void executableNameFromLink()
    {
        QFETCH(QByteArray, target);
        QFETCH(bool, unlinked);
        QFETCH(QString, name);
        QCOMPARE(RunningApplication::executableNameFromLink(target, unlinked), name);
    }

    // Any process can give itself any name (its comm). One whose executable the look-up may not read
    // is therefore never taken for the sibling: here a stand-in with a capability the reader lacks,
    // looked up by a reader without it.
    void unreadableExecutableNeverMatches()
    {
        if (::geteuid() != 0)
            TARN_SKIP_UNLESS_PRIVILEGED(QStringLiteral("running processes as another user needs root"));
        SiblingProcesses programs;
        const QStringList asNobody{QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
                                   QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")};
        QProcess* guarded = programs.start(programs.name(), false,
                                           asNobody +
                                               QStringList{QStringLiteral("--inh-caps=+net_bind_service"),
                                                           QStringLiteral("--ambient-caps=+net_bind_service")});
        QProcess* plain = programs.start(programs.name(), false, asNobody);
        QVERIFY(programs.ok());
        QByteArray output;
        QCOMPARE(probe(asNobody, programs.name(), &output), 0);
        QCOMPARE(output.trimmed(), QByteArray::number(plain->processId()));
        QCOMPARE(guarded->state(), QProcess::Running);
    }

    // A process table that cannot be listed is a failure with the system's reason, not an empty list.
    void unlistableProcessTableFails()
    {
        if (::geteuid() != 0)
            TARN_SKIP_UNLESS_PRIVILEGED(QStringLiteral("a mount namespace needs root"));
        SiblingProcesses programs;
        programs.start();
        QVERIFY(programs.ok());
        QByteArray output;
        const int code = probe({QStringLiteral("unshare"), QStringLiteral("--mount"), QStringLiteral("--propagation"),
                                QStringLiteral("private"), QStringLiteral("sh"), QStringLiteral("-c"),
                                QStringLiteral("mount -t tmpfs -o mode=000 none /proc && exec setpriv --reuid=65534 "
                                               "--regid=65534 --clear-groups \"$0\" \"$1\"")},
                               programs.name(), &output);
        QCOMPARE(code, 3);
        QVERIFY(output.isEmpty());

        Workspace::setProcessTableForTesting(QStringLiteral("/nonexistent/proc"));
        const auto failed = Workspace::runningApplications(programs.name());
        Workspace::setProcessTableForTesting(QString());
        QVERIFY(!failed);
        QVERIFY(!failed.error().isEmpty());
        QCOMPARE(look(programs.name()).size(), 1);
    }

    // A process id now held by another process (another start time) is never signalled.
    void leavesAReusedProcessIdAlone()
    {
        SiblingProcesses programs;
        QProcess* process = programs.start();
        QVERIFY(programs.ok());
        const QList<RunningApplication> found = look(programs.name());
        QCOMPARE(found.size(), 1);
        const RunningApplication earlier(found.first().processIdentifier(), found.first().startTime() - 1,
                                         programs.name());
        QVERIFY(!earlier.isRunning());
        QVERIFY(earlier.forceTerminate());
        QVERIFY(Workspace::waitForTermination({earlier}, std::chrono::seconds(5)));
        QVERIFY(found.first().isRunning());
        QCOMPARE(process->state(), QProcess::Running);
    }

    // A process that outlives the signal makes the bounded wait report false.
    void waitReportsASurvivor()
    {
        RunningApplication::setTerminationSignalForTesting(SIGTERM);
        SiblingProcesses programs;
        QProcess* deaf = programs.start(true);
        QVERIFY(programs.ok());
        const QList<RunningApplication> found = look(programs.name());
        QCOMPARE(found.size(), 1);
        QVERIFY(found.first().forceTerminate());
        QVERIFY(!Workspace::waitForTermination(found, std::chrono::milliseconds(100)));
        QVERIFY(found.first().isRunning());
        QCOMPARE(deaf->state(), QProcess::Running);
    }

    // What the look-up reads of a process never waits: not on the file system its program lies on,
    // which may not answer, nor on a FIFO put where a sandbox's .flatpak-info would be.
    void lookUpNeverWaitsOnAProcessFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("program on a stalled mount") << "stalled program";
        QTest::newRow("FIFO as .flatpak-info") << "fifo";
    }

    void lookUpNeverWaitsOnAProcessFile()
    {
        QFETCH(QString, kind);
        const bool stalled = kind == QLatin1String("stalled program");
        if (stalled && !StalledBindfs::unavailableReason().isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(StalledBindfs::unavailableReason());
        SiblingProcesses programs;
        // The table links into the mount: the mount answers again before the table is removed.
        QTemporaryDir table;
        StalledBindfs mount;
        QProcess process;
        const auto stop = qScopeGuard([&process] {
            process.kill();
            process.waitForFinished();
        });
        qint64 pid = 0;
        if (stalled) {
            QVERIFY2(mount.isMounted(), "bindfs did not mount");
            const QString program = mount.path() + QLatin1Char('/') + programs.name();
            QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), program));
            QVERIFY(QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            process.start(program, {QStringLiteral("60")});
            QVERIFY(process.waitForStarted());
            pid = process.processId();
            QVERIFY(mount.stall());
        } else {
            pid = programs.start()->processId();
            QVERIFY(programs.ok());
            const QString root = table.filePath(QStringLiteral("root"));
            QVERIFY(QDir().mkpath(root));
            QCOMPARE(::mkfifo(QFile::encodeName(root + QStringLiteral("/.flatpak-info")).constData(), 0600), 0);
            QVERIFY(
                writeProcessEntry(table.filePath(QStringLiteral("proc")), pid, programs.path(programs.name()), root));
            Workspace::setProcessTableForTesting(table.filePath(QStringLiteral("proc")));
        }

        const std::optional<QList<qint64>> found = lookWithin(programs.name(), std::chrono::seconds(10));
        QVERIFY2(found, "the look-up waits");
        QCOMPARE(*found, QList<qint64>{pid});
        const auto bounded = Workspace::runningApplications(programs.name(), std::chrono::seconds(10));
        QVERIFY(bounded);
        QCOMPARE(pids(*bounded), QList<qint64>{pid});
        QCOMPARE(bounded->first().executableName(), programs.name());
        Workspace::setProcessTableForTesting(QString());
    }

    // A look-up that does not end in time gives up and names the process it was reading: here one
    // whose root lies on a file system that does not answer.
    void namesTheProcessThatDoesNotAnswer()
    {
        if (!StalledBindfs::unavailableReason().isEmpty())
            TARN_SKIP_UNLESS_PRIVILEGED(StalledBindfs::unavailableReason());
        SiblingProcesses programs;
        const qint64 pid = programs.start()->processId();
        QVERIFY(programs.ok());
        QTemporaryDir table;
        StalledBindfs mount;
        QVERIFY2(mount.isMounted(), "bindfs did not mount");
        QVERIFY(writeProcessEntry(table.filePath(QStringLiteral("proc")), pid, programs.path(programs.name()),
                                  mount.path()));
        QVERIFY(mount.stall());
        Workspace::setProcessTableForTesting(table.filePath(QStringLiteral("proc")));
        const auto found = Workspace::runningApplications(programs.name(), std::chrono::milliseconds(300));
        Workspace::setProcessTableForTesting(QString());
        QVERIFY(!found);
        QVERIFY(found.error().timedOut);
        QCOMPARE(found.error().process, QStringLiteral("%1 (PID %2)").arg(programs.name()).arg(pid));

        // The thread left hanging keeps no process from ending: a program that gave up on such a
        // look-up quits while the file system still does not answer.
        QProcess quitting;
        quitting.start(QStringLiteral(TARN_PROCESS_PROBE),
                       {programs.name(), table.filePath(QStringLiteral("proc")), QStringLiteral("300")});
        QVERIFY(quitting.waitForFinished(10000));
        QCOMPARE(quitting.exitStatus(), QProcess::NormalExit);
        QCOMPARE(quitting.exitCode(), 4);
        QCOMPARE(quitting.readAllStandardOutput().trimmed(),
                 QStringLiteral("%1 (PID %2)").arg(programs.name()).arg(pid).toLocal8Bit());
    }

    void opensThroughTheDesktopsHandlers()
    {
        UrlReceiver receiver;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &receiver, "open");
        const QUrl folder = QUrl::fromLocalFile(QDir::homePath() + QStringLiteral("/Ordner mit Umlaut ä"));
        QVERIFY(Workspace::openURL(folder));
        QCOMPARE(receiver.opened, QList<QUrl>{folder});
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }
};

TARN_TEST_MAIN_WITH(TestRunningApplications, QGuiApplication)
#include "TestRunningApplications.moc"
