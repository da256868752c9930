#include "core/archive/BackupRestorer.h"

#include "core/archive/ArchiveCipher.h"
#include "core/archive/ArchiveHandles.h"
#include "core/archive/CipherSource.h"
#include "core/archive/DurableTree.h"
#include "core/archive/FaultPlan.h"
#include "core/archive/FileTree.h"
#include "core/archive/RestoreContainer.h"
#include "core/archive/SafeExtractor.h"
#include "core/archive/UniqueFd.h"
#include "core/archive/ZipHeaderCheck.h"
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

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

FinderCommentError failure(FinderCommentError::Code code)
{
    return FinderCommentError(code);
}

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

// Unpacks every entry below workFd and gives the folders their modes; `checked` holds the entries
// as the header check found them, in libarchive's order. Returns an empty text on success.
QString unpack(ZipReader& zip, int workFd, const QList<ZipHeaderCheck::Entry>& checked, const FaultPlan& faults)
{
    SafeExtractor extractor(workFd, currentUmask());
    int entries = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        bool atEnd = false;
        if (!zip.nextHeader(&entry, &atEnd)) {
            if (!atEnd)
                return zip.errorString();
            if (entries != checked.size())
                return QStringLiteral("libarchive found %1 of %2 entries").arg(entries).arg(checked.size());
            QString error;
            extractor.finish(&error);
            return error;
        }
        const int limit = faults.failRestoreAfterEntries;
        if (limit >= 0 && entries >= limit)
            return QStringLiteral("injected failure after %1 entries").arg(entries);
        if (entries >= checked.size())
            return QStringLiteral("libarchive found more entries than the central directory holds");
        const ZipHeaderCheck::Entry& expected = checked[entries];
        ++entries;

        // Names are byte strings: the bytes stored are the bytes restored.
        const char* stored = archive_entry_pathname(entry);
        if (!stored)
            return QStringLiteral("entry without a name");
        const QByteArray rawPath(stored);
        const QString path = QString::fromUtf8(rawPath);
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Обрабатывается файл: ") + path;
        const QByteArray relative = rawPath.startsWith("Data/") ? rawPath.mid(5) : rawPath;
        QList<QByteArray> components;
        QString error;
        if (!SafeExtractor::split(relative, &components, &error))
            return error;

        const auto wrongType = [&path] { return path + QStringLiteral(": another type than its headers give"); };
        switch (archive_entry_filetype(entry)) {
        case AE_IFDIR:
            qCDebug(lcDiagnostics).noquote() << "Тип записи: директория";
            if (expected.kind != ZipHeaderCheck::Entry::Kind::directory)
                return wrongType();
            if (!extractor.makeDirectory(components, archive_entry_perm(entry), &error))
                return error;
            break;
        case AE_IFLNK: {
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Восстановление символической ссылки: ") + path;
            if (expected.kind != ZipHeaderCheck::Entry::Kind::link)
                return wrongType();
            const char* target = archive_entry_symlink(entry);
            // A link that cannot be made fails the restore: Data would lack it.
            if (!target || !*target) {
                qCDebug(lcDiagnostics).noquote()
                    << QStringLiteral("Ошибка: невозможно определить целевой путь для символической ссылки ") + path;
                return path + QStringLiteral(": symbolic link without a target");
            }
            const QByteArray targetBytes(target);
            // The link gets exactly the bytes the archive stores, or is not made.
            if (expected.stored && targetBytes != expected.linkTarget)
                return path + QStringLiteral(": the link's target is not what the archive stores");
            switch (extractor.createSymlink(components, targetBytes, &error)) {
            case SafeExtractor::LinkResult::created:
                qCDebug(lcDiagnostics).noquote() << QStringLiteral("Символическая ссылка ") + path +
                        QStringLiteral(" восстановлена, указывает на ") + QString::fromUtf8(target) +
                        QStringLiteral(".");
                break;
            case SafeExtractor::LinkResult::failed:
                qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка создания символической ссылки: ") + error;
                return error;
            case SafeExtractor::LinkResult::unsafe:
                return error;
            }
            break;
        }
        case AE_IFREG: {
            qCDebug(lcDiagnostics).noquote() << "Тип записи: файл";
            if (expected.kind != ZipHeaderCheck::Entry::Kind::file)
                return wrongType();
            mode_t mode = archive_entry_perm(entry) & 0777;
            if (mode == 0)
                mode = 0644;
            UniqueFd fd(extractor.createFile(components, mode, &error));
            if (fd.get() < 0)
                return error;
            // libarchive checks the CRC-32 of what it hands out; how much it hands out is checked here.
            quint64 written = 0;
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
                written += size;
            }
            if (written != expected.size)
                return path + QStringLiteral(": %1 bytes unpacked of %2").arg(written).arg(expected.size);
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
        default:
            return path + QStringLiteral(": neither a file, a folder nor a link");
        }
        faults.notify("restore:entry", rawPath);
    }
}

// Opens the backup without following a link and without waiting on a FIFO or a device: only a
// regular file is read.
int openBackup(const QString& path, QString* error)
{
    const QByteArray local = QFile::encodeName(path);
    struct stat st = {};
    if (::lstat(local.constData(), &st) != 0) {
        *error = errnoText();
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = path + QStringLiteral(": not a regular file");
        return -1;
    }
    UniqueFd fd(::open(local.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.isValid() || ::fstat(fd.get(), &st) != 0) {
        *error = errnoText();
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = path + QStringLiteral(": not a regular file");
        return -1;
    }
    return fd.release();
}

} // namespace

RecoveryResult BackupRestorer::recoverInterrupted(const QString& container, const FaultPlan& faults)
{
    RestoreContainer place(container, faults);
    QString error;
    switch (place.open(false, &error)) {
    case RestoreContainer::Open::missing:
        return RestoreRecovery();
    case RestoreContainer::Open::busy:
        // The running restore recovers by itself.
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Восстановление уже выполняется: ") + container;
        return RestoreRecovery();
    case RestoreContainer::Open::failed:
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка: ") + error;
        return fail(failure(FinderCommentError::archiveCreationFailed));
    case RestoreContainer::Open::locked:
    case RestoreContainer::Open::unlocked:
        break;
    }
    RestoreRecovery report;
    if (!place.recover(&report, &error)) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка: ") + error;
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    return report;
}

ArchiveResult BackupRestorer::restore(const QString& from, const QString& to, SecretBytes& password,
                                      const std::function<bool()>& beforeSwap, const FaultPlan& faults)
{
    const std::optional<SecretBytes> key = ArchiveCipher::takeSecretKey(password, faults);
    if (!key) {
        qCDebug(lcDiagnostics).noquote() << "Ошибка: не удалось получить ключ.";
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    QString detail;
    UniqueFd file(openBackup(from, &detail));
    if (!file.isValid()) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка: ") + detail;
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    CipherSource source(file.get(), *key, ArchiveCipher::iv());
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
    QList<ZipHeaderCheck::Entry> checked;
    std::vector<qint64> utf8FlagBytes;
    if (!ZipHeaderCheck::headersAgree(source, &detail, &checked, &utf8FlagBytes)) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка распаковки архива: ") + detail;
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }

    // Held until the end: a second restore into this container fails at once.
    RestoreContainer container(to, faults);
    const RestoreContainer::Open opened = container.open(true, &detail);
    if (opened == RestoreContainer::Open::busy) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка: восстановление уже выполняется: ") + to;
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    if (opened == RestoreContainer::Open::failed) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка создания временной директории: ") + detail;
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    RestoreRecovery recovered;
    if (!container.recover(&recovered, &detail) || !container.makeWorkingFolder(&detail)) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка создания временной директории: ") + detail;
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }

    QString error;
    {
        PlainStream stream{&source};
        ZipReader zip;
        if (!zip.open(&stream, &readPlain, &seekPlain, &skipPlain, std::move(utf8FlagBytes)))
            error = zip.errorString();
        else {
            qCDebug(lcDiagnostics).noquote() << "Архив успешно открыт для чтения. Начало распаковки.";
            error = unpack(zip, container.workingFd(), checked, faults);
        }
    }
    if (error.isEmpty() && !container.applyDataMode(&error))
        error = QStringLiteral("working folder: ") + error;
    if (!error.isEmpty()) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка распаковки архива: ") + error;
        container.dropWorkingFolder();
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    qCDebug(lcDiagnostics).noquote() << "Распаковка завершена.";

    // The new content must be on disk before it replaces the old: after a power loss the swap
    // could otherwise survive while the files behind it do not.
    if (!DurableTree::sync(container.workingFd(), &error)) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка распаковки архива: ") + error;
        container.dropWorkingFolder();
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }

    if (beforeSwap && !beforeSwap()) {
        qCDebug(lcDiagnostics).noquote() << "Замена данных отменена перед обменом.";
        container.dropWorkingFolder();
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    const QString dataPath = QDir(to).absoluteFilePath(QStringLiteral("Data"));
    if (!container.swapIn(&error)) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка замены содержимого директории: ") + error;
        container.dropWorkingFolder();
        return fail(failure(FinderCommentError::archiveCreationFailed));
    }
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Данные успешно восстановлены в директорию: ") + dataPath;

    if (container.removeOldContent(&error))
        qCDebug(lcDiagnostics).noquote() << "Временные файлы удалены.";
    else
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка удаления временных файлов: ") + error;
    return {};
}
