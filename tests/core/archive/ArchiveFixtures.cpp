#include "tests/core/archive/ArchiveFixtures.h"

#include "core/archive/ArchiveCipher.h"
#include "core/archive/ArchiveFaults.h"
#include "core/archive/EncryptionService.h"

#include <QDir>
#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <sys/stat.h>

ScratchDir::ScratchDir()
{
    resetArchiveFaults();
}

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
    resetArchiveFaults();
    makeWritable(m_dir.path());
}

QByteArray makeZip(const QList<ZipItem>& items)
{
    QByteArray buffer(1 << 20, '\0');
    size_t used = 0;
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_set_options(a, "zip:compression=store");
    archive_write_open_memory(a, buffer.data(), size_t(buffer.size()), &used);
    for (const ZipItem& item : items) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, item.path.constData());
        archive_entry_set_filetype(e, unsigned(item.type));
        archive_entry_set_perm(e, item.mode ? item.mode : item.type == AE_IFDIR ? 0755 : 0644);
        if (item.type == AE_IFLNK)
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

ArchiveResult createBackup(const QString& from, const QString& to, const QString& password, const QString& comment)
{
    return EncryptionService::shared().createEncryptedArchive(from, to, password, comment).result();
}

ArchiveResult restoreBackup(const QString& from, const QString& to, const QString& password)
{
    return EncryptionService::shared().restoreEncryptedArchive(from, to, password).result();
}

const char* codeName(const ArchiveResult& result)
{
    return result ? "success" : FinderCommentError::name(result.error().code);
}

void resetArchiveFaults()
{
    ArchiveFaults::failCreateAfterEntries = -1;
    ArchiveFaults::throwCreateAfterEntries = -1;
    ArchiveFaults::failRestoreAfterEntries = -1;
    ArchiveFaults::failSwap = false;
    ArchiveFaults::failCleanup = false;
    ArchiveFaults::failKeyDerivation = false;
    ArchiveFaults::forceSwapFallback = false;
    ArchiveFaults::failFallbackStep = 0;
    ArchiveFaults::fixedStampMSecs = -1;
    ArchiveFaults::observer = nullptr;
}
