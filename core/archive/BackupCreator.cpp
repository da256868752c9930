#include "core/archive/BackupCreator.h"

#include "core/archive/ArchiveCipher.h"
#include "core/archive/ArchiveFaults.h"
#include "core/archive/ArchiveHandles.h"
#include "core/archive/CipherSink.h"
#include "core/archive/FinderComment.h"
#include "platform/Diagnostics.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

class FdCloser
{
public:
    explicit FdCloser(int fd)
        : m_fd(fd)
    {
    }
    ~FdCloser()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

// True when `inner` is `outer` itself or lies below it, with symbolic links resolved.
// `inner` need not exist yet: its longest existing ancestor is resolved.
bool isInside(const QString& inner, const QString& outer)
{
    const QString outerPath = QFileInfo(outer).canonicalFilePath();
    if (outerPath.isEmpty())
        return false;
    QString existing = QDir::cleanPath(QFileInfo(inner).absoluteFilePath());
    QString rest;
    while (!QFileInfo::exists(existing)) {
        const int slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            break;
        rest = existing.mid(slash) + rest;
        existing = existing.left(slash);
    }
    const QString innerPath = QFileInfo(existing).canonicalFilePath() + rest;
    return innerPath == outerPath ||
        innerPath.startsWith(outerPath == QLatin1String("/") ? outerPath : outerPath + QLatin1Char('/'));
}

// Walks a folder tree and writes one ZIP entry per file, folder and symbolic link.
class TreePacker
{
public:
    TreePacker(ZipWriter& zip)
        : m_zip(zip)
        , m_buffer(CipherSink::chunkSize)
    {
    }

    bool addRoot(const QString& given)
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
        const int dirFd =
            ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0)
            return failed(QStringLiteral("%1: %2").arg(path, errnoText()));
        FdCloser closer(dirFd);
        return addChild(dirFd, name, name);
    }

    QString errorString() const { return m_error; }

private:
    bool failed(const QString& error)
    {
        if (m_error.isEmpty())
            m_error = error;
        return false;
    }

    bool countEntry()
    {
        const int limit = ArchiveFaults::failCreateAfterEntries.load();
        if (limit >= 0 && m_entries >= limit)
            return failed(QStringLiteral("injected failure after %1 entries").arg(m_entries));
        ++m_entries;
        return true;
    }

    ArchiveEntry entryFor(const QByteArray& entryPath, const struct stat& st)
    {
        ArchiveEntry entry;
        archive_entry_set_pathname_utf8(entry.get(), entryPath.constData());
        archive_entry_set_perm(entry.get(), st.st_mode & 07777);
        archive_entry_set_mtime(entry.get(), st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        return entry;
    }

    // Takes ownership of fd.
    bool addDirectory(int fd, const QByteArray& entryPath, const struct stat& st)
    {
        FdCloser closer(fd);
        if (!countEntry())
            return false;
        ArchiveEntry entry = entryFor(entryPath + '/', st);
        archive_entry_set_filetype(entry.get(), AE_IFDIR);
        archive_entry_set_size(entry.get(), 0);
        if (!m_zip.writeHeader(entry))
            return failed(m_zip.errorString());

        const int listFd = ::dup(fd);
        DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (!dir) {
            if (listFd >= 0)
                ::close(listFd);
            return failed(QStringLiteral("%1: %2").arg(QString::fromUtf8(entryPath), errnoText()));
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
            return failed(QStringLiteral("%1: %2").arg(QString::fromUtf8(entryPath), errnoText(listError)));
        std::sort(names.begin(), names.end());
        for (const QByteArray& name : names) {
            if (!addChild(fd, name, entryPath + '/' + name))
                return false;
        }
        return true;
    }

    bool addChild(int dirFd, const QByteArray& name, const QByteArray& entryPath)
    {
        struct stat st = {};
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return failed(QStringLiteral("%1: %2").arg(QString::fromUtf8(entryPath), errnoText()));
        if (S_ISDIR(st.st_mode)) {
            const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                return failed(QStringLiteral("%1: %2").arg(QString::fromUtf8(entryPath), errnoText()));
            return addDirectory(fd, entryPath, st);
        }
        if (S_ISLNK(st.st_mode))
            return addLink(dirFd, name, entryPath, st);
        if (S_ISREG(st.st_mode))
            return addFile(dirFd, name, entryPath);
        qCDebug(lcDiagnostics).noquote() << "Пропущен специальный файл:" << QString::fromUtf8(entryPath);
        return true;
    }

    bool addLink(int dirFd, const QByteArray& name, const QByteArray& entryPath, const struct stat& st)
    {
        if (!countEntry())
            return false;
        QByteArray target(int(std::max<off_t>(st.st_size, 0)) + 1, '\0');
        ssize_t n = 0;
        for (;;) {
            n = ::readlinkat(dirFd, name.constData(), target.data(), size_t(target.size()));
            if (n < 0)
                return failed(QStringLiteral("%1: %2").arg(QString::fromUtf8(entryPath), errnoText()));
            if (n < target.size())
                break;
            target.resize(target.size() * 2);
        }
        target.truncate(int(n));
        ArchiveEntry entry = entryFor(entryPath, st);
        archive_entry_set_filetype(entry.get(), AE_IFLNK);
        archive_entry_set_symlink_utf8(entry.get(), target.constData());
        archive_entry_set_size(entry.get(), 0);
        if (!m_zip.writeHeader(entry))
            return failed(m_zip.errorString());
        return true;
    }

    bool addFile(int dirFd, const QByteArray& name, const QByteArray& entryPath)
    {
        if (!countEntry())
            return false;
        const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return failed(QStringLiteral("%1: %2").arg(QString::fromUtf8(entryPath), errnoText()));
        FdCloser closer(fd);
        struct stat st = {};
        if (::fstat(fd, &st) != 0)
            return failed(QStringLiteral("%1: %2").arg(QString::fromUtf8(entryPath), errnoText()));
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        ArchiveEntry entry = entryFor(entryPath, st);
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_size(entry.get(), st.st_size);
        if (!m_zip.writeHeader(entry))
            return failed(m_zip.errorString());
        off_t left = st.st_size;
        while (left > 0) {
            const ssize_t n = ::read(fd, m_buffer.data(), size_t(std::min<off_t>(left, off_t(m_buffer.size()))));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return failed(QStringLiteral("%1: %2").arg(QString::fromUtf8(entryPath), errnoText()));
            if (n == 0)
                return failed(
                    QStringLiteral("%1: the file shrank while it was read").arg(QString::fromUtf8(entryPath)));
            if (!m_zip.writeData(m_buffer.data(), size_t(n)))
                return failed(m_zip.errorString());
            left -= n;
        }
        return true;
    }

    ZipWriter& m_zip;
    std::vector<char> m_buffer;
    QString m_error;
    int m_entries = 0;
};

la_ssize_t writeToSink(archive*, void* client, const void* data, size_t size)
{
    return static_cast<CipherSink*>(client)->write(data, size) ? la_ssize_t(size) : -1;
}

// Packs `from` through the cipher into fd. Returns an empty text on success.
QString packEncrypted(const QString& from, int fd, const QString& password)
{
    const QByteArray key = ArchiveCipher::deriveKey(password);
    QElapsedTimer timer;
    timer.start();
    CipherSink sink(fd, key, ArchiveCipher::iv());
    ZipWriter zip;
    if (!zip.open(&sink, &writeToSink))
        return zip.errorString();
    TreePacker packer(zip);
    const bool packed = packer.addRoot(from);
    if (!packed) {
        const QString sinkError = sink.errorString();
        return sinkError.isEmpty() ? packer.errorString() : sinkError;
    }
    if (!zip.close()) {
        const QString sinkError = sink.errorString();
        return sinkError.isEmpty() ? zip.errorString() : sinkError;
    }
    if (!sink.finish())
        return sink.errorString();
    qCDebug(lcDiagnostics).noquote() << "Шифрование завершено. Затраченное время:"
                                     << QString::number(double(timer.elapsed()) / 1000.0) << "секунд";
    if (::fsync(fd) != 0)
        return errnoText();
    return {};
}

void logCommentFailure(const FinderCommentError& error)
{
    switch (error.code) {
    case FinderCommentError::failedToAddComment:
        qCDebug(lcDiagnostics).noquote() << "Не удалось добавить комментарий к файлу.";
        break;
    case FinderCommentError::invalidEncoding:
        qCDebug(lcDiagnostics).noquote() << "Неправильная кодировка для комментария.";
        break;
    case FinderCommentError::commentTooLong:
        qCDebug(lcDiagnostics).noquote() << "Комментарий слишком длинный и был обрезан.";
        break;
    default:
        break;
    }
}

} // namespace

ArchiveResult BackupCreator::create(const QString& from, const QString& to, const QString& password,
                                    const QString& comment)
{
    if (from.isEmpty() || !QFileInfo::exists(from)) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка: исходная директория не существует. ") + from;
        return fail(FinderCommentError(FinderCommentError::directoryNotFound));
    }
    if (to.isEmpty() || isInside(to, from)) {
        qCDebug(lcDiagnostics).noquote()
            << QStringLiteral("Ошибка: директория назначения находится внутри исходной директории: ") + to;
        return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
    }
    if (!QDir().mkpath(to) || !QFileInfo(to).isDir()) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при создании директории назначения: ") + to;
        return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
    }
    qCDebug(lcDiagnostics).noquote() << "Директория назначения успешно создана.";

    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    const QString dir = QDir(to).absolutePath();
    const QString finalPath = dir + QStringLiteral("/Backup_") + stamp + QStringLiteral(".orlwen");
    QByteArray temp = QFile::encodeName(dir + QStringLiteral("/.Backup_") + stamp + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при создании зашифрованного архива: ") + errnoText();
        return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
    }
    ::fchmod(
        fd, 0644 & ~[] {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            return mask;
        }());

    QString error = packEncrypted(from, fd, password);
    if (::close(fd) != 0 && error.isEmpty())
        error = errnoText();
    if (!error.isEmpty()) {
        ::unlink(temp.constData());
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при создании зашифрованного архива: ") + error;
        return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
    }
    const QString tempPath = QFile::decodeName(temp);
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Архив успешно создан: ") + tempPath;

    std::optional<FinderCommentError> commentError;
    const QString trimmed = [&] {
        qsizetype b = 0;
        qsizetype e = comment.size();
        while (b < e && (comment[b] == QLatin1Char(' ') || comment[b] == QLatin1Char('\t')))
            ++b;
        while (e > b && (comment[e - 1] == QLatin1Char(' ') || comment[e - 1] == QLatin1Char('\t')))
            --e;
        return comment.mid(b, e - b);
    }();
    if (!trimmed.isEmpty()) {
        const ArchiveResult written = setFinderComment(tempPath, comment);
        if (!written)
            commentError = written.error();
    }

    if (::rename(temp.constData(), QFile::encodeName(finalPath).constData()) != 0) {
        const QString renameError = errnoText();
        ::unlink(temp.constData());
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при создании зашифрованного архива: ") + renameError;
        return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
    }
    const int dirFd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Зашифрованный архив сохранён: ") + finalPath;
    if (commentError) {
        logCommentFailure(*commentError);
        return fail(*commentError);
    }
    return {};
}
