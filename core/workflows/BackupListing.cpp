#include "core/workflows/BackupListing.h"

#include "core/archive/FinderComment.h"

#include <QCalendar>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTime>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString prefix = QStringLiteral("Backup_");
const QString extension = QStringLiteral(".orlwen");
const QString commentSuffix = QStringLiteral(".comment");

struct FolderNames
{
    QStringList visible;
    // Backups whose comment file the folder holds.
    QSet<QString> withCommentFile;
};

// The names of the folder's visible regular files, and which of them have a comment file.
FolderNames readNames(const QString& folder)
{
    FolderNames names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name.startsWith(QLatin1Char('.'))) {
            // ".<backup name>.comment"
            if (name.endsWith(commentSuffix) && name.size() > 1 + commentSuffix.size())
                names.withCommentFile.insert(name.mid(1, name.size() - 1 - commentSuffix.size()));
            continue;
        }
        // Only regular files can be backups: a folder, a link, a FIFO or a device is not offered.
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info = {};
            regular = ::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode);
        }
        if (regular)
            names.visible.append(name);
    }
    ::closedir(dir);
    return names;
}

} // namespace

std::optional<QString> BackupListing::dateText(const QString& fileName)
{
    // "Backup_2024-12-24_18-30-05.orlwen": the name without its extension (letter case counts),
    // less the prefix.
    if (!fileName.endsWith(extension) || !fileName.startsWith(prefix))
        return std::nullopt;
    const QString stamp = fileName.mid(prefix.size(), fileName.size() - prefix.size() - extension.size());
    if (stamp.size() != 19 || stamp[10] != QLatin1Char('_'))
        return std::nullopt;
    const QCalendar gregorian(QCalendar::System::Gregorian);
    const QDate date = QDate::fromString(stamp.left(10), QStringLiteral("yyyy-MM-dd"), gregorian);
    const QTime time = QTime::fromString(stamp.mid(11), QStringLiteral("HH-mm-ss"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return date.toString(QStringLiteral("dd.MM.yyyy"), gregorian) + QLatin1Char(' ') +
        time.toString(QStringLiteral("HH:mm:ss"));
}

BackupListing::Listing BackupListing::list(const QString& folder)
{
    FolderNames names = readNames(folder);
    // Plain comparison of the names, not locale-aware.
    std::sort(names.visible.begin(), names.visible.end());
    const QString base = QDir(folder).absolutePath() + QLatin1Char('/');
    Listing listing;
    listing.files.reserve(names.visible.size());
    for (const QString& name : std::as_const(names.visible))
        listing.files.append(QUrl::fromLocalFile(base + name));
    for (qsizetype i = names.visible.size() - 1; i >= 0; --i) {
        const QString& name = names.visible[i];
        std::optional<QString> date = dateText(name);
        if (!date)
            continue;
        const QString path = base + name;
        std::optional<QString> comment = getFinderComment(path, names.withCommentFile.contains(name));
        if (comment && comment->isEmpty())
            comment.reset();
        listing.backups.append({listing.files[i], *date, comment});
    }
    return listing;
}
