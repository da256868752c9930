#pragma once

#include "core/archive/FinderCommentError.h"
#include "core/archive/SecretBytes.h"

#include <QFuture>
#include <QObject>
#include <QUrl>

#include <memory>

class FolderMonitor;

// The create screen's model: where the backup goes, whether that folder exists, the comment,
// and the call into the archive engine.
class CreateZipViewModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString zipStatusMessage READ zipStatusMessage WRITE setZipStatusMessage NOTIFY zipStatusMessageChanged)
    Q_PROPERTY(QString comment READ comment WRITE setComment NOTIFY commentChanged)
    Q_PROPERTY(QUrl destinationPath READ destinationPath NOTIFY destinationPathChanged)
    Q_PROPERTY(bool isDirectoryAvailable READ isDirectoryAvailable NOTIFY isDirectoryAvailableChanged)
    Q_PROPERTY(bool isDirectoryChecked READ isDirectoryChecked NOTIFY isDirectoryCheckedChanged)

public:
    static QString missingFolderText();
    // ~/Library/Containers/de.orlwen/Data: the folder that is backed up.
    static QUrl appDataFolderURL();

    // Reads the backup folder from the settings and starts watching it.
    explicit CreateZipViewModel(QObject* parent = nullptr);
    ~CreateZipViewModel() override;

    QString zipStatusMessage() const { return m_zipStatusMessage; }
    void setZipStatusMessage(const QString& message);
    QString comment() const { return m_comment; }
    void setComment(const QString& comment);
    QUrl destinationPath() const { return m_destinationPath; }
    bool isDirectoryAvailable() const { return m_isDirectoryAvailable; }
    // The folder has answered its first check (at once without a folder). Until then
    // isDirectoryAvailable holds its initial true.
    bool isDirectoryChecked() const { return m_isDirectoryChecked; }

    void startMonitoring();
    // Schedules the availability check and returns at once; callable from any thread. The check
    // itself, and the watch it arms, run on the folder's own thread (a stalled folder never holds
    // this one); its answer is applied on this model's thread. Checks asked for while one runs
    // make one more once it has answered.
    void checkDirectoryAvailability();

    // Packs the data folder into a backup in destinationPath. Fails at once with archiveCreationFailed
    // when no backup folder is set; otherwise the engine works off this thread and the future
    // finishes on it. Changes no published field.
    QFuture<ArchiveResult> createZip(SharedSecret password);
    QFuture<ArchiveResult> createZip(const QString& password)
    {
        return createZip(std::make_shared<const SecretBytes>(SecretBytes::fromText(password)));
    }

Q_SIGNALS:
    void zipStatusMessageChanged();
    void commentChanged();
    void destinationPathChanged();
    void isDirectoryAvailableChanged();
    void isDirectoryCheckedChanged();

private:
    struct Gate;
    struct Check;

    void applyDirectoryAvailability();
    void setIsDirectoryAvailable(bool available);

    QString m_zipStatusMessage;
    QString m_comment;
    QUrl m_destinationPath;
    bool m_isDirectoryAvailable = true;
    bool m_isDirectoryChecked = false;
    bool m_checking = false;
    bool m_checkPending = false;
    // How the watcher's and the check's threads reach this model, while it lives.
    std::shared_ptr<Gate> m_gate;
    std::shared_ptr<FolderMonitor> m_folderMonitor;
};
