#include "core/workflows/CreateZipViewModel.h"

#include "core/archive/EncryptionService.h"
#include "core/workflows/FolderMonitor.h"
#include "core/workflows/FutureRelay.h"
#include "platform/AppSettings.h"
#include "platform/Diagnostics.h"
#include "platform/FileSystemLanes.h"
#include "platform/WhenFinished.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <mutex>

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

struct CreateZipViewModel::Gate
{
    std::mutex mutex;
    CreateZipViewModel* model = nullptr;

    bool isOpen()
    {
        std::lock_guard lock(mutex);
        return model != nullptr;
    }

    // From the watcher's thread: a check on the model's thread, while the model lives.
    void folderDidChange()
    {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("folderDidChange: ") +
                QDateTime::currentDateTime().toString(Qt::ISODate);
        std::lock_guard lock(mutex);
        if (model)
            model->checkDirectoryAvailability();
    }
};

// What a check found: whether the folder is there, and the watch armed for it.
struct CreateZipViewModel::Check
{
    bool exists = false;
    std::shared_ptr<FolderMonitor> monitor;
};

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
    , m_gate(std::make_shared<Gate>())
{
    m_gate->model = this;
    const QString saved = AppSettings::instance().savedPath();
    if (!saved.isEmpty())
        m_destinationPath = QUrl::fromLocalFile(saved);
    else
        m_isDirectoryChecked = true;
    startMonitoring();
}

CreateZipViewModel::~CreateZipViewModel()
{
    {
        // A callback that runs now finishes first; none reaches this model afterwards.
        std::lock_guard lock(m_gate->mutex);
        m_gate->model = nullptr;
    }
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
    // The check arms the watch.
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Started monitoring for path: ") +
            m_destinationPath.toLocalFile();
    checkDirectoryAvailability();
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
    if (m_checking) {
        m_checkPending = true;
        return;
    }
    m_checking = true;
    // A watch on a folder ends when the folder is removed or renamed away; a folder created anew at
    // the same path is another folder. So each check arms a fresh watch: on the backup folder while
    // it exists, else on its nearest existing ancestor, whose entries change when the folder comes
    // back. Existence is read again after arming, so a change in between is not missed.
    // Only a folder counts: a plain file at the path is no place for backups.
    const QString path = m_destinationPath.toLocalFile();
    const std::shared_ptr<Gate> gate = m_gate;
    const QFuture<Check> checked = FileSystemLanes::run(path, [path, gate] {
        Check check;
        // A model gone before its turn needs no answer.
        if (!gate->isOpen())
            return check;
        check.exists = QFileInfo(path).isDir();
        for (int attempt = 0; attempt < 4; ++attempt) {
            check.monitor = std::make_shared<FolderMonitor>(check.exists ? path : nearestExistingAncestor(path));
            check.monitor->setFolderDidChange([gate] { gate->folderDidChange(); });
            check.monitor->startMonitoring();
            const bool now = QFileInfo(path).isDir();
            if (now == check.exists && check.monitor->monitoredFolderFileDescriptor() != -1)
                break;
            check.exists = now;
        }
        return check;
    });
    whenFinished(this, checked, [this](const Check& check) {
        m_checking = false;
        // The earlier watch ends here, on this thread, once the new one is armed.
        m_folderMonitor = check.monitor;
        setIsDirectoryAvailable(check.exists);
        if (!check.exists)
            setZipStatusMessage(missingFolderText());
        if (!m_isDirectoryChecked) {
            m_isDirectoryChecked = true;
            Q_EMIT isDirectoryCheckedChanged();
        }
        if (std::exchange(m_checkPending, false))
            applyDirectoryAvailability();
    });
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
