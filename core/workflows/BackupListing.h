#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// One backup of a folder as the restore list shows it.
struct BackupEntry
{
    QUrl url;
    // "dd.MM.yyyy HH:mm:ss" of the time stamp in its name.
    QString dateText;
    // Its comment; nothing when it has none (or an empty one).
    std::optional<QString> comment;

    friend bool operator==(const BackupEntry&, const BackupEntry&) = default;
};

// What a backup folder holds, read in one go: the work of a listing thread, never of the GUI thread
// (a large or slow folder takes long).
namespace BackupListing {

struct Listing
{
    // The visible regular files, sorted by file name ascending.
    QList<QUrl> files;
    // Those named "Backup_" + "yyyy-MM-dd_HH-mm-ss" + ".orlwen", newest first, with their comments.
    QList<BackupEntry> backups;
};

// Lists the folder; a missing or unreadable one lists as empty.
Listing list(const QString& folder);

// "dd.MM.yyyy HH:mm:ss" of a backup's file name, nothing when the name holds no time stamp.
// Gregorian calendar and C locale, whatever the user's settings.
std::optional<QString> dateText(const QString& fileName);

} // namespace BackupListing
