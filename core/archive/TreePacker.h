#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include <sys/stat.h>

class ArchiveEntry;
class ZipWriter;

// Walks a folder tree and writes one ZIP entry per file, folder and symbolic link, named after
// the folder ("Data/..."). Nothing is followed: links are stored as links, and only regular files
// are opened (without blocking, so a FIFO that takes the place of a file cannot stall the walk).
// An entry that vanishes between the listing and its reading is skipped; a file that changes
// its size while it is read fails the walk.
class TreePacker
{
public:
    explicit TreePacker(ZipWriter& zip);

    bool addRoot(const QString& given);
    QString errorString() const { return m_error; }

private:
    bool failed(const QString& error);
    bool failed(const QByteArray& entryPath, int error);
    bool countEntry();
    bool skipVanished(const QByteArray& entryPath);
    ArchiveEntry entryFor(const QByteArray& entryPath, const struct stat& st);
    // Takes ownership of fd.
    bool addDirectory(int fd, const QByteArray& entryPath, const struct stat& st);
    bool addChild(int dirFd, const QByteArray& name, const QByteArray& entryPath);
    bool addLink(int dirFd, const QByteArray& name, const QByteArray& entryPath, const struct stat& st);
    bool addFile(int dirFd, const QByteArray& name, const QByteArray& entryPath);

    ZipWriter& m_zip;
    std::vector<char> m_buffer;
    QString m_error;
    int m_entries = 0;
};
