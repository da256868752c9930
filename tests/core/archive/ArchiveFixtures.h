#pragma once

#include "core/archive/FaultPlan.h"
#include "core/archive/FinderCommentError.h"
#include "core/archive/RestoreRecovery.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

// Helpers shared by the archive engine's tests.

// A temporary folder for one test, removed at the end even where the test left folders without
// their owner's write permission.
class ScratchDir
{
public:
    ScratchDir();
    ~ScratchDir();
    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

struct ZipItem
{
    QByteArray path; // '\x01' stands for a NUL byte, patched into the finished archive
    int type; // AE_IFREG, AE_IFDIR, AE_IFLNK
    QByteArray content; // file content or link target
    int mode = 0; // permission bits; 0: 0755 for folders, 0644 otherwise
};

// A stored ZIP with exactly these entries, in this order; options as libarchive's ZIP writer takes them.
// namesAsUtf8: names and link targets are handed to libarchive as UTF-8 rather than as bytes.
QByteArray makeZip(const QList<ZipItem>& items, const char* options = "zip:compression=store",
                   bool namesAsUtf8 = false);

// Where the records of one entry lie in a ZIP: its local header, its data, its data descriptor
// (-1 without one) and its central directory header; all -1 when there is no such entry.
struct ZipEntryLayout
{
    qsizetype local = -1;
    qsizetype data = -1;
    qsizetype descriptor = -1;
    qsizetype central = -1;
};
ZipEntryLayout zipEntryLayout(const QByteArray& zip, const QByteArray& name);
// Stores a little-endian value of `bytes` bytes at pos.
void putLittleEndian(QByteArray* bytes, qsizetype pos, quint64 value, int size);
// The backup file bytes for a plaintext.
QByteArray encryptBackup(const QByteArray& plain, const QString& password);

// Every name in a folder, hidden ones included, sorted.
QStringList entriesOf(const QString& dir);
// The permission bits of a path (not following a link), or -1.
int modeOf(const QString& path);

ArchiveResult createBackup(const QString& from, const QString& to, const QString& password,
                           const QString& comment = QString(), const FaultPlan& faults = FaultPlan::none());
ArchiveResult restoreBackup(const QString& from, const QString& to, const QString& password,
                            const FaultPlan& faults = FaultPlan::none());
const char* codeName(const ArchiveResult& result);
RecoveryResult recoverContainer(const QString& container, const FaultPlan& faults = FaultPlan::none());
const char* codeName(const RecoveryResult& result);
// "nothingToDo", "cleanedUp", ...: the outcome of a successful recovery, else its failure.
const char* outcomeName(const RecoveryResult& result);
