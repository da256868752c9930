#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

struct FaultPlan;

// The record of one restore's progress, kept in its container folder from the moment its working
// folder is made until the last working item is gone. Each step is written (and synced) before
// the rename that begins it, so that a run killed at any point leaves a record saying which
// folder holds which content and what of it is complete. Only a record that parses and whose
// check sum matches is ever acted upon.
class RestoreJournal
{
public:
    enum class Step {
        unpacking, // the working folder is being filled: incomplete
        swapping, // the working folder is complete; the first rename of the swap follows
        movedAside, // two steps: Data's old content has its aside name; the new content follows
        swapped, // Data holds the new content; the old content is complete until it is removed
        keeping, // Data was replaced by someone else: the old content moves to a visible folder
    };
    enum class Method {
        none, // no Data before: the working folder is renamed to Data
        exchange, // one atomic exchange of the working folder and Data
        twoSteps, // Data to its aside name, then the working folder to Data
    };
    // A folder's identity on its file system; unknown when both are 0.
    struct Identity
    {
        dev_t device = 0;
        ino_t inode = 0;
        bool known() const { return device != 0 || inode != 0; }
        bool operator==(const Identity&) const = default;
    };

    Step step = Step::unpacking;
    Method method = Method::none;
    qint64 startedMSecs = 0; // when the restore began, in milliseconds since the epoch
    QByteArray work; // the working folder: the new content
    Identity workIdentity;
    Identity dataIdentity; // Data before the swap (exchange only)
    // The mark file in the new content's top folder that tells it from any other folder, also one
    // that took over its inode number; empty in records of older versions, which had none.
    QByteArray mark;
    QByteArray aside; // two steps: the old content's name between the renames
    QByteArray keptFrom; // keeping: the item that holds the old content
    QByteArray kept; // keeping: the visible folder it moves to

    enum class Read {
        none, // no record
        ok,
        damaged, // a record that does not parse or whose check sum does not match
        failed, // the record could not be read
    };
    static Read read(int dirFd, RestoreJournal* journal, QString* error);
    // Replaces the record atomically and syncs it and the folder.
    bool write(int dirFd, const FaultPlan& faults, QString* error) const;
    // Removes the record and syncs the folder; a missing record counts as removed. False also when
    // the removal may not be on disk.
    static bool remove(int dirFd, const FaultPlan& faults, QString* error);
    // Removes a half-written record of a killed run.
    static void removeUnfinished(int dirFd);

    QByteArray serialize() const;
    static bool parse(const QByteArray& text, RestoreJournal* journal);

    static const QByteArray fileName;
    static const QByteArray workPrefix; // ".TempData."
    static const QByteArray asidePrefix; // ".OldData."
    static const QByteArray removalPrefix; // ".RemovingData."
    // True for prefix + 6 letters or digits.
    static bool isUniqueName(const QByteArray& name, const QByteArray& prefix);
    // A mark is 16 letters or digits; its file in the new content is named markPrefix + mark.
    static bool isMark(const QByteArray& mark);
    static QByteArray markName(const QByteArray& mark);
    static const QByteArray markPrefix; // ".RestoreMark."
    // Syncs a folder of the container. Fails where the plan's failFolderSyncAt names `point`, as
    // after a write error of the disk.
    static bool syncFolder(int fd, const char* point, const FaultPlan& faults);
    // The visible folder for the old content of a restore begun at that time.
    static QString keptName(qint64 startedMSecs, int attempt);
};
