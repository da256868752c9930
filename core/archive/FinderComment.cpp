#include "core/archive/FinderComment.h"

#include "core/archive/UniqueFd.h"
#include "platform/Diagnostics.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// Linux keeps user attributes in the "user." namespace.
constexpr const char* attributeName = "user.com.apple.metadata:kMDItemFinderComment";
// What Dolphin and other desktop file managers show as a file's comment.
constexpr const char* desktopAttributeName = "user.xdg.comment";
constexpr int maxCharacters = 4000;
// The most a comment takes in UTF-8: 4000 characters of up to 4 bytes. A comment is never read beyond.
constexpr qsizetype maxCommentBytes = 4 * maxCharacters;
// The largest value the kernel keeps in an extended attribute (XATTR_SIZE_MAX).
constexpr qsizetype maxAttributeBytes = 64 * 1024;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The first `limit` user-perceived characters of text, or text itself when it is not longer.
QString firstCharacters(const QString& text, int limit, bool* cut)
{
    *cut = false;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() >= 0) {
        if (++count == limit) {
            const qsizetype end = finder.position();
            *cut = end < text.size();
            return text.left(end);
        }
    }
    return text;
}

// The file system keeps no attribute of this kind or size: the comment goes to the comment file.
bool isRefusal(int error)
{
    return error == ENOTSUP || error == E2BIG || error == ENOSPC || error == ERANGE;
}

std::optional<QString> decodeUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// A stored comment as shown: at most maxCommentBytes of it, cut at a character boundary, and at most
// maxCharacters characters; a longer one ends in "…". Nothing when it is no UTF-8.
std::optional<QString> boundedComment(QByteArray bytes)
{
    bool cut = false;
    if (bytes.size() > maxCommentBytes) {
        // Back over the continuation bytes (10xxxxxx) of a character the bound would split.
        qsizetype end = maxCommentBytes;
        while (end > 0 && (uchar(bytes.at(end)) & 0xC0) == 0x80)
            --end;
        bytes.truncate(end);
        cut = true;
    }
    const std::optional<QString> text = decodeUtf8(bytes);
    if (!text)
        return std::nullopt;
    bool tooManyCharacters = false;
    QString shown = firstCharacters(*text, maxCharacters, &tooManyCharacters);
    if (cut || tooManyCharacters)
        shown += QChar(0x2026);
    return shown;
}

// Writes bytes to a temporary name beside the comment file, syncs and renames it into place.
bool writeCommentFile(const QString& path, const QByteArray& bytes)
{
    const QByteArray target = QFile::encodeName(commentFilePath(path));
    QByteArray temporary = target + ".XXXXXX";
    UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.isValid()) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка записи файла комментария: ") + errnoText(errno);
        return false;
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += n;
    }
    const int error = errno;
    // Opened before the rename, so that the folder synced is the one that holds the comment file.
    const UniqueFd dir(
        ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (written != bytes.size() || ::fsync(fd.get()) != 0 || !dir.isValid() ||
        ::rename(temporary.constData(), target.constData()) != 0) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка записи файла комментария: ") +
                errnoText(written != bytes.size() ? error : errno);
        ::unlink(temporary.constData());
        return false;
    }
    // The new name must be on disk. A FUSE file system may ignore the folder's fsync but forwards
    // the file's, which there also makes its rename durable. Folders that cannot be synced (EINVAL)
    // are as durable as the file system makes them.
    if (::fsync(fd.get()) != 0 || (::fsync(dir.get()) != 0 && errno != EINVAL) || !fd.close()) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка записи файла комментария: ") + errnoText(errno);
        return false;
    }
    return true;
}

// The comment file's text; nothing when there is none, or it is no regular file or no UTF-8.
std::optional<QString> readCommentFile(const QString& path)
{
    // Non-blocking: a FIFO under the name must not hang the reader.
    const UniqueFd fd(
        ::open(QFile::encodeName(commentFilePath(path)).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info = {};
    if (!fd.isValid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 1)
        return std::nullopt;
    // One byte beyond what a comment holds tells that the file is longer.
    QByteArray bytes(qsizetype(qMin<qint64>(info.st_size, maxCommentBytes + 1)), '\0');
    qsizetype read = 0;
    while (read < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + read, size_t(bytes.size() - read));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        read += n;
    }
    bytes.truncate(read);
    if (bytes.isEmpty())
        return std::nullopt;
    return boundedComment(bytes);
}

struct Prepared
{
    QString stored;
    QByteArray bytes;
    bool cut = false;
};

Result<Prepared, FinderCommentError> prepare(const QString& comment)
{
    Prepared prepared;
    prepared.stored = firstCharacters(comment, maxCharacters, &prepared.cut);
    prepared.bytes = prepared.stored.toUtf8();
    // Lone surrogates have no UTF-8 form: the conversion must not lose anything.
    if (QString::fromUtf8(prepared.bytes) != prepared.stored)
        return fail(FinderCommentError(FinderCommentError::invalidEncoding));
    return prepared;
}

// Sets the comment attribute, and the desktop's copy where it fits. 0 on success, else the error.
int writeAttributes(const QByteArray& local, const QByteArray& bytes)
{
    // The desktop's old copy goes first, so that it takes no room from the comment itself.
    ::removexattr(local.constData(), desktopAttributeName);
    if (::setxattr(local.constData(), attributeName, bytes.constData(), size_t(bytes.size()), 0) != 0)
        return errno;
    if (!bytes.isEmpty())
        ::setxattr(local.constData(), desktopAttributeName, bytes.constData(), size_t(bytes.size()), 0);
    return 0;
}

ArchiveResult finished(const Prepared& prepared)
{
    if (!prepared.cut) {
        qCDebug(lcDiagnostics).noquote() << "Комментарий успешно добавлен к файлу.";
        return {};
    }
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Комментарий был успешно добавлен, но обрезан до ") +
            QString::number(maxCharacters) + QStringLiteral(" символов: ") + prepared.stored;
    return fail(FinderCommentError(FinderCommentError::commentTooLong, prepared.stored));
}

} // namespace

QString commentFilePath(const QString& path)
{
    const QFileInfo file(path);
    return file.absolutePath() + QStringLiteral("/.") + file.fileName() + QStringLiteral(".comment");
}

bool removeCommentFile(const QString& path)
{
    if (::unlink(QFile::encodeName(commentFilePath(path)).constData()) == 0 || errno == ENOENT)
        return true;
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при удалении файла комментария: ") + errnoText(errno);
    return false;
}

ArchiveResult setFinderComment(const QString& path, const QString& comment)
{
    const auto prepared = prepare(comment);
    if (!prepared)
        return fail(prepared.error());
    const QByteArray& bytes = prepared->bytes;
    const QByteArray local = QFile::encodeName(path);
    const int error = writeAttributes(local, bytes);
    if (error == 0) {
        // The attribute holds it now; an older comment file would be a second version.
        removeCommentFile(path);
        return finished(*prepared);
    }
    if (!isRefusal(error)) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка записи комментария: ") + errnoText(error);
        return fail(FinderCommentError(FinderCommentError::failedToAddComment));
    }
    qCDebug(lcDiagnostics).noquote()
        << QStringLiteral("Файловая система не принимает комментарий размером %1 байт (%2), он сохраняется в файле ")
                .arg(bytes.size())
                .arg(errnoText(error)) +
            commentFilePath(path);
    const bool kept = bytes.isEmpty() ? removeCommentFile(path) : writeCommentFile(path, bytes);
    if (!kept)
        return fail(FinderCommentError(FinderCommentError::failedToAddComment));
    // The attribute of an earlier, shorter comment would be a second version, and the one read first:
    // where it cannot go, the new comment is not kept either.
    if (::removexattr(local.constData(), attributeName) != 0 && errno != ENODATA && errno != ENOTSUP) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при удалении старого комментария: ") +
                errnoText(errno);
        if (!bytes.isEmpty())
            removeCommentFile(path);
        return fail(FinderCommentError(FinderCommentError::failedToAddComment));
    }
    // Where the comment itself did not fit, the desktop's copy may.
    if (!bytes.isEmpty())
        ::setxattr(local.constData(), desktopAttributeName, bytes.constData(), size_t(bytes.size()), 0);
    return finished(*prepared);
}

ArchiveResult setFinderCommentAttribute(const QString& path, const QString& comment, bool* refused)
{
    *refused = false;
    const auto prepared = prepare(comment);
    if (!prepared)
        return fail(prepared.error());
    const int error = writeAttributes(QFile::encodeName(path), prepared->bytes);
    if (error != 0) {
        *refused = isRefusal(error);
        if (!*refused)
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка записи комментария: ") + errnoText(error);
        return fail(FinderCommentError(FinderCommentError::failedToAddComment));
    }
    return finished(*prepared);
}

std::optional<QString> getFinderComment(const QString& path)
{
    return getFinderComment(path, true);
}

std::optional<QString> getFinderComment(const QString& path, bool commentFileListed)
{
    const QByteArray local = QFile::encodeName(path);
    const ssize_t size = ::getxattr(local.constData(), attributeName, nullptr, 0);
    if (size < 1) {
        // The backup exists and its attribute holds nothing: the comment file may.
        const int error = errno;
        const bool backupExists = size == 0 || error == ENODATA || error == ENOTSUP;
        if (!commentFileListed || !backupExists)
            return std::nullopt;
        return readCommentFile(path);
    }
    // An attribute is read whole or not at all; the kernel keeps none above maxAttributeBytes. One that
    // grew since its size was asked for is read at that size.
    QByteArray bytes(qMin<qsizetype>(size, maxAttributeBytes), '\0');
    ssize_t read = ::getxattr(local.constData(), attributeName, bytes.data(), size_t(bytes.size()));
    if (read < 0 && errno == ERANGE) {
        bytes.resize(maxAttributeBytes);
        read = ::getxattr(local.constData(), attributeName, bytes.data(), size_t(bytes.size()));
    }
    if (read < 0) {
        qCDebug(lcDiagnostics).noquote() << "Ошибка при получении комментария.";
        return std::nullopt;
    }
    bytes.truncate(read);
    return boundedComment(bytes);
}
