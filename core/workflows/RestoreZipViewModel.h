#pragma once

#include "core/archive/FinderCommentError.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QUrl>

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
    Q_PROPERTY(QString warningText READ warningText WRITE setWarningText NOTIFY warningTextChanged)

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
    QString warningText() const { return m_warningText; }
    void setWarningText(const QString& warningText);

    // (Re)starts the current watch with a callback that lists folder again, and lists it now.
    // The list reaches files through this model's event loop.
    void loadFiles(const QUrl& folder);

    // Restores selectedURL into the container. Fails at once with encryptedFileNotFound when nothing
    // is selected; otherwise the engine works off this thread and the future finishes on it.
    // Changes no published field: pass the result to handleResult().
    QFuture<ArchiveResult> restoreBackup(const QString& password);

    // Sets warningText to the German text of a failure; success changes nothing.
    void handleResult(const ArchiveResult& result);

    // Writes a backup's comment off this thread, then hands the result to handleResult() here.
    QFuture<ArchiveResult> saveComment(const QUrl& backup, const QString& comment);
    // Deletes a backup off this thread: a regular file or a link, never a folder. Then, here, a
    // deleted backup is no longer selected and a failure shows deletionFailedText(). True on success.
    QFuture<bool> deleteBackup(const QUrl& backup);

Q_SIGNALS:
    void urlChanged();
    void selectedURLChanged();
    void filesChanged();
    void warningTextChanged();

private:
    void listFolder(const QString& folder);
    void setFiles(const QList<QUrl>& files);

    std::unique_ptr<FolderMonitor> m_folderMonitor;
    QUrl m_url;
    QUrl m_selectedURL;
    QList<QUrl> m_files;
    QString m_warningText;
};
