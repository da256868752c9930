#include "core/workflows/CreateZipViewModel.h"

#include "core/archive/EncryptionService.h"
#include "core/workflows/FolderMonitor.h"
#include "core/workflows/FutureRelay.h"
#include "core/workflows/PathViewModel.h"
#include "platform/Diagnostics.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

// The closest folder above path that exists, so that the path's return can be noticed.
QString nearestExistingAncestor(const QString& path)
{
    QString current = QFileInfo(path).absolutePath();
    while (!QFileInfo(current).isDir()) {
        const QString parent = QFileInfo(current).absolutePath();
        if (parent == current)
            break;
        current = parent;
    }
    return current;
}

} // namespace

QString CreateZipViewModel::missingFolderText()
{
    return QStringLiteral("Der Speicherort für das Backup wurde nicht gefunden.");
}

QUrl CreateZipViewModel::appDataFolderURL()
{
    return QUrl::fromLocalFile(QDir::homePath() + QStringLiteral("/Library/Containers/de.orlwen/Data"));
}

CreateZipViewModel::CreateZipViewModel(QObject* parent)
    : QObject(parent)
{
    const QString saved = QSettings().value(PathViewModel::savedPathKey()).toString();
    if (!saved.isEmpty())
        m_destinationPath = QUrl::fromLocalFile(saved);
    startMonitoring();
}

CreateZipViewModel::~CreateZipViewModel()
{
    // Joins the watcher's thread while this object is still whole; its queued checks die with it.
    m_folderMonitor.reset();
}

void CreateZipViewModel::setZipStatusMessage(const QString& message)
{
    if (m_zipStatusMessage == message && m_zipStatusMessage.isNull() == message.isNull())
        return;
    m_zipStatusMessage = message;
    Q_EMIT zipStatusMessageChanged();
}

void CreateZipViewModel::setComment(const QString& comment)
{
    if (m_comment == comment)
        return;
    m_comment = comment;
    Q_EMIT commentChanged();
}

void CreateZipViewModel::setIsDirectoryAvailable(bool available)
{
    if (m_isDirectoryAvailable == available)
        return;
    m_isDirectoryAvailable = available;
    Q_EMIT isDirectoryAvailableChanged();
}

void CreateZipViewModel::startMonitoring()
{
    if (m_destinationPath.isEmpty()) {
        qCDebug(lcDiagnostics).noquote() << "Destination path is nil.";
        return;
    }
    const QString path = m_destinationPath.toLocalFile();
    watch(path);
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Started monitoring for path: ") + path;
    checkDirectoryAvailability();
}

void CreateZipViewModel::watch(const QString& path)
{
    m_folderMonitor = std::make_unique<FolderMonitor>(path);
    // Runs on the watcher's thread. This model outlives its watcher (the destructor joins it),
    // and the queued check is dropped if the model is gone by the time it would run.
    m_folderMonitor->setFolderDidChange([this] {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("folderDidChange: ") +
                QDateTime::currentDateTime().toString(Qt::ISODate);
        checkDirectoryAvailability();
    });
    m_folderMonitor->startMonitoring();
}

void CreateZipViewModel::checkDirectoryAvailability()
{
    QMetaObject::invokeMethod(this, &CreateZipViewModel::applyDirectoryAvailability, Qt::QueuedConnection);
}

void CreateZipViewModel::applyDirectoryAvailability()
{
    if (m_destinationPath.isEmpty()) {
        setIsDirectoryAvailable(false);
        return;
    }
    // A watch on a folder ends when the folder is removed or renamed away; a folder created anew at
    // the same path is another folder. So each check arms a fresh watch: on the backup folder while
    // it exists, else on its nearest existing ancestor, whose entries change when the folder comes
    // back. Existence is read again after arming, so a change in between is not missed.
    // Only a folder counts: a plain file at the path is no place for backups.
    const QString path = m_destinationPath.toLocalFile();
    bool exists = QFileInfo(path).isDir();
    for (int attempt = 0; attempt < 4; ++attempt) {
        watch(exists ? path : nearestExistingAncestor(path));
        const bool now = QFileInfo(path).isDir();
        if (now == exists && m_folderMonitor->monitoredFolderFileDescriptor() != -1)
            break;
        exists = now;
    }
    setIsDirectoryAvailable(exists);
    if (!exists)
        setZipStatusMessage(missingFolderText());
}

QFuture<ArchiveResult> CreateZipViewModel::createZip(SharedSecret password)
{
    if (m_destinationPath.isEmpty()) {
        qCDebug(lcDiagnostics).noquote() << "Путь назначения не задан, архив не создан.";
        return QtFuture::makeReadyFuture(
            ArchiveResult(fail(FinderCommentError(FinderCommentError::archiveCreationFailed))));
    }
    const QString destination = m_destinationPath.toLocalFile();
    return relayResult(this,
                       EncryptionService::shared().createEncryptedArchive(appDataFolderURL().toLocalFile(), destination,
                                                                          password, m_comment),
                       [destination](const ArchiveResult& result) {
                           if (result)
                               qCDebug(lcDiagnostics).noquote()
                                   << QStringLiteral("Архив успешно создан в ") + destination;
                           else
                               qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при создании архива: ") +
                                       QLatin1String(FinderCommentError::name(result.error().code));
                       });
}
