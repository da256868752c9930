#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <map>

#include <sys/types.h>

// Creates entries below one directory descriptor and nowhere else: no absolute paths, no
// ".." components, and no path that runs through a symbolic link (every component is
// opened with O_NOFOLLOW). Independent of the process's working directory.
// Folders are made private (0700) while they are filled and get their final modes in
// finish(): the mode an entry stored, or the usual default, masked with the umask.
class SafeExtractor
{
public:
    explicit SafeExtractor(int rootFd, mode_t umask)
        : m_rootFd(rootFd)
        , m_umask(umask)
    {
    }

    // Splits a relative entry path, a byte string, into components; fails on an absolute path or "..".
    static bool split(const QByteArray& path, QList<QByteArray>* components, QString* error);

    // storedMode: the permission bits the archive holds for the folder, 0 when it holds none.
    bool makeDirectory(const QList<QByteArray>& components, mode_t storedMode, QString* error);
    // Returns a descriptor open for writing a new file, or -1. The file must not exist yet.
    int createFile(const QList<QByteArray>& components, mode_t mode, QString* error);
    enum class LinkResult { created, failed, unsafe };
    // `failed`: the link itself could not be made; `unsafe`: its folder could not be reached safely.
    LinkResult createSymlink(const QList<QByteArray>& components, const QByteArray& target, QString* error);
    // Gives every folder made so far its final mode, deepest first.
    bool finish(QString* error);

private:
    // Opens (creating as needed) the folder holding the last component; -1 on failure.
    int openParent(const QList<QByteArray>& components, QString* error);

    int m_rootFd;
    mode_t m_umask;
    // Final modes by folder path, for folders this extractor made.
    std::map<QByteArray, mode_t> m_folderModes;
};
