#include "platform/updates/UpdateDownloader.h"

#include "platform/Diagnostics.h"
#include "platform/WhenFinished.h"
#include "platform/updates/PartialFileWriter.h"
#include "platform/updates/SignatureVerifier.h"
#include "platform/updates/UpdateRequest.h"

#include <QDir>
#include <QFileInfo>
#include <QFuture>
#include <QTemporaryFile>
#include <QtConcurrent>

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace {

constexpr int renameAttempts = 100;

struct Verification
{
    std::optional<QString> unreadable; // why the file could not be read back
    bool valid = false;
};

// Flushes the file to disk, then checks its signature. Runs on a worker thread.
Verification syncAndVerify(const QString& path, const QByteArray& signature, const QByteArray& publicKey)
{
    QFile file(path);
    if (path.isEmpty())
        return {QStringLiteral("the partial file has no name"), false};
    if (!file.open(QIODevice::ReadOnly))
        return {file.errorString(), false};
    if (::fsync(file.handle()) != 0)
        return {qt_error_string(errno), false};
    file.close();
    return {std::nullopt, SignatureVerifier::verifyFile(path, signature, publicKey)};
}

qsizetype utf8Size(QStringView text)
{
    return text.toUtf8().size();
}

// text without its last code point.
QString withoutLastCodePoint(const QString& text)
{
    qsizetype cut = text.size() - 1;
    if (cut > 0 && text.at(cut).isLowSurrogate() && text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(qMax<qsizetype>(cut, 0));
}

qsizetype codePoints(QStringView text)
{
    return text.toUcs4().size();
}

} // namespace

UpdateDownloader::UpdateDownloader(QNetworkAccessManager* network, const AppcastItem& item, const QByteArray& publicKey,
                                   const QString& folder, const UpdateDeadlines& deadlines, QObject* parent)
    : QObject(parent)
    , m_network(network)
    , m_item(item)
    , m_publicKey(publicKey)
    , m_folder(folder)
    , m_deadlines(deadlines)
{
}

UpdateDownloader::~UpdateDownloader() = default;

QString UpdateDownloader::targetName(const AppcastItem& item)
{
    QString name;
    for (const QChar c : item.enclosureUrl.fileName()) {
        if (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format && c != QLatin1Char('/'))
            name += c;
    }
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    name = name.trimmed();
    if (name.isEmpty())
        name = QStringLiteral("Tarn-Backup-Manager-") + item.versionString;
    // A short extension of letters and digits is kept whole; the part before it is shortened.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString suffix;
    if (dot > 0 && name.size() - dot <= 10) {
        const QString candidate = name.mid(dot);
        if (std::all_of(candidate.begin() + 1, candidate.end(),
                        [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; }))
            suffix = candidate;
    }
    QString base = name.chopped(suffix.size());
    while (!base.isEmpty() &&
           (codePoints(base) + suffix.size() > maximumNameLength || utf8Size(base) + suffix.size() > maximumNameBytes))
        base = withoutLastCodePoint(base);
    base = base.trimmed();
    while (base.endsWith(QLatin1Char('.')))
        base.chop(1);
    if (base.isEmpty())
        base = QStringLiteral("Tarn-Backup-Manager-") + item.versionString;
    return base + suffix;
}

QString UpdateDownloader::uniquePath(const QString& folder, const QString& name, int skip)
{
    const QDir dir(folder);
    const QFileInfo info(name);
    const QString suffix = info.suffix();
    const QString base = suffix.isEmpty() ? name : name.chopped(suffix.size() + 1);
    for (int n = skip;; ++n) {
        const QString candidate = n == 0
            ? name
            : base + QStringLiteral(" (%1)").arg(n) + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
        const QString path = dir.filePath(candidate);
        // A dangling link also takes the name.
        if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
            return path;
    }
}

void UpdateDownloader::start()
{
    if (m_publicKey.size() != SignatureVerifier::publicKeyLength) {
        fail(UpdateError{UpdateError::noPublicKey, QStringLiteral("no Ed25519 public key")});
        return;
    }
    if (!QDir().mkpath(m_folder)) {
        fail(UpdateError{UpdateError::fileError, QStringLiteral("cannot create ") + m_folder});
        return;
    }
    m_partial = std::make_unique<QTemporaryFile>(
        QDir(m_folder).filePath(QLatin1Char('.') + targetName(m_item) + QStringLiteral(".XXXXXX.part")));
    if (!m_partial->open()) {
        fail(UpdateError{UpdateError::fileError, m_partial->errorString()});
        return;
    }
    m_writer = new PartialFileWriter(m_partial->handle(), this);
    connect(m_writer, &PartialFileWriter::written, this, [this](qint64 pending) {
        if (m_request && pending <= maximumPendingBytes / 2)
            m_request->resume();
    });
    connect(m_writer, &PartialFileWriter::failed, this, &UpdateDownloader::writingFailed);
    connect(m_writer, &PartialFileWriter::finished, this, &UpdateDownloader::allWritten);
    m_request = new UpdateRequest(
        m_network, m_item.enclosureUrl, m_item.enclosureLength, UpdateError::lengthMismatch,
        UpdateRequest::Kind::download, m_deadlines,
        [this](const QByteArray& chunk) {
            if (!m_writer)
                return false; // the download has already failed
            m_writer->append(chunk);
            if (m_writer->pendingBytes() > maximumPendingBytes)
                m_request->pause();
            return !m_writer->hasFailed();
        },
        this);
    connect(m_request, &UpdateRequest::progress, this, &UpdateDownloader::progress);
    connect(m_request, &UpdateRequest::finished, this, &UpdateDownloader::transferFinished);
    m_request->start();
}

void UpdateDownloader::cancel()
{
    if (m_request)
        m_request->abort();
    else
        fail(UpdateError{UpdateError::cancelled, QStringLiteral("cancelled")});
}

void UpdateDownloader::transferFinished(const std::optional<UpdateError>& failure)
{
    const qint64 received = m_request->receivedBytes();
    m_request->deleteLater();
    m_request = nullptr;
    if (failure) {
        fail(*failure);
        return;
    }
    if (received != m_item.enclosureLength) {
        fail(UpdateError{UpdateError::lengthMismatch,
                         QStringLiteral("received %1 of %2 bytes").arg(received).arg(m_item.enclosureLength)});
        return;
    }
    m_writer->finish();
}

void UpdateDownloader::writingFailed(const QString& detail)
{
    // The transfer stops at once: data already on its way must not reach the writer that goes now.
    if (m_request) {
        m_request->disconnect(this);
        m_request->abort();
        m_request->deleteLater();
        m_request = nullptr;
    }
    fail(UpdateError{UpdateError::fileError, detail});
}

void UpdateDownloader::allWritten()
{
    if (m_reported || m_request)
        return;
    m_partial->close();
    whenFinished(this, QtConcurrent::run(syncAndVerify, m_partial->fileName(), m_item.edSignature, m_publicKey),
                 [this](const Verification& result) { verified(result.unreadable, result.valid); });
}

void UpdateDownloader::verified(const std::optional<QString>& unreadable, bool valid)
{
    if (m_reported)
        return;
    if (unreadable) {
        fail(UpdateError{UpdateError::fileUnreadable, *unreadable});
        return;
    }
    if (!valid) {
        fail(UpdateError{UpdateError::badSignature, QStringLiteral("signature does not verify")});
        return;
    }
    // Renaming never replaces an entry; one that appeared meanwhile moves on to the next name.
    const QString name = targetName(m_item);
    for (int attempt = 0; attempt < renameAttempts; ++attempt) {
        const QString target = uniquePath(m_folder, name, attempt);
        if (m_partial->rename(target)) {
            m_partial->setAutoRemove(false);
            m_partial.reset();
            m_reported = true;
            qCDebug(lcDiagnostics) << "Обновление загружено:" << target;
            Q_EMIT downloaded(target);
            return;
        }
    }
    fail(UpdateError{UpdateError::fileError, QStringLiteral("cannot name the download")});
}

void UpdateDownloader::fail(UpdateError error)
{
    if (m_reported)
        return;
    m_reported = true;
    // A batch still being written goes on through the writer's own descriptor, into the removed file.
    if (m_writer) {
        m_writer->disconnect(this);
        m_writer->deleteLater();
        m_writer = nullptr;
    }
    m_partial.reset(); // removes the partial file
    qCDebug(lcDiagnostics) << "Загрузка обновления не удалась:" << UpdateError::name(error.code) << error.detail;
    Q_EMIT failed(error);
}
