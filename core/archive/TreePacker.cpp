#include "core/archive/TreePacker.h"

#include "core/archive/ArchiveHandles.h"
#include "core/archive/CipherSink.h"
#include "core/archive/FaultPlan.h"
#include "core/archive/RestoreJournal.h"
#include "core/archive/UniqueFd.h"
#include "platform/Diagnostics.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace {

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool earlier(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The clock the kernel stamps file changes with (one reading per tick).
timespec coarseNow()
{
    timespec now = {};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

void waitOneTick()
{
    static const timespec tick = [] {
        timespec t = {};
        if (::clock_getres(CLOCK_REALTIME_COARSE, &t) != 0 || (t.tv_sec == 0 && t.tv_nsec == 0))
            t = {0, 10'000'000};
        return t;
    }();
    ::nanosleep(&tick, nullptr);
}

constexpr long second = 1'000'000'000;

timespec plus(const timespec& t, long nsec)
{
    const long sum = t.tv_nsec + nsec;
    return {t.tv_sec + sum / second, sum % second};
}

// How far apart two stamps of the file system lie. Some file systems cut stamps down to a step of
// their own, which the ctime shows: FAT keeps two seconds, exFAT through FUSE whole
// seconds, exFAT in the kernel 10 ms. Elsewhere each clock tick stamps a time of its own.
long stepOf(const timespec& ctime)
{
    return ctime.tv_nsec == 0 ? 2 * second : ctime.tv_nsec % 10'000'000 == 0 ? 10'000'000 : 1;
}

// A file still changed this long after its first stamp's step is being written to: it fails as
// one that grows.
constexpr long longestSettlingNs = 100'000'000;

} // namespace

TreePacker::TreePacker(ZipWriter& zip, const FaultPlan& faults)
    : m_zip(zip)
    , m_faults(faults)
    , m_buffer(CipherSink::chunkSize)
{
}

bool TreePacker::addRoot(const QString& given)
{
    // "Data/" and "Data" both name the entries "Data/...".
    const QString path = QDir::cleanPath(QFileInfo(given).absoluteFilePath());
    if (QFileInfo(path).fileName().isEmpty())
        return failed(QStringLiteral("%1: cannot back up a file system root").arg(given));
    const QByteArray local = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(local.constData(), &st) != 0)
        return failed(QStringLiteral("%1: %2").arg(path, errnoText()));
    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
    if (S_ISDIR(st.st_mode)) {
        const int fd = ::open(local.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return failed(QStringLiteral("%1: %2").arg(path, errnoText()));
        return addDirectory(fd, name, st);
    }
    UniqueFd dirFd(
        ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFd.isValid())
        return failed(QStringLiteral("%1: %2").arg(path, errnoText()));
    return addChild(dirFd.get(), name, name);
}

bool TreePacker::failed(const QString& error)
{
    if (m_error.isEmpty())
        m_error = error;
    return false;
}

bool TreePacker::failed(const QByteArray& entryPath, int error)
{
    return failed(QStringLiteral("%1: %2").arg(QString::fromUtf8(entryPath), errnoText(error)));
}

bool TreePacker::countEntry()
{
    const int limit = m_faults.failCreateAfterEntries;
    if (limit >= 0 && m_entries >= limit)
        return failed(QStringLiteral("injected failure after %1 entries").arg(m_entries));
    ++m_entries;
    return true;
}

// The sibling app may delete a file (a journal, say) while the walk passes by: the backup holds
// what was there when the entry was read.
bool TreePacker::skipVanished(const QByteArray& entryPath)
{
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Пропущен исчезнувший файл: ") + QString::fromUtf8(entryPath);
    return true;
}

bool TreePacker::storable(const QByteArray& storedName)
{
    if (size_t(storedName.size()) <= ZipWriter::longestName)
        return true;
    m_unstorable = storedName.endsWith('/') ? storedName.chopped(1) : storedName;
    return failed(QStringLiteral("%1: name too long for a ZIP entry (%2 bytes)")
                      .arg(QString::fromUtf8(m_unstorable.right(200)), QString::number(storedName.size())));
}

bool TreePacker::writeHeader(const ArchiveEntry& entry, const QByteArray& storedName, const QByteArray& linkTarget)
{
    // Readers that honour the flag decode the link target as they decode the name.
    const bool utf8 = QByteArrayView(storedName).isValidUtf8() && QByteArrayView(linkTarget).isValidUtf8();
    if (!m_zip.writeHeader(entry, utf8))
        return failed(m_zip.errorString());
    return true;
}

ArchiveEntry TreePacker::entryFor(const QByteArray& storedName, const struct stat& st)
{
    ArchiveEntry entry;
    archive_entry_copy_pathname(entry.get(), storedName.constData());
    archive_entry_set_perm(entry.get(), st.st_mode & 07777);
    archive_entry_set_mtime(entry.get(), st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return entry;
}

bool TreePacker::addDirectory(int fd, const QByteArray& entryPath, const struct stat& st)
{
    UniqueFd owner(fd);
    const QByteArray storedName = entryPath + '/';
    if (!countEntry() || !storable(storedName))
        return false;
    ArchiveEntry entry = entryFor(storedName, st);
    archive_entry_set_filetype(entry.get(), AE_IFDIR);
    archive_entry_set_size(entry.get(), 0);
    if (!writeHeader(entry, storedName))
        return false;

    const int listFd = ::dup(fd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return failed(entryPath, errno);
    }
    std::vector<QByteArray> names;
    errno = 0;
    while (dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    const int listError = errno;
    ::closedir(dir);
    if (listError != 0)
        return failed(entryPath, listError);
    std::sort(names.begin(), names.end());
    for (const QByteArray& name : names) {
        if (!addChild(fd, name, entryPath + '/' + name))
            return false;
    }
    return true;
}

bool TreePacker::addChild(int dirFd, const QByteArray& name, const QByteArray& entryPath)
{
    struct stat st = {};
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? skipVanished(entryPath) : failed(entryPath, errno);
    m_faults.notify("walk:open", entryPath);
    // A restore's mark in the top folder is ours, not the sibling app's: it stays out of backups.
    if (S_ISREG(st.st_mode) && entryPath.count('/') == 1 && name.startsWith(RestoreJournal::markPrefix) &&
        RestoreJournal::isMark(name.mid(RestoreJournal::markPrefix.size())))
        return true;
    if (S_ISDIR(st.st_mode)) {
        const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return errno == ENOENT ? skipVanished(entryPath) : failed(entryPath, errno);
        return addDirectory(fd, entryPath, st);
    }
    if (S_ISLNK(st.st_mode))
        return addLink(dirFd, name, entryPath, st);
    if (S_ISREG(st.st_mode))
        return addFile(dirFd, name, entryPath);
    qCDebug(lcDiagnostics).noquote() << "Пропущен специальный файл:" << QString::fromUtf8(entryPath);
    return true;
}

bool TreePacker::addLink(int dirFd, const QByteArray& name, const QByteArray& entryPath, const struct stat& st)
{
    if (!countEntry() || !storable(entryPath))
        return false;
    QByteArray target(int(std::max<off_t>(st.st_size, 0)) + 1, '\0');
    ssize_t n = 0;
    for (;;) {
        n = ::readlinkat(dirFd, name.constData(), target.data(), size_t(target.size()));
        if (n < 0)
            return errno == ENOENT ? skipVanished(entryPath) : failed(entryPath, errno);
        if (n < target.size())
            break;
        target.resize(target.size() * 2);
    }
    target.truncate(int(n));
    ArchiveEntry entry = entryFor(entryPath, st);
    archive_entry_set_filetype(entry.get(), AE_IFLNK);
    archive_entry_copy_symlink(entry.get(), target.constData());
    archive_entry_set_size(entry.get(), 0);
    return writeHeader(entry, entryPath, target);
}

// The kernel stamps a change with the time of the current clock tick, cut down to the file
// system's step, so a change made in the step the read starts in may leave size, mtime and ctime
// as they were. The read therefore starts only once the clock has left the step of the file's last
// change: every change from then on moves its ctime, which no writer can set back (futimens puts
// back an mtime, never a ctime).
bool TreePacker::settle(int fd, const QByteArray& entryPath, struct stat* st)
{
    QElapsedTimer waited;
    waited.start();
    qint64 patienceNs = -1;
    for (;;) {
        const timespec now = coarseNow();
        if (::fstat(fd, st) != 0)
            return failed(entryPath, errno);
        if (!S_ISREG(st->st_mode))
            return failed(QStringLiteral("%1: no longer a regular file").arg(QString::fromUtf8(entryPath)));
        const long step = stepOf(st->st_ctim);
        // A ctime well ahead of the clock was stamped by another clock (a file server's).
        if (earlier(plus(st->st_ctim, step - 1), now) || st->st_ctim.tv_sec > now.tv_sec + 1)
            return true;
        if (patienceNs < 0)
            patienceNs = step + longestSettlingNs;
        else if (waited.nsecsElapsed() > patienceNs)
            return failed(QStringLiteral("%1: the file changed while it was read").arg(QString::fromUtf8(entryPath)));
        waitOneTick();
    }
}

bool TreePacker::addFile(int dirFd, const QByteArray& name, const QByteArray& entryPath)
{
    if (!countEntry() || !storable(entryPath))
        return false;
    // O_NONBLOCK: should a FIFO or a device have taken the file's place, the open returns at once.
    UniqueFd fd(::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.isValid())
        return errno == ENOENT ? skipVanished(entryPath) : failed(entryPath, errno);
    struct stat st = {};
    if (!settle(fd.get(), entryPath, &st))
        return false;
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    ArchiveEntry entry = entryFor(entryPath, st);
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_size(entry.get(), st.st_size);
    if (!writeHeader(entry, entryPath))
        return false;
    m_faults.notify("walk:read", entryPath);
    off_t left = st.st_size;
    while (left > 0) {
        const ssize_t n = ::read(fd.get(), m_buffer.data(), size_t(std::min<off_t>(left, off_t(m_buffer.size()))));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed(entryPath, errno);
        if (n == 0)
            return failed(QStringLiteral("%1: the file shrank while it was read").arg(QString::fromUtf8(entryPath)));
        if (!m_zip.writeData(m_buffer.data(), size_t(n)))
            return failed(m_zip.errorString());
        left -= n;
    }
    // Written to meanwhile (grown, or changed in place): the entry would hold neither the old
    // nor the new content.
    struct stat after = {};
    if (::fstat(fd.get(), &after) != 0)
        return failed(entryPath, errno);
    if (after.st_size != st.st_size || !sameTime(after.st_mtim, st.st_mtim) || !sameTime(after.st_ctim, st.st_ctim))
        return failed(QStringLiteral("%1: the file changed while it was read").arg(QString::fromUtf8(entryPath)));
    return true;
}
