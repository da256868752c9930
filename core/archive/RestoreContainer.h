#pragma once

#include "core/archive/RestoreJournal.h"
#include "core/archive/RestoreRecovery.h"
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
// renames Data to ".OldData.<unique>" and the working folder to Data. Every step is recorded in
// the container's journal before it is taken, and recover() acts on that record alone: it
// undoes a swap that had not finished, finishes one that had, and where Data was replaced by
// someone else meanwhile it keeps the old content in a visible folder. Whatever is removed is
// first renamed to ".RemovingData.<unique>", so that a partly removed tree never passes for a
// whole one.
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

    // Finishes or undoes an interrupted restore from its journal and removes what earlier runs
    // left behind. False when the journal could not be read or a content could not be put where
    // it belongs; everything then stays for the next attempt.
    bool recover(RestoreRecovery* report, QString* error);

    // Makes a new working folder and starts the journal; the descriptor stays valid until the swap.
    bool makeWorkingFolder(QString* error);
    int workingFd() const { return m_work.get(); }
    int fd() const { return m_fd.get(); }
    // Gives the working folder Data's mode (0700 when there was no Data).
    bool applyDataMode(QString* error);
    // Puts the working folder in place of Data. On failure Data is as it was, or, should even
    // putting it back fail, the journal lets recover() bring it back.
    bool swapIn(QString* error);
    // Removes the old content after a successful swap; a failure is only reported.
    bool removeOldContent(QString* error);
    // Removes the working folder after a failure.
    void dropWorkingFolder();

    static const QByteArray dataName;

private:
    struct Item
    {
        bool exists = false;
        RestoreJournal::Identity identity;
    };
    enum class DataIs { missing, old, fresh, foreign, unknown };
    struct Plan
    {
        DataIs data = DataIs::missing;
        QByteArray oldAt; // where the complete old content is
        QByteArray newAt; // where the new content is, when not in Data
    };

    Item probe(const QByteArray& name) const;
    Plan planFor(const RestoreJournal& journal) const;
    bool resolve(RestoreJournal journal, RestoreRecovery* report, QString* error);
    bool keepAside(RestoreJournal& journal, const QByteArray& from, RestoreRecovery* report, QString* error);
    void removeLeftovers(RestoreRecovery* report);
    // Renames one of our items to a removal name and removes it there.
    bool removeOurs(const QByteArray& name, int* error = nullptr);
    bool writeJournal(QString* error);
    void revertJournal();
    QByteArray uniqueName(const QByteArray& prefix) const;
    QByteArray freeUniqueName(const QByteArray& prefix) const;
    bool renameNoReplace(const QByteArray& from, const QByteArray& to) const;

    QString m_path;
    UniqueFd m_fd;
    UniqueFd m_work;
    RestoreJournal m_journal;
    bool m_journalled = false;
    bool m_swapped = false;
    bool m_leaveForRecovery = false;
    mode_t m_dataMode = 0700;
};
