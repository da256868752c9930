#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include <sys/stat.h>

class ArchiveEntry;
struct FaultPlan;
class ZipWriter;

// Walks a folder tree and writes one ZIP entry per file, folder and symbolic link, named after
// the folder ("Data/..."). Nothing is followed: links are stored as links, and only regular files
// are opened (without blocking, so a FIFO that takes the place of a file cannot stall the walk).
// An entry that vanishes between the listing and its reading is skipped; a file that changes
// while it is read fails the walk. A restore's mark file in the top folder is left out.
// Names are byte strings: each is stored byte for byte, never normalized, and marked UTF-8 only
// where it is valid UTF-8. A name too long for a ZIP header fails the walk before its entry is
// written; unstorableName() then names it.
class TreePacker
{
public:
    TreePacker(ZipWriter& zip, const FaultPlan& faults);

    bool addRoot(const QString& given);
    QString errorString() const { return m_error; }
    // The entry path ("Data/...") that no ZIP header can hold, when that failed the walk.
    QByteArray unstorableName() const { return m_unstorable; }

private:
    bool failed(const QString& error);
    bool failed(const QByteArray& entryPath, int error);
    bool countEntry();
    bool skipVanished(const QByteArray& entryPath);
    bool storable(const QByteArray& storedName);
    bool writeHeader(const ArchiveEntry& entry, const QByteArray& storedName, const QByteArray& linkTarget = {});
    ArchiveEntry entryFor(const QByteArray& storedName, const struct stat& st);
    // Stats an open file once its last change lies in an earlier clock tick than the read.
    bool settle(int fd, const QByteArray& entryPath, struct stat* st);
    // Takes ownership of fd.
    bool addDirectory(int fd, const QByteArray& entryPath, const struct stat& st);
    bool addChild(int dirFd, const QByteArray& name, const QByteArray& entryPath);
    bool addLink(int dirFd, const QByteArray& name, const QByteArray& entryPath, const struct stat& st);
    bool addFile(int dirFd, const QByteArray& name, const QByteArray& entryPath);

    ZipWriter& m_zip;
    const FaultPlan& m_faults;
    std::vector<char> m_buffer;
    QString m_error;
    QByteArray m_unstorable;
    int m_entries = 0;
};
