#include "core/archive/FileTree.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
