#include "core/workflows/RestoreZipViewModel.h"

#include "core/archive/EncryptionService.h"
#include "core/archive/FinderComment.h"
#include "core/workflows/FolderMonitor.h"
#include "core/workflows/FutureRelay.h"
#include "platform/Diagnostics.h"
#include "platform/FileSystemLanes.h"
#include "platform/WhenFinished.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Characters as the user sees them: a letter with a combining accent or an emoji sequence counts once.
int perceivedLength(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

// A file's own name for a message: control characters shown as "?", a long name shortened in the middle.
QString shownFileName(const QString& path)
{
    QString name = path.section(QLatin1Char('/'), -1);
    for (QChar& c : name) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    constexpr qsizetype longest = 60;
    if (name.size() > longest)
        name = name.left(longest / 2) + QChar(0x2026) + name.right(longest / 2 - 1);
    return name;
}

} // namespace

QString RestoreZipViewModel::textFor(const FinderCommentError& error)
{
    switch (error.code) {
    case FinderCommentError::commentTooLong:
        return QStringLiteral("Der Kommentar ist zu lang und wurde auf %1 Zeichen verkürzt.")
            .arg(perceivedLength(error.truncatedComment));
    case FinderCommentError::failedToAddComment:
        return QStringLiteral("Der Kommentar konnte nicht hinzugefügt werden.");
    case FinderCommentError::invalidEncoding:
        return QStringLiteral("Die Kodierung des Kommentars ist ungültig.");
    case FinderCommentError::directoryNotFound:
        return QStringLiteral("Das Zielverzeichnis wurde nicht gefunden.");
    case FinderCommentError::archiveCreationFailed:
        if (!error.unstorableName.isEmpty())
            return QStringLiteral("Das Backup wurde nicht erstellt: Der Pfad der Datei „%1“ ist zu lang.")
                .arg(shownFileName(error.unstorableName));
        return QStringLiteral("Fehler beim Erstellen oder Wiederherstellen des Archivs.");
    case FinderCommentError::encryptedFileNotFound:
        return QStringLiteral("Die verschlüsselte Datei wurde nicht gefunden oder nicht bereitgestellt.");
    case FinderCommentError::missingEndOfCentralDirectoryRecord:
        return QStringLiteral("Das Archiv ist beschädigt: Die End-of-Central-Directory-Record fehlt.");
    case FinderCommentError::decryptionFailed:
        return QStringLiteral("Die Entschlüsselung ist fehlgeschlagen. Bitte überprüfen Sie Ihr Passwort.");
    case FinderCommentError::insufficientPermissions:
        return QStringLiteral("Unzureichende Berechtigungen, um die Operation durchzuführen.");
    }
    return {};
}

QString RestoreZipViewModel::deletionFailedText()
{
    return QStringLiteral("Das Backup konnte nicht gelöscht werden.");
}

QUrl RestoreZipViewModel::containerURL()
{
    return QUrl::fromLocalFile(QDir::homePath() + QStringLiteral("/Library/Containers/de.orlwen"));
}

struct RestoreZipViewModel::Gate
{
    std::mutex mutex;
    RestoreZipViewModel* model = nullptr;

    static bool isOpen(const std::weak_ptr<Gate>& weak)
    {
        const std::shared_ptr<Gate> gate = weak.lock();
        if (!gate)
            return false;
        std::lock_guard lock(gate->mutex);
        return gate->model != nullptr;
    }
};

RestoreZipViewModel::RestoreZipViewModel(QObject* parent)
    : QObject(parent)
    , m_gate(std::make_shared<Gate>())
{
    m_gate->model = this;
}

RestoreZipViewModel::~RestoreZipViewModel()
{
    {
        // A callback that runs now finishes first; none reaches this model afterwards.
        std::lock_guard lock(m_gate->mutex);
        m_gate->model = nullptr;
    }
    m_folderMonitor.reset();
}

void RestoreZipViewModel::setUrl(const QUrl& url)
{
    const bool changed = m_url != url;
    m_url = url;
    if (changed)
        Q_EMIT urlChanged();

    // Listings of the earlier folder no longer count.
    ++m_generation;
    m_listing = false;
    m_listingPending = false;
    m_startMonitor = false;
    setIsListed(url.isEmpty());
    if (url.isEmpty()) {
        m_folderMonitor.reset();
        return;
    }
    m_folderMonitor = std::make_shared<FolderMonitor>(url.toLocalFile());
    loadFiles(url);
}

void RestoreZipViewModel::setSelectedURL(const QUrl& selectedURL)
{
    if (m_selectedURL == selectedURL)
        return;
    m_selectedURL = selectedURL;
    Q_EMIT selectedURLChanged();
}

void RestoreZipViewModel::setWarningText(const QString& warningText)
{
    if (m_warningText == warningText && m_warningText.isNull() == warningText.isNull())
        return;
    m_warningText = warningText;
    Q_EMIT warningTextChanged();
}

void RestoreZipViewModel::setFiles(const QList<QUrl>& files)
{
    if (m_files == files)
        return;
    m_files = files;
    Q_EMIT filesChanged();
}

void RestoreZipViewModel::setBackups(const QList<BackupEntry>& backups)
{
    if (m_backups == backups)
        return;
    m_backups = backups;
    Q_EMIT backupsChanged();
}

void RestoreZipViewModel::setIsListed(bool listed)
{
    if (m_isListed == listed)
        return;
    m_isListed = listed;
    Q_EMIT isListedChanged();
}

void RestoreZipViewModel::loadFiles(const QUrl& folder)
{
    m_listedFolder = folder.toLocalFile();
    if (m_folderMonitor) {
        // Runs on the watcher's thread: it only asks this model, on its own thread, for a listing.
        const std::shared_ptr<Gate> gate = m_gate;
        const quint64 generation = m_generation;
        m_folderMonitor->setFolderDidChange([gate, generation] {
            std::lock_guard lock(gate->mutex);
            if (RestoreZipViewModel* model = gate->model)
                QMetaObject::invokeMethod(
                    model, [model, generation] { model->requestListing(generation); }, Qt::QueuedConnection);
        });
        m_startMonitor = true;
    }
    requestListing(m_generation);
}

void RestoreZipViewModel::requestListing(quint64 generation)
{
    if (generation != m_generation)
        return;
    if (m_listing) {
        m_listingPending = true;
        return;
    }
    m_listing = true;
    // The watch starts before the first listing, so that no change between the two goes unseen.
    std::shared_ptr<FolderMonitor> monitor = std::exchange(m_startMonitor, false) ? m_folderMonitor : nullptr;
    const QString folder = m_listedFolder;
    const std::weak_ptr<Gate> weakGate = m_gate;
    // On the folder's own thread: a folder that stalls holds that one, and the listings of later
    // sheets wait behind it rather than taking a thread each.
    const auto listed = FileSystemLanes::run(folder, [folder, monitor, weakGate]() mutable {
        // A model gone before its turn needs neither its watch nor the list.
        if (!Gate::isOpen(weakGate))
            return BackupListing::Listing();
        if (monitor) {
            monitor->startMonitoring();
            // Not kept beyond the start: the model decides when the watch ends.
            monitor.reset();
        }
        return BackupListing::list(folder);
    });
    whenFinished(this, listed, [this, generation](const BackupListing::Listing& listing) {
        if (generation != m_generation)
            return;
        m_listing = false;
        setFiles(listing.files);
        setBackups(listing.backups);
        setIsListed(true);
        if (std::exchange(m_listingPending, false))
            requestListing(generation);
    });
}

QFuture<ArchiveResult> RestoreZipViewModel::restoreBackup(SharedSecret password, std::function<bool()> beforeSwap)
{
    if (m_selectedURL.isEmpty()) {
        qCDebug(lcDiagnostics).noquote() << "Файл для восстановления не выбран.";
        return QtFuture::makeReadyFuture(
            ArchiveResult(fail(FinderCommentError(FinderCommentError::encryptedFileNotFound))));
    }
    const QString destination = containerURL().toLocalFile();
    const auto restored = EncryptionService::shared().restoreEncryptedArchive(m_selectedURL.toLocalFile(), destination,
                                                                              password, std::move(beforeSwap));
    return relayResult(this, restored, [destination](const ArchiveResult& result) {
        if (result)
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Архив успешно восстановлен в ") + destination;
        else
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при восстановлении архива: ") +
                    QLatin1String(FinderCommentError::name(result.error().code));
    });
}

void RestoreZipViewModel::handleResult(const ArchiveResult& result)
{
    if (result)
        return;
    const QString text = textFor(result.error());
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка: ") +
            QLatin1String(FinderCommentError::name(result.error().code)) + QStringLiteral(" — ") + text;
    setWarningText(text);
}

QFuture<ArchiveResult> RestoreZipViewModel::saveComment(const QUrl& backup, const QString& comment)
{
    const QString path = backup.toLocalFile();
    return relayResult(this,
                       FileSystemLanes::run(QFileInfo(path).absolutePath(),
                                            [path, comment] { return setFinderComment(path, comment); }),
                       [this](const ArchiveResult& result) {
                           handleResult(result);
                           // An attribute changes no folder entry: the watch does not see it.
                           requestListing(m_generation);
                       });
}

QFuture<bool> RestoreZipViewModel::deleteBackup(const QUrl& backup)
{
    const QString path = backup.toLocalFile();
    const QFuture<bool> unlinked = FileSystemLanes::run(QFileInfo(path).absolutePath(), [path] {
        // Only what can be a backup goes: a folder of the same name keeps its content.
        const QByteArray local = QFile::encodeName(path);
        struct stat info;
        if (path.isEmpty() || ::lstat(local.constData(), &info) != 0) {
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка: URL не найден для удаления.");
            return false;
        }
        if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
            qCDebug(lcDiagnostics).noquote() << QStringLiteral("Ошибка при удалении файла: это не файл: ") + path;
            return false;
        }
        if (::unlink(local.constData()) != 0) {
            qCDebug(lcDiagnostics).noquote()
                << QStringLiteral("Ошибка при удалении файла: ") + QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Файл успешно удалён: ") + path;
        removeCommentFile(path);
        return true;
    });
    return continueOn(this, unlinked, [this, backup](bool deleted) {
        if (!deleted)
            setWarningText(deletionFailedText());
        else if (m_selectedURL == backup)
            setSelectedURL({});
        return deleted;
    });
}
