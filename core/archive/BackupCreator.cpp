#include "core/archive/BackupCreator.h"

#include "core/archive/ArchiveCipher.h"
#include "core/archive/ArchiveHandles.h"
#include "core/archive/CipherSink.h"
#include "core/archive/FaultPlan.h"
#include "core/archive/FileTree.h"
#include "core/archive/FinderComment.h"
#include "core/archive/TreePacker.h"
#include "core/archive/UniqueFd.h"
#include "platform/Diagnostics.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

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

la_ssize_t writeToSink(archive*, void* client, const void* data, size_t size)
{
    return static_cast<CipherSink*>(client)->write(data, size) ? la_ssize_t(size) : -1;
}

// Packs `from` through the cipher into fd. Returns an empty text on success; *unstorable names
// the entry whose name no ZIP header can hold, when that failed it.
QString packEncrypted(const QString& from, int fd, const SecretBytes& key, const FaultPlan& faults,
                      QByteArray* unstorable)
{
    QElapsedTimer timer;
    timer.start();
    CipherSink sink(fd, key, ArchiveCipher::iv());
    ZipWriter zip;
    if (!zip.open(&sink, &writeToSink))
        return zip.errorString();
    TreePacker packer(zip, faults);
    const bool packed = packer.addRoot(from);
    if (!packed) {
        *unstorable = packer.unstorableName();
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

// The hidden temporary file a backup is written to: private to its user (the backup keeps its
// mode), locked while it is written, and closed and removed on every way out, an exception
// included, unless it became the backup.
class TemporaryBackup
{
public:
    TemporaryBackup(const QString& dir, const QString& stamp)
        : m_path(QFile::encodeName(dir + QStringLiteral("/.Backup_") + stamp + QStringLiteral(".XXXXXX")))
    {
        // mkostemp creates the file with mode 0600.
        m_fd.reset(::mkostemp(m_path.data(), O_CLOEXEC));
        if (!m_fd.isValid())
            m_path.clear();
        else
            ::flock(m_fd.get(), LOCK_EX | LOCK_NB);
    }
    ~TemporaryBackup()
    {
        m_fd.reset();
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    TemporaryBackup(const TemporaryBackup&) = delete;
    TemporaryBackup& operator=(const TemporaryBackup&) = delete;

    int fd() const { return m_fd.get(); }
    QString path() const { return QFile::decodeName(m_path); }
    // Renames the file to its final name, never over an existing file (a backup made in the same
    // second keeps its place); from then on it is no longer removed.
    bool commit(const QString& finalPath)
    {
        if (!renameNoReplaceAt(AT_FDCWD, m_path, QFile::encodeName(finalPath)))
            return false;
        m_path.clear();
        return true;
    }

private:
    QByteArray m_path;
    UniqueFd m_fd;
};

// When this process started, in seconds since the epoch (0 when unknown).
time_t processStartTime()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile system(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly) || !system.open(QIODevice::ReadOnly))
        return 0;
    // The command name may hold blanks: fields are counted after its closing parenthesis.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const qint64 ticks = fields.size() > 19 ? fields[19].toLongLong() : -1;
    qint64 bootTime = -1;
    for (const QByteArray& entry : system.readAll().split('\n')) {
        if (entry.startsWith("btime "))
            bootTime = entry.mid(6).trimmed().toLongLong();
    }
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (ticks < 0 || bootTime <= 0 || ticksPerSecond <= 0)
        return 0;
    return time_t(bootTime + ticks / ticksPerSecond);
}

// Syncs a folder. Where folders cannot be synced (EINVAL) their entries are as durable as the
// file system makes them; every other error counts.
bool syncFolder(int fd)
{
    if (::fsync(fd) == 0)
        return true;
    return errno == EINVAL;
}

bool readAt(int fd, qint64 pos, unsigned char* out, qint64 length)
{
    qint64 got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd, out + got, size_t(length - got), pos + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

quint32 littleEndian(const unsigned char* p, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

// What a temporary file left by an earlier backup holds.
enum class Leftover {
    partial, // provably not a whole backup
    complete, // a whole backup under this key
    unknown, // made under another key, or unreadable: it may be whole
};

// Tells a whole backup from a partial one by its first and last blocks alone. Only a file that
// decrypts under this key to the start of a ZIP archive and does not end with its end record is
// partial; what cannot be read under this key may be a whole backup of another password.
Leftover classifyLeftover(int fd, const SecretBytes& key)
{
    constexpr qint64 block = ArchiveCipher::blockSize;
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        return Leftover::unknown;
    // The cipher text of a whole backup is a positive number of blocks.
    if (st.st_size == 0 || st.st_size % block != 0)
        return Leftover::partial;
    const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                              &EVP_CIPHER_CTX_free);
    const QByteArray iv = ArchiveCipher::iv();
    // Decrypts whole blocks at pos (a block boundary) into out.
    const auto decrypt = [&](qint64 pos, qint64 length, unsigned char* out) {
        unsigned char cipher[6 * block];
        const qint64 from = pos == 0 ? 0 : pos - block;
        if (!readAt(fd, from, cipher, pos + length - from))
            return false;
        const unsigned char* chain = pos == 0 ? reinterpret_cast<const unsigned char*>(iv.constData()) : cipher;
        int written = 0;
        return ctx && key.size() == size_t(ArchiveCipher::keyLength) &&
            EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key.data(), chain) == 1 &&
            EVP_CIPHER_CTX_set_padding(ctx.get(), 0) == 1 &&
            EVP_DecryptUpdate(ctx.get(), out, &written, pos == 0 ? cipher : cipher + block, int(length)) == 1 &&
            written == length;
    };
    unsigned char first[block];
    static constexpr unsigned char localHeader[4] = {0x50, 0x4B, 0x03, 0x04};
    if (!decrypt(0, block, first) || std::memcmp(first, localHeader, 4) != 0)
        return Leftover::unknown;

    // Under this key the plaintext must end with the end of central directory record (22 bytes, no
    // archive comment), right after the ZIP64 locator or, without one, the central directory.
    const qint64 tail = std::min<qint64>(st.st_size, 5 * block);
    unsigned char plain[5 * block];
    if (!decrypt(st.st_size - tail, tail, plain))
        return Leftover::unknown;
    const int pad = plain[tail - 1];
    bool padded = pad >= 1 && pad <= block;
    for (qint64 i = tail - pad; padded && i < tail; ++i)
        padded = plain[i] == pad;
    if (!padded || tail - pad < 22)
        return Leftover::partial;
    const unsigned char* end = plain + tail - pad - 22;
    static constexpr unsigned char endRecord[4] = {0x50, 0x4B, 0x05, 0x06};
    if (std::memcmp(end, endRecord, 4) != 0 || littleEndian(end + 20, 2) != 0)
        return Leftover::partial;
    static constexpr unsigned char locator[4] = {0x50, 0x4B, 0x06, 0x07};
    if (end - plain >= 20 && std::memcmp(end - 20, locator, 4) == 0)
        return Leftover::complete;
    const qint64 endAt = st.st_size - pad - 22;
    return qint64(littleEndian(end + 16, 4)) + littleEndian(end + 12, 4) == endAt ? Leftover::complete
                                                                                  : Leftover::partial;
}

// Deals with the temporary files of backups that were killed or cut off by a power loss: older
// than this process and not locked by a backup that still runs. A partial one is removed; a whole
// one (after a power loss its rename may be lost) gets its backup name where that is free; one
// that cannot be told stays.
void handleLeftoverTemporaries(const QString& dir, const SecretBytes& key)
{
    static const time_t started = processStartTime();
    static const QRegularExpression pattern(
        QStringLiteral("^\\.Backup_(\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d)\\.[A-Za-z0-9]{6}$"));
    if (started == 0)
        return;
    UniqueFd dirFd(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const int listFd = dirFd.isValid() ? ::dup(dirFd.get()) : -1;
    DIR* list = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!list) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    while (dirent* e = ::readdir(list)) {
        const QByteArray name(e->d_name);
        const QRegularExpressionMatch match = pattern.match(QFile::decodeName(name));
        if (!match.hasMatch())
            continue;
        UniqueFd fd(::openat(dirFd.get(), name.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st = {};
        if (!fd.isValid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_mtim.tv_sec >= started)
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            continue;
        switch (classifyLeftover(fd.get(), key)) {
        case Leftover::partial:
            if (::unlinkat(dirFd.get(), name.constData(), 0) == 0)
                qCDebug(lcDiagnostics).noquote()
                    << QStringLiteral("Временный файл прерванного резервного копирования удалён: ") +
                        QFile::decodeName(name);
            break;
        case Leftover::complete: {
            const QByteArray backup =
                QFile::encodeName(QStringLiteral("Backup_") + match.captured(1) + QStringLiteral(".orlwen"));
            if (renameNoReplaceAt(dirFd.get(), name, backup) && ::fsync(fd.get()) == 0 && syncFolder(dirFd.get()))
                qCDebug(lcDiagnostics).noquote()
                    << QStringLiteral("Резервная копия прерванного запуска сохранена: ") + QFile::decodeName(backup);
            break;
        }
        case Leftover::unknown:
            break;
        }
    }
    ::closedir(list);
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

ArchiveResult BackupCreator::create(const QString& from, const QString& to, SecretBytes& password,
                                    const QString& comment, const FaultPlan& faults)
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

    const std::optional<SecretBytes> key = ArchiveCipher::takeSecretKey(password, faults);
    if (!key) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при создании зашифрованного архива: ") +
                QStringLiteral("key derivation failed");
        return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
    }
    handleLeftoverTemporaries(to, *key);

    const qint64 fixedStamp = faults.fixedStampMSecs;
    const QDateTime now = fixedStamp >= 0 ? QDateTime::fromMSecsSinceEpoch(fixedStamp) : QDateTime::currentDateTime();
    const QString stamp = now.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    const QString dir = QDir(to).absolutePath();
    const QString finalPath = dir + QStringLiteral("/Backup_") + stamp + QStringLiteral(".orlwen");
    TemporaryBackup temp(dir, stamp);
    if (temp.fd() < 0) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при создании зашифрованного архива: ") + errnoText();
        return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
    }

    // The file stays open, and so locked, until it has its final name.
    QByteArray unstorable;
    const QString error = packEncrypted(from, temp.fd(), *key, faults, &unstorable);
    if (!error.isEmpty()) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при создании зашифрованного архива: ") + error;
        FinderCommentError failure(FinderCommentError::archiveCreationFailed);
        failure.unstorableName = QString::fromUtf8(unstorable);
        return fail(failure);
    }
    const QString tempPath = temp.path();
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
    // The attribute goes on before the backup has its name, so that it shows up with its comment.
    bool commentRefused = false;
    if (!trimmed.isEmpty()) {
        const ArchiveResult written = setFinderCommentAttribute(tempPath, comment, &commentRefused);
        if (!written && !commentRefused)
            commentError = written.error();
    }

    // Opened before the rename, so that the folder synced is the one that holds the backup.
    const UniqueFd dirFd(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFd.isValid() || !temp.commit(finalPath)) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при создании зашифрованного архива: ") + errnoText();
        return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
    }
    faults.notify("create:renamed", QFile::encodeName(finalPath));
    // The name was free, so a comment file under it belongs to a backup that is gone. Where the file
    // system keeps no attribute, the comment file is written now that the backup has its name.
    if (commentRefused) {
        const ArchiveResult written = setFinderComment(finalPath, comment);
        if (!written)
            commentError = written.error();
    } else {
        removeCommentFile(finalPath);
    }
    // The new name must be on disk before success is reported. A FUSE file system (bindfs, sshfs,
    // gocryptfs) may ignore the folder's fsync, but forwards the file's, which there also makes its
    // rename durable.
    if (::fsync(temp.fd()) != 0 || !syncFolder(dirFd.get())) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при создании зашифрованного архива: ") + errnoText();
        return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
    }
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Зашифрованный архив сохранён: ") + finalPath;
    if (commentError) {
        logCommentFailure(*commentError);
        return fail(*commentError);
    }
    return {};
}
