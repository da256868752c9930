#pragma once

#include "core/archive/FinderCommentError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

// Helpers shared by the archive engine's tests.

// A temporary folder for one test, removed at the end even where the test left folders without
// their owner's write permission. Clears every failure seam when made and when removed.
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

// A stored ZIP with exactly these entries, in this order.
QByteArray makeZip(const QList<ZipItem>& items);
// The backup file bytes for a plaintext.
QByteArray encryptBackup(const QByteArray& plain, const QString& password);

// Every name in a folder, hidden ones included, sorted.
QStringList entriesOf(const QString& dir);
// The permission bits of a path (not following a link), or -1.
int modeOf(const QString& path);

ArchiveResult createBackup(const QString& from, const QString& to, const QString& password,
                           const QString& comment = QString());
ArchiveResult restoreBackup(const QString& from, const QString& to, const QString& password);
const char* codeName(const ArchiveResult& result);

// Clears every failure seam.
void resetArchiveFaults();
