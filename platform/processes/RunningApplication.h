#pragma once

#include <QList>
#include <QString>

// One running process of this user, as the process table showed it. The start time tells the
// process apart from a later one that reuses its process id, so no call ever reaches a stranger.
class RunningApplication
{
public:
    RunningApplication() = default;
    RunningApplication(qint64 processIdentifier, quint64 startTime, QString executableName,
                       QString flatpakApplicationId = {});

    qint64 processIdentifier() const { return m_processIdentifier; }
    // Clock ticks after boot, as /proc/<pid>/stat gives it.
    quint64 startTime() const { return m_startTime; }
    QString executableName() const { return m_executableName; }
    // The desktop application id of a sandboxed (Flatpak) process; empty otherwise.
    QString flatpakApplicationId() const { return m_flatpakApplicationId; }
    // The Flatpak id when there is one, else the executable's name.
    QString bundleIdentifier() const;

    // Still this very process, and not yet exited (a zombie counts as exited).
    bool isRunning() const;
    // Sends the termination signal (SIGKILL). True when it was sent or the process is already gone.
    bool forceTerminate() const;

    QString description() const;

    friend bool operator==(const RunningApplication& a, const RunningApplication& b)
    {
        return a.m_processIdentifier == b.m_processIdentifier && a.m_startTime == b.m_startTime;
    }

    // Parsers of the process table, public for their tests.
    struct StatFields
    {
        QString command;
        char state = '?';
        quint64 startTime = 0;
    };
    // A line of /proc/<pid>/stat; nothing usable when it is malformed (state '?').
    static StatFields parseStat(const QByteArray& line);
    // The [Application] name of a sandbox's .flatpak-info file.
    static QString flatpakIdFromInfo(const QByteArray& info);
    // The application id in a process's cgroup path ("app-flatpak-<id>-<n>.scope").
    static QString flatpakIdFromCgroup(const QByteArray& cgroup);
    // The file name in the target of /proc/<pid>/exe. The kernel appends " (deleted)" to the target of
    // an unlinked file; it is taken off only then, since a file may bear those words in its name.
    static QString executableNameFromLink(const QByteArray& target, bool unlinked);

    // Test hook: the signal forceTerminate() sends (SIGKILL unless set).
    static void setTerminationSignalForTesting(int signal);

private:
    qint64 m_processIdentifier = 0;
    quint64 m_startTime = 0;
    QString m_executableName;
    QString m_flatpakApplicationId;
};
