#pragma once

#include "core/archive/RestoreJournal.h"
#include "core/archive/RestoreRecovery.h"
#include "core/archive/UniqueFd.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

struct FaultPlan;

// The container folder of a restore and everything a restore does in it besides unpacking:
// the exclusive lock for the whole restore, a working folder under a unique name beside
// "Data", the swap that puts the working folder in place of Data, and the clean-up and
// recovery after an earlier run that was killed.
//
// The swap exchanges the two folders in one step where the file system can. Elsewhere it
// renames Data to ".OldData.<unique>" and the working folder to Data. Every step is recorded in
// the container's journal before it is taken, and recover() acts on that record alone: it
// undoes a swap that had not finished, finishes one that had, and where Data was replaced by
// someone else meanwhile it keeps the old content in a visible folder. The new content carries a
// mark file of ours from its making until the old content is gone: only a Data that holds it is
// taken for the new content (a folder made anew may get the freed inode number). Whatever is
// removed is first renamed to ".RemovingData.<unique>", so that a partly removed tree never
// passes for a whole one.
class RestoreContainer
{
public:
    // faults: kept by reference; it must outlive the container.
    RestoreContainer(const QString& path, const FaultPlan& faults);

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
    // Removes the old content and the mark after a successful swap; a failure is only reported.
    // Where the old content cannot be renamed for removal the journal stays, so that the next
    // recovery finishes the work.
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
    enum class DataIs {
        missing,
        old, // the content from before the restore, or one made before the swap
        fresh, // the new content, or a Data that nothing must be kept beside
        foreign, // a Data someone else made: the old content must stay beside it
        unknown, // no Data, and an old content that cannot be told for sure: kept visible
    };
    // What removeOurs() got done.
    enum class Removal {
        removed,
        leftOver, // renamed for removal, but not all gone: a later recovery removes the rest
        kept, // still under its name, or its removal name may not be on disk yet
    };
    struct Plan
    {
        DataIs data = DataIs::missing;
        QByteArray oldAt; // where the complete old content is
        QByteArray newAt; // where the new content is, when not in Data
    };

    Item probe(const QByteArray& name) const;
    // True when the folder holds the mark file.
    bool holdsMark(const QByteArray& name, const QByteArray& mark) const;
    // Removes the mark file from Data; a missing one counts as removed.
    bool removeMark(const QByteArray& mark, QString* error);
    // Puts Data back after a swap whose sync failed; false leaves it to the recovery.
    bool undoSwap(QString* error);
    Plan planFor(const RestoreJournal& journal) const;
    bool resolve(RestoreJournal journal, RestoreRecovery* report, QString* error);
    bool keepAside(RestoreJournal& journal, const QByteArray& from, RestoreRecovery* report, QString* error);
    void removeLeftovers(RestoreRecovery* report);
    // Empties a working folder that holds nothing but a mark.
    void removeOnlyMarks(const QByteArray& name);
    // Renames one of our items to a removal name and removes it there.
    Removal removeOurs(const QByteArray& name, int* error = nullptr);
    bool writeJournal(QString* error);
    void revertJournal();
    QByteArray uniqueName(const QByteArray& prefix, int length = 6) const;
    QByteArray freeUniqueName(const QByteArray& prefix) const;
    bool renameNoReplace(const QByteArray& from, const QByteArray& to) const;

    QString m_path;
    const FaultPlan& m_faults;
    UniqueFd m_fd;
    UniqueFd m_work;
    RestoreJournal m_journal;
    bool m_journalled = false;
    bool m_swapped = false;
    bool m_leaveForRecovery = false;
    mode_t m_dataMode = 0700;
};
