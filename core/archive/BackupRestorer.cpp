#include "core/archive/BackupRestorer.h"

#include "core/archive/ArchiveCipher.h"
#include "core/archive/ArchiveFaults.h"
#include "core/archive/ArchiveHandles.h"
#include "core/archive/CipherSource.h"
#include "core/archive/FileTree.h"
#include "core/archive/SafeExtractor.h"
#include "platform/Diagnostics.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray workingName = QByteArrayLiteral(".TempData");
const QByteArray dataName = QByteArrayLiteral("Data");

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

FinderCommentError failure(FinderCommentError::Code code)
{
    return FinderCommentError(code);
}

class Fd
{
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool close()
    {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

// The libarchive read side over the decrypted view of the backup.
struct PlainStream
{
    CipherSource* source;
    qint64 position = 0;
};

la_ssize_t readPlain(archive*, void* client, const void** buffer)
{
    auto* stream = static_cast<PlainStream*>(client);
    const char* data = nullptr;
    const qint64 n = stream->source->read(stream->position, &data);
    if (n < 0)
        return ARCHIVE_FATAL;
    *buffer = data;
    stream->position += n;
    return la_ssize_t(n);
}

la_int64_t seekPlain(archive*, void* client, la_int64_t offset, int whence)
{
    auto* stream = static_cast<PlainStream*>(client);
    const qint64 size = stream->source->plainSize();
    qint64 target = offset;
    if (whence == SEEK_CUR)
        target = stream->position + offset;
    else if (whence == SEEK_END)
        target = size + offset;
    if (target < 0)
        return ARCHIVE_FATAL;
    stream->position = std::min(target, size);
    return stream->position;
}

la_int64_t skipPlain(archive*, void* client, la_int64_t request)
{
    auto* stream = static_cast<PlainStream*>(client);
    const qint64 step = std::min<qint64>(request, stream->source->plainSize() - stream->position);
    stream->position += std::max<qint64>(step, 0);
    return std::max<qint64>(step, 0);
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Unpacks every entry below workFd. Returns an empty text on success.
QString unpack(ZipReader& zip, int workFd)
{
    SafeExtractor extractor(workFd);
    int entries = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        bool atEnd = false;
        if (!zip.nextHeader(&entry, &atEnd))
            return atEnd ? QString() : zip.errorString();
        const int limit = ArchiveFaults::failRestoreAfterEntries.load();
        if (limit >= 0 && entries >= limit)
            return QStringLiteral("injected failure after %1 entries").arg(entries);
        ++entries;

        const char* utf8 = archive_entry_pathname_utf8(entry);
        const char* raw = archive_entry_pathname(entry);
        const QString path = utf8 ? QString::fromUtf8(utf8) : QFile::decodeName(raw ? raw : "");
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Обрабатывается файл: ") + path;
        const QString relative = path.startsWith(QLatin1String("Data/")) ? path.mid(5) : path;
        QList<QByteArray> components;
        QString error;
        if (!SafeExtractor::split(relative, &components, &error))
            return error;

        switch (archive_entry_filetype(entry)) {
        case AE_IFDIR:
            qCDebug(lcDiagnostics).noquote() << "Тип записи: директория";
            if (!extractor.makeDirectory(components, &error))
                return error;
            break;
        case AE_IFLNK: {
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Восстановление символической ссылки: ") + path;
            const char* target = archive_entry_symlink_utf8(entry);
            if (!target)
                target = archive_entry_symlink(entry);
            if (!target || !*target) {
                qCDebug(lcDiagnostics).noquote()
                    << QStringLiteral("Ошибка: невозможно определить целевой путь для символической ссылки ") + path;
                break;
            }
            const QByteArray targetBytes = QFile::encodeName(QString::fromUtf8(target));
            switch (extractor.createSymlink(components, targetBytes, &error)) {
            case SafeExtractor::LinkResult::created:
                qCDebug(lcDiagnostics).noquote() << QStringLiteral("Символическая ссылка ") + path +
                        QStringLiteral(" восстановлена, указывает на ") + QString::fromUtf8(target) +
                        QStringLiteral(".");
                break;
            case SafeExtractor::LinkResult::failed:
                qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка создания символической ссылки: ") + error;
                break;
            case SafeExtractor::LinkResult::unsafe:
                return error;
            }
            break;
        }
        default: {
            qCDebug(lcDiagnostics).noquote() << "Тип записи: файл";
            mode_t mode = archive_entry_perm(entry) & 0777;
            if (mode == 0)
                mode = 0644;
            Fd fd(extractor.createFile(components, mode, &error));
            if (fd.get() < 0)
                return error;
            for (;;) {
                const void* data = nullptr;
                size_t size = 0;
                la_int64_t offset = 0;
                const int status = zip.readDataBlock(&data, &size, &offset);
                if (status < 0)
                    return path + QStringLiteral(": ") + zip.errorString();
                if (status == 0)
                    break;
                if (!writeAll(fd.get(), static_cast<const char*>(data), size))
                    return path + QStringLiteral(": ") + errnoText();
            }
            if (archive_entry_mtime_is_set(entry)) {
                const struct timespec times[2] = {{0, UTIME_OMIT},
                                                  {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)}};
                ::futimens(fd.get(), times);
            }
            if (!fd.close())
                return path + QStringLiteral(": ") + errnoText();
            qCDebug(lcDiagnostics).noquote()
                << QStringLiteral("Файл успешно извлечен: ") + QFile::decodeName(components.join('/'));
            break;
        }
        }
    }
}

// Puts the working folder in place of Data in one step. Returns an empty text on success.
QString swapIn(int containerFd, const QString& dataPath)
{
    if (ArchiveFaults::failSwap.load())
        return QStringLiteral("injected failure of the swap");
    struct stat st = {};
    if (::fstatat(containerFd, dataName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Очистка директории: ") + dataPath;
        if (::renameat2(containerFd, workingName.constData(), containerFd, dataName.constData(), RENAME_EXCHANGE) != 0)
            return errnoText();
        return {};
    }
    if (errno != ENOENT)
        return errnoText();
    // RENAME_NOREPLACE: a Data made meanwhile by someone else is never overwritten.
    if (::renameat2(containerFd, workingName.constData(), containerFd, dataName.constData(), RENAME_NOREPLACE) != 0)
        return errnoText();
    return {};
}

} // namespace

ArchiveResult BackupRestorer::restore(const QString& from, const QString& to, const QString& password)
{
    const QByteArray key = ArchiveCipher::deriveKey(password);
    Fd file(::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка: ") + errnoText();
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    CipherSource source(file.get(), key, ArchiveCipher::iv());
    QString detail;
    const CipherSource::Check check = source.open(&detail);
    if (check == CipherSource::Check::empty) {
        qCDebug(lcDiagnostics).noquote() << "Ошибка: зашифрованный файл пустой.";
        return fail(failure(FinderCommentError::encryptedFileNotFound));
    }
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Размер зашифрованного архива: ") +
            QString::number(double(source.cipherSize()) / 1048576.0) + QStringLiteral(" МБ");
    qCDebug(lcDiagnostics).noquote() << "Начало расшифровки данных архива.";
    if (check == CipherSource::Check::unreadable) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка: ") + detail;
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Расшифровка завершена. Размер расшифрованных данных: ") +
            QString::number(source.plainSize()) + QStringLiteral(" байт");
    if (check == CipherSource::Check::notZip) {
        qCDebug(lcDiagnostics).noquote() << "Ошибка: Расшифрованные данные не являются допустимым ZIP-архивом.";
        return fail(failure(FinderCommentError::missingEndOfCentralDirectoryRecord));
    }

    if (!QDir().mkpath(to)) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка создания временной директории: ") + to;
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    Fd container(::open(QFile::encodeName(to).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    int removeError = 0;
    if (container.get() < 0 || !removeTreeAt(container.get(), workingName, &removeError) ||
        ::mkdirat(container.get(), workingName.constData(), 0755) != 0) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка создания временной директории: ") +
                errnoText(removeError ? removeError : errno);
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    const auto dropWorkingFolder = [&] { removeTreeAt(container.get(), workingName); };

    QString error;
    {
        Fd work(::openat(container.get(), workingName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        PlainStream stream{&source};
        ZipReader zip;
        if (work.get() < 0)
            error = errnoText();
        else if (!zip.open(&stream, &readPlain, &seekPlain, &skipPlain))
            error = zip.errorString();
        else {
            qCDebug(lcDiagnostics).noquote() << "Архив успешно открыт для чтения. Начало распаковки.";
            error = unpack(zip, work.get());
        }
    }
    if (!error.isEmpty()) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка распаковки архива: ") + error;
        dropWorkingFolder();
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    qCDebug(lcDiagnostics).noquote() << "Распаковка завершена.";

    // The new content must be on disk before it replaces the old: after a power loss the swap
    // could otherwise survive while the files behind it do not.
    if (::syncfs(container.get()) != 0) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка распаковки архива: ") + errnoText();
        dropWorkingFolder();
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }

    const QString dataPath = QDir(to).absoluteFilePath(QStringLiteral("Data"));
    error = swapIn(container.get(), dataPath);
    if (!error.isEmpty()) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка замены содержимого директории: ") + error;
        dropWorkingFolder();
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    ::fsync(container.get());
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Данные успешно восстановлены в директорию: ") + dataPath;

    // The old content now sits under the working name.
    removeError = ArchiveFaults::failCleanup.load() ? EBUSY : 0;
    if (!removeError && removeTreeAt(container.get(), workingName, &removeError))
        qCDebug(lcDiagnostics).noquote() << "Временные файлы удалены.";
    else
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка удаления временных файлов: ") +
                errnoText(removeError);
    return {};
}
