#include "tests/core/archive/ArchiveFixtures.h"

#include "core/archive/ArchiveCipher.h"
#include "core/archive/EncryptionService.h"

#include <QDir>
#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <sys/stat.h>

ScratchDir::ScratchDir() = default;

namespace {

// Opens a folder to its owner before looking inside, then each folder below it.
void makeWritable(const QString& folder)
{
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    for (const QFileInfo& child :
         QDir(folder).entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks))
        makeWritable(child.absoluteFilePath());
}

} // namespace

ScratchDir::~ScratchDir()
{
    makeWritable(m_dir.path());
}

QByteArray makeZip(const QList<ZipItem>& items, const char* options, bool namesAsUtf8)
{
    QByteArray buffer(1 << 20, '\0');
    size_t used = 0;
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_set_options(a, options);
    archive_write_open_memory(a, buffer.data(), size_t(buffer.size()), &used);
    for (const ZipItem& item : items) {
        archive_entry* e = archive_entry_new();
        if (namesAsUtf8)
            archive_entry_set_pathname_utf8(e, item.path.constData());
        else
            archive_entry_set_pathname(e, item.path.constData());
        archive_entry_set_filetype(e, unsigned(item.type));
        archive_entry_set_perm(e, item.mode ? item.mode : item.type == AE_IFDIR ? 0755 : 0644);
        if (item.type == AE_IFLNK && namesAsUtf8)
            archive_entry_set_symlink_utf8(e, item.content.constData());
        else if (item.type == AE_IFLNK)
            archive_entry_set_symlink(e, item.content.constData());
        archive_entry_set_size(e, item.type == AE_IFREG ? item.content.size() : 0);
        archive_write_header(a, e);
        if (item.type == AE_IFREG)
            archive_write_data(a, item.content.constData(), size_t(item.content.size()));
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
    buffer.truncate(qsizetype(used));
    // Names live in the local headers and the central directory alike; no other byte is 0x01.
    for (const ZipItem& item : items) {
        if (!item.path.contains('\x01'))
            continue;
        QByteArray withNul = item.path;
        withNul.replace('\x01', '\0');
        buffer.replace(item.path, withNul);
    }
    return buffer;
}

namespace {

quint64 littleEndian(const QByteArray& bytes, qsizetype pos, int size)
{
    quint64 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes[pos + i]);
    return value;
}

} // namespace

ZipEntryLayout zipEntryLayout(const QByteArray& zip, const QByteArray& name)
{
    ZipEntryLayout layout;
    const qsizetype end = zip.lastIndexOf(QByteArrayLiteral("PK\x05\x06"));
    if (end < 0)
        return layout;
    const quint64 entries = littleEndian(zip, end + 10, 2);
    qsizetype pos = qsizetype(littleEndian(zip, end + 16, 4));
    for (quint64 n = 0; n < entries; ++n) {
        const qsizetype nameLength = qsizetype(littleEndian(zip, pos + 28, 2));
        const qsizetype next = pos + 46 + nameLength + qsizetype(littleEndian(zip, pos + 30, 2)) +
            qsizetype(littleEndian(zip, pos + 32, 2));
        if (zip.mid(pos + 46, nameLength) == name) {
            layout.central = pos;
            layout.local = qsizetype(littleEndian(zip, pos + 42, 4));
            layout.data = layout.local + 30 + qsizetype(littleEndian(zip, layout.local + 26, 2)) +
                qsizetype(littleEndian(zip, layout.local + 28, 2));
            if (littleEndian(zip, layout.local + 6, 2) & 0x0008)
                layout.descriptor = layout.data + qsizetype(littleEndian(zip, pos + 20, 4));
            return layout;
        }
        pos = next;
    }
    return layout;
}

void putLittleEndian(QByteArray* bytes, qsizetype pos, quint64 value, int size)
{
    for (int i = 0; i < size; ++i)
        (*bytes)[pos + i] = char((value >> (8 * i)) & 0xFF);
}

QByteArray encryptBackup(const QByteArray& plain, const QString& password)
{
    return ArchiveCipher::aesEncrypt(ArchiveCipher::deriveKey(password), ArchiveCipher::iv(), plain)
        .value_or(QByteArray());
}

QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

int modeOf(const QString& path)
{
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

ArchiveResult createBackup(const QString& from, const QString& to, const QString& password, const QString& comment,
                           const FaultPlan& faults)
{
    return EncryptionService::shared().createEncryptedArchive(from, to, password, comment, faults).result();
}

ArchiveResult restoreBackup(const QString& from, const QString& to, const QString& password, const FaultPlan& faults)
{
    return EncryptionService::shared().restoreEncryptedArchive(from, to, password, {}, faults).result();
}

const char* codeName(const ArchiveResult& result)
{
    return result ? "success" : FinderCommentError::name(result.error().code);
}

RecoveryResult recoverContainer(const QString& container, const FaultPlan& faults)
{
    return EncryptionService::recoverInterruptedRestore(container, faults).result();
}

const char* codeName(const RecoveryResult& result)
{
    return result ? "success" : FinderCommentError::name(result.error().code);
}

const char* outcomeName(const RecoveryResult& result)
{
    if (!result)
        return FinderCommentError::name(result.error().code);
    switch (result->outcome) {
    case RestoreRecovery::Outcome::nothingToDo:
        return "nothingToDo";
    case RestoreRecovery::Outcome::cleanedUp:
        return "cleanedUp";
    case RestoreRecovery::Outcome::rolledBack:
        return "rolledBack";
    case RestoreRecovery::Outcome::completed:
        return "completed";
    case RestoreRecovery::Outcome::keptAside:
        return "keptAside";
    }
    return "";
}
