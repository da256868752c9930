#pragma once

#include "core/archive/UniqueFd.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// The container folder of a restore and everything a restore does in it besides unpacking:
// the exclusive lock for the whole restore, a working folder under a unique name beside
// "Data", the swap that puts the working folder in place of Data, and the clean-up and
// recovery after an earlier run that was killed.
//
// The swap exchanges the two folders in one step where the file system can. Elsewhere it
// renames Data to ".OldData.<unique>", the working folder to Data, and removes the old
// content; a container that holds an ".OldData.*" but no Data was interrupted between the two
// renames, and recover() gives it its Data back.
class RestoreContainer
{
public:
    explicit RestoreContainer(const QString& path);

    enum class Open {
        locked, // this object holds the container's lock
        unlocked, // the file system cannot lock: going on without
        missing, // no container folder (only when not creating it)
        busy, // another restore holds the lock
        failed,
    };
    // Opens the container folder, creating it when asked, and takes its lock.
    Open open(bool create, QString* error);

    // Brings back Data after an interrupted swap and removes the leftovers of earlier runs. False
    // only when Data was missing with an old content in reach that could not be put back.
    bool recover(QString* error);

    // Makes a new working folder; its descriptor stays valid until the swap.
    bool makeWorkingFolder(QString* error);
    int workingFd() const { return m_work.get(); }
    int fd() const { return m_fd.get(); }
    // Gives the working folder Data's mode (0700 when there was no Data).
    bool applyDataMode(QString* error);
    // Puts the working folder in place of Data. On failure Data is as it was.
    bool swapIn(QString* error);
    // Removes the old content after a successful swap; a failure is only reported.
    bool removeOldContent(QString* error);
    // Removes the working folder after a failure.
    void dropWorkingFolder();

    static const QByteArray dataName;

private:
    // 0, or the errno of the failed exchange.
    int exchange();
    bool swapInTwoSteps(QString* error);
    QByteArray uniqueName(const QByteArray& prefix) const;
    bool renameNoReplace(const QByteArray& from, const QByteArray& to) const;
    void removeLeftover(const QByteArray& name);

    QString m_path;
    UniqueFd m_fd;
    UniqueFd m_work;
    QByteArray m_workName;
    QByteArray m_oldName; // the old content after the swap
    mode_t m_dataMode = 0700;
};
