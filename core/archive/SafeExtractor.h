#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Creates entries below one directory descriptor and nowhere else: no absolute paths, no
// ".." components, and no path that runs through a symbolic link (every component is
// opened with O_NOFOLLOW). Independent of the process's working directory.
class SafeExtractor
{
public:
    explicit SafeExtractor(int rootFd)
        : m_rootFd(rootFd)
    {
    }

    // Splits a relative entry path into components; fails on an absolute path or "..".
    static bool split(const QString& path, QList<QByteArray>* components, QString* error);

    bool makeDirectory(const QList<QByteArray>& components, QString* error);
    // Returns a descriptor open for writing a new file, or -1. The file must not exist yet.
    int createFile(const QList<QByteArray>& components, mode_t mode, QString* error);
    enum class LinkResult { created, failed, unsafe };
    // `failed`: the link itself could not be made; `unsafe`: its folder could not be reached safely.
    LinkResult createSymlink(const QList<QByteArray>& components, const QByteArray& target, QString* error);

private:
    // Opens (creating as needed) the folder holding the last component; -1 on failure.
    int openParent(const QList<QByteArray>& components, QString* error);

    int m_rootFd;
};
