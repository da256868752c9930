#include "core/archive/SafeExtractor.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QString describe(const QList<QByteArray>& components, int error)
{
    return QFile::decodeName(components.join('/')) + QStringLiteral(": ") +
        QString::fromLocal8Bit(std::strerror(error));
}

// While a folder is filled only its owner may enter it.
constexpr mode_t workingMode = 0700;

} // namespace

bool SafeExtractor::split(const QByteArray& path, QList<QByteArray>* components, QString* error)
{
    components->clear();
    if (path.startsWith('/')) {
        *error = QStringLiteral("absolute entry path: ") + QString::fromUtf8(path);
        return false;
    }
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            *error = QStringLiteral("entry path leaves the folder: ") + QString::fromUtf8(path);
            return false;
        }
        components->append(part);
    }
    return true;
}

int SafeExtractor::openParent(const QList<QByteArray>& components, QString* error)
{
    int fd = ::dup(m_rootFd);
    if (fd < 0) {
        *error = describe(components, errno);
        return -1;
    }
    for (qsizetype i = 0; i + 1 < components.size(); ++i) {
        const char* name = components[i].constData();
        if (::mkdirat(fd, name, workingMode) == 0) {
            // A folder the archive names only through its content: the default mode.
            m_folderModes.emplace(components.mid(0, i + 1).join('/'), 0777 & ~m_umask);
        } else if (errno != EEXIST) {
            *error = describe(components, errno);
            ::close(fd);
            return -1;
        }
        const int next = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int openError = errno;
        ::close(fd);
        if (next < 0) {
            *error = describe(components.mid(0, i + 1), openError) +
                (openError == ELOOP || openError == ENOTDIR ? QStringLiteral(" (not a folder)") : QString());
            return -1;
        }
        fd = next;
    }
    return fd;
}

bool SafeExtractor::makeDirectory(const QList<QByteArray>& components, mode_t storedMode, QString* error)
{
    if (components.isEmpty())
        return true;
    const int parent = openParent(components, error);
    if (parent < 0)
        return false;
    bool ok = true;
    const QByteArray path = components.join('/');
    const mode_t mode = (storedMode & 0777 ? storedMode & 0777 : 0777) & ~m_umask;
    if (::mkdirat(parent, components.last().constData(), workingMode) == 0) {
        m_folderModes[path] = mode;
    } else {
        const int mkdirError = errno;
        struct stat st = {};
        if (mkdirError != EEXIST || ::fstatat(parent, components.last().constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode)) {
            *error = describe(components, mkdirError == EEXIST ? ENOTDIR : mkdirError);
            ok = false;
        } else if (const auto made = m_folderModes.find(path); made != m_folderModes.end()) {
            // Made earlier for a deeper entry: the folder's own entry now gives its mode.
            made->second = mode;
        }
    }
    ::close(parent);
    return ok;
}

int SafeExtractor::createFile(const QList<QByteArray>& components, mode_t mode, QString* error)
{
    if (components.isEmpty()) {
        *error = QStringLiteral("file entry without a name");
        return -1;
    }
    const int parent = openParent(components, error);
    if (parent < 0)
        return -1;
    const int fd =
        ::openat(parent, components.last().constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        *error = describe(components, errno);
    ::close(parent);
    return fd;
}

SafeExtractor::LinkResult SafeExtractor::createSymlink(const QList<QByteArray>& components, const QByteArray& target,
                                                       QString* error)
{
    if (components.isEmpty()) {
        *error = QStringLiteral("symbolic link entry without a name");
        return LinkResult::failed;
    }
    const int parent = openParent(components, error);
    if (parent < 0)
        return LinkResult::unsafe;
    const bool ok = ::symlinkat(target.constData(), parent, components.last().constData()) == 0;
    if (!ok)
        *error = describe(components, errno);
    ::close(parent);
    return ok ? LinkResult::created : LinkResult::failed;
}

bool SafeExtractor::finish(QString* error)
{
    std::vector<std::pair<QByteArray, mode_t>> folders(m_folderModes.begin(), m_folderModes.end());
    // Deepest first: a folder that loses its owner's search permission has no folders left to change.
    std::stable_sort(folders.begin(), folders.end(),
                     [](const auto& a, const auto& b) { return a.first.count('/') > b.first.count('/'); });
    for (const auto& [path, mode] : folders) {
        const QList<QByteArray> components = path.split('/');
        QString openError;
        const int parent = openParent(components, &openError);
        const int fd = parent < 0
            ? -1
            : ::openat(parent, components.last().constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int openErrno = errno;
        if (parent >= 0)
            ::close(parent);
        if (fd < 0) {
            *error = parent < 0 ? openError : describe(components, openErrno);
            return false;
        }
        const bool ok = ::fchmod(fd, mode) == 0;
        const int chmodErrno = errno;
        ::close(fd);
        if (!ok) {
            *error = describe(components, chmodErrno);
            return false;
        }
    }
    m_folderModes.clear();
    return true;
}
