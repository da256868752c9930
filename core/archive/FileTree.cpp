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

// The mount an entry lies on, asked without following a link and without waiting for the file
// system's own answer (a mount that does not answer must not hold the removal).
bool mountIdAt(int dirFd, const char* name, quint64* id)
{
    struct statx info = {};
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC, STATX_MNT_ID, &info) != 0)
        return false;
    if (!(info.stx_mask & STATX_MNT_ID)) {
        errno = EOPNOTSUPP;
        return false;
    }
    *id = info.stx_mnt_id;
    return true;
}

bool removeTree(int dirFd, const QByteArray& name, int& err, const quint64* mount)
{
    if (::unlinkat(dirFd, name.constData(), 0) == 0 || errno == ENOENT)
        return true;
    if (errno != EISDIR && errno != EPERM) {
        err = errno;
        return false;
    }
    if (mount) {
        quint64 id = 0;
        if (!mountIdAt(dirFd, name.constData(), &id)) {
            if (errno == ENOENT)
                return true;
            err = errno;
            return false;
        }
        if (id != *mount) {
            err = EXDEV;
            return false;
        }
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
        if (!removeTree(fd, child, err, mount))
            ok = false;
    }
    ::closedir(dir);
    if (ok && ::unlinkat(dirFd, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        err = errno;
        ok = false;
    }
    return ok;
}

} // namespace

bool removeTreeAt(int dirFd, const QByteArray& name, int* error)
{
    int local = 0;
    return removeTree(dirFd, name, error ? *error : local, nullptr);
}

bool removeTreeOnOneMountAt(int dirFd, const QByteArray& name, int* error)
{
    int local = 0;
    int& err = error ? *error : local;
    quint64 mount = 0;
    if (!mountIdAt(dirFd, name.constData(), &mount)) {
        if (errno == ENOENT)
            return true;
        err = errno;
        return false;
    }
    return removeTree(dirFd, name, err, &mount);
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
