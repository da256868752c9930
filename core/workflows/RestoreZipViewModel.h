#pragma once

#include "core/archive/FinderCommentError.h"
#include "core/archive/SecretBytes.h"
#include "core/workflows/BackupListing.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

class FolderMonitor;

// The restore screen's model: the watched backup folder and its visible entries, the chosen
// backup, the call into the archive engine, and the warning text of the last failure.
class RestoreZipViewModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QUrl url READ url WRITE setUrl NOTIFY urlChanged)
    Q_PROPERTY(QUrl selectedURL READ selectedURL WRITE setSelectedURL NOTIFY selectedURLChanged)
    Q_PROPERTY(QList<QUrl> files READ files NOTIFY filesChanged)
    Q_PROPERTY(QList<BackupEntry> backups READ backups NOTIFY backupsChanged)
    Q_PROPERTY(QString warningText READ warningText WRITE setWarningText NOTIFY warningTextChanged)
    Q_PROPERTY(bool isListed READ isListed NOTIFY isListedChanged)

public:
    // ~/Library/Containers/de.orlwen: the container whose Data folder a restore replaces.
    static QUrl containerURL();
    // The German text of a failure, as handleResult() shows it.
    static QString textFor(const FinderCommentError& error);
    // Shown when a backup could not be deleted.
    static QString deletionFailedText();

    explicit RestoreZipViewModel(QObject* parent = nullptr);
    ~RestoreZipViewModel() override;

    QUrl url() const { return m_url; }
    // Every write of a folder watches it afresh and lists it; an empty URL ends the watch and
    // keeps files as they are.
    void setUrl(const QUrl& url);
    QUrl selectedURL() const { return m_selectedURL; }
    void setSelectedURL(const QUrl& selectedURL);
    // The folder's regular files without hidden names, sorted by file name; assigned on this model's
    // thread only.
    QList<QUrl> files() const { return m_files; }
    // The backups among them, newest first, with their dates and comments; assigned with files.
    QList<BackupEntry> backups() const { return m_backups; }
    QString warningText() const { return m_warningText; }
    void setWarningText(const QString& warningText);
    // The folder of url has answered its first listing, or url is empty: false while a folder that
    // does not answer is still being listed.
    bool isListed() const { return m_isListed; }

    // (Re)starts the current watch with a callback that lists folder again, and lists it now. The
    // watch is started and the folder listed off this thread, so that a large or stalled folder never
    // blocks it; the list reaches files and backups through this model's event loop. Changes that
    // come while a listing runs are listed once it has ended.
    void loadFiles(const QUrl& folder);

    // Restores selectedURL into the container. Fails at once with encryptedFileNotFound when nothing
    // is selected; otherwise the engine works off this thread and the future finishes on it.
    // Changes no published field: pass the result to handleResult(). beforeSwap: as the engine's.
    QFuture<ArchiveResult> restoreBackup(SharedSecret password, std::function<bool()> beforeSwap = {});
    QFuture<ArchiveResult> restoreBackup(const QString& password, std::function<bool()> beforeSwap = {})
    {
        return restoreBackup(std::make_shared<const SecretBytes>(SecretBytes::fromText(password)),
                             std::move(beforeSwap));
    }

    // Sets warningText to the German text of a failure; success changes nothing.
    void handleResult(const ArchiveResult& result);

    // Writes a backup's comment off this thread, then hands the result to handleResult() here and
    // lists the folder again, so that backups carries the comment as stored.
    QFuture<ArchiveResult> saveComment(const QUrl& backup, const QString& comment);
    // Deletes a backup off this thread, with its comment file: a regular file or a link, never a
    // folder. Then, here, a deleted backup is no longer selected and a failure shows
    // deletionFailedText(). True on success.
    QFuture<bool> deleteBackup(const QUrl& backup);

Q_SIGNALS:
    void urlChanged();
    void selectedURLChanged();
    void filesChanged();
    void warningTextChanged();
    void backupsChanged();
    void isListedChanged();

private:
    struct Gate;

    void requestListing(quint64 generation);
    void setFiles(const QList<QUrl>& files);
    void setBackups(const QList<BackupEntry>& backups);
    void setIsListed(bool listed);

    // Shared with the watch, which may be started on a worker while this model goes.
    std::shared_ptr<FolderMonitor> m_folderMonitor;
    // How the watcher's thread reaches this model, while it lives.
    std::shared_ptr<Gate> m_gate;
    // Counts folders: a listing of an earlier one is dropped.
    quint64 m_generation = 0;
    QString m_listedFolder;
    bool m_startMonitor = false;
    bool m_listing = false;
    bool m_listingPending = false;
    bool m_isListed = false;

    QUrl m_url;
    QUrl m_selectedURL;
    QList<QUrl> m_files;
    QList<BackupEntry> m_backups;
    QString m_warningText;
};
