#include "core/archive/FileTree.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder of ours without write or search permission for its owner cannot be emptied; give
// the owner full access first. Never follows a symbolic link.
void makeRemovable(int dirFd, const char* name)
{
    struct stat st = {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return;
    if ((st.st_mode & S_IRWXU) == S_IRWXU)
        return;
    const mode_t mode = (st.st_mode & 07777) | S_IRWXU;
    if (::fchmodat(dirFd, name, mode, AT_SYMLINK_NOFOLLOW) == 0)
        return;
    // Without /proc the C library cannot change a mode without following links: open the folder.
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        ::fchmod(fd, mode);
        ::close(fd);
    }
}

} // namespace

bool removeTreeAt(int dirFd, const QByteArray& name, int* error)
{
    int local = 0;
    int& err = error ? *error : local;
    if (::unlinkat(dirFd, name.constData(), 0) == 0 || errno == ENOENT)
        return true;
    if (errno != EISDIR && errno != EPERM) {
        err = errno;
        return false;
    }
    makeRemovable(dirFd, name.constData());
    const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return false;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        err = errno;
        ::close(fd);
        return false;
    }
    bool ok = true;
    while (dirent* e = ::readdir(dir)) {
        const QByteArray child(e->d_name);
        if (child == "." || child == "..")
            continue;
        if (!removeTreeAt(fd, child, &err))
            ok = false;
    }
    ::closedir(dir);
    if (ok && ::unlinkat(dirFd, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        err = errno;
        ok = false;
    }
    return ok;
}

mode_t currentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(mask & 0777);
            }
        }
    }
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return mask;
}

bool renameNoReplaceAt(int dirFd, const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(dirFd, from.constData(), dirFd, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    struct stat st = {};
    if (::fstatat(dirFd, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(dirFd, from.constData(), dirFd, to.constData()) == 0;
}
