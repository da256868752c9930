#include "platform/processes/Workspace.h"
#include "tests/platform/SiblingProcesses.h"
#include "tests/support/TestMain.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QSignalSpy>

#include <algorithm>
#include <csignal>

namespace {

QList<qint64> pids(const QList<RunningApplication>& applications)
{
    QList<qint64> result;
    for (const RunningApplication& application : applications)
        result << application.processIdentifier();
    std::sort(result.begin(), result.end());
    return result;
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
    void cleanup() { RunningApplication::setTerminationSignalForTesting(SIGKILL); }

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

    // Every instance is found by its executable's name, ended, and awaited; others stay.
    void findsAndEndsEveryInstance()
    {
        SiblingProcesses programs;
        QProcess* first = programs.start(QStringLiteral("de.orlwen"));
        QProcess* second = programs.start(QStringLiteral("de.orlwen"));
        QProcess* other = programs.start(QStringLiteral("de.orlwen.helper"));
        QVERIFY(programs.ok());

        const QList<RunningApplication> found = Workspace::runningApplications(QStringLiteral("de.orlwen"));
        QList<qint64> expected{first->processId(), second->processId()};
        std::sort(expected.begin(), expected.end());
        QCOMPARE(pids(found), expected);
        for (const RunningApplication& application : found) {
            QCOMPARE(application.bundleIdentifier(), QStringLiteral("de.orlwen"));
            QVERIFY(application.flatpakApplicationId().isEmpty());
            QVERIFY(application.isRunning());
            QVERIFY(application.forceTerminate());
        }
        QVERIFY(Workspace::waitForTermination(found, std::chrono::seconds(5)));
        QVERIFY(Workspace::runningApplications(QStringLiteral("de.orlwen")).isEmpty());
        QTRY_COMPARE(first->state(), QProcess::NotRunning);
        QTRY_COMPARE(second->state(), QProcess::NotRunning);
        QCOMPARE(first->exitStatus(), QProcess::CrashExit);
        QCOMPARE(other->state(), QProcess::Running);
        QCOMPARE(pids(Workspace::runningApplications(QStringLiteral("de.orlwen.helper"))),
                 QList<qint64>{other->processId()});
    }

    // A process id now held by another process (another start time) is never signalled.
    void leavesAReusedProcessIdAlone()
    {
        SiblingProcesses programs;
        QProcess* process = programs.start(QStringLiteral("de.orlwen"));
        QVERIFY(programs.ok());
        const QList<RunningApplication> found = Workspace::runningApplications(QStringLiteral("de.orlwen"));
        QCOMPARE(found.size(), 1);
        const RunningApplication earlier(found.first().processIdentifier(), found.first().startTime() - 1,
                                         QStringLiteral("de.orlwen"));
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
        QProcess* deaf = programs.start(QStringLiteral("de.orlwen"), true);
        QVERIFY(programs.ok());
        const QList<RunningApplication> found = Workspace::runningApplications(QStringLiteral("de.orlwen"));
        QCOMPARE(found.size(), 1);
        QVERIFY(found.first().forceTerminate());
        QVERIFY(!Workspace::waitForTermination(found, std::chrono::milliseconds(100)));
        QVERIFY(found.first().isRunning());
        QCOMPARE(deaf->state(), QProcess::Running);
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
