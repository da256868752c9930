#include "platform/updates/Updater.h"

#include "platform/AppSettings.h"
#include "platform/Diagnostics.h"
#include "platform/WhenFinished.h"
#include "platform/updates/AppcastParser.h"
#include "platform/updates/SignatureVerifier.h"
#include "platform/updates/UpdateAddress.h"
#include "platform/updates/UpdateConfiguration.h"
#include "platform/updates/UpdateDownloader.h"
#include "platform/updates/UpdateRequest.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QStandardPaths>
#include <QTimer>
#include <QtConcurrent>

#include <memory>

std::optional<QString> UpdaterDelegateProtocol::feedURLString(Updater*)
{
    return std::nullopt;
}

Updater::Updater(UpdaterDelegateProtocol* delegate, QObject* parent)
    : QObject(parent)
    , m_delegate(delegate)
    , m_feedUrl(UpdateConfiguration::feedUrl())
    , m_publicKey(SignatureVerifier::decodePublicKey(UpdateConfiguration::publicKey()).value_or(QByteArray()))
{
}

Updater::~Updater() = default;

bool Updater::automaticallyChecksForUpdates() const
{
    return AppSettings::instance().automaticallyChecksForUpdates();
}

void Updater::setAutomaticallyChecksForUpdates(bool value)
{
    if (automaticallyChecksForUpdates() == value)
        return;
    AppSettings::instance().setAutomaticallyChecksForUpdates(value);
    Q_EMIT automaticallyChecksForUpdatesChanged(value);
}

bool Updater::automaticallyDownloadsUpdates() const
{
    return AppSettings::instance().automaticallyDownloadsUpdates();
}

void Updater::setAutomaticallyDownloadsUpdates(bool value)
{
    if (automaticallyDownloadsUpdates() == value)
        return;
    AppSettings::instance().setAutomaticallyDownloadsUpdates(value);
    Q_EMIT automaticallyDownloadsUpdatesChanged(value);
}

void Updater::start()
{
    if (m_started)
        return;
    m_started = true;
    refreshCanCheck();
    if (!m_canCheckForUpdates) {
        qCDebug(lcDiagnostics) << "Адрес обновлений не задан, проверка обновлений отключена.";
        return;
    }
    if (automaticallyChecksForUpdates() && automaticallyDownloadsUpdates())
        QTimer::singleShot(m_launchCheckDelay, this, &Updater::checkForUpdatesInBackground);
}

void Updater::setFeedUrl(const QUrl& url)
{
    m_feedUrl = url;
    refreshCanCheck();
}

void Updater::setPublicKey(const QString& base64)
{
    m_publicKey = SignatureVerifier::decodePublicKey(base64).value_or(QByteArray());
}

QString Updater::currentVersion()
{
    return QStringLiteral(TARN_VERSION);
}

QString Updater::downloadFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
}

QString Updater::downloadedFile() const
{
    if (!m_foundUpdate || m_downloadedVersion != m_foundUpdate->versionString || !QFileInfo::exists(m_downloadedPath))
        return {};
    return m_downloadedPath;
}

QUrl Updater::effectiveFeedUrl()
{
    if (m_delegate) {
        if (const std::optional<QString> custom = m_delegate->feedURLString(this))
            return QUrl(*custom);
    }
    return m_feedUrl;
}

bool Updater::hasValidFeed()
{
    return UpdateAddress::isAllowed(effectiveFeedUrl());
}

bool Updater::isBackgroundDownload() const
{
    return m_session == Session::downloading && !m_userInitiated;
}

void Updater::refreshCanCheck()
{
    // A download nobody asked for gives way to the user's check.
    const bool canCheck = m_started && (m_session == Session::idle || isBackgroundDownload()) && hasValidFeed();
    if (canCheck == m_canCheckForUpdates)
        return;
    m_canCheckForUpdates = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}

std::optional<UpdateError> Updater::feedProblem()
{
    if (hasValidFeed())
        return std::nullopt;
    const QUrl url = effectiveFeedUrl();
    if (url.isValid() && !url.host().isEmpty())
        return UpdateError{UpdateError::insecureAddress, QStringLiteral("feed not https")};
    return UpdateError{UpdateError::notConfigured, QStringLiteral("no feed address")};
}

void Updater::checkForUpdates()
{
    if (isBackgroundDownload() && m_canCheckForUpdates) {
        qCDebug(lcDiagnostics) << "Фоновая загрузка обновления прервана проверкой пользователя.";
        cancel();
    }
    if (m_session != Session::idle) {
        m_userInitiated = true;
        return;
    }
    if (!m_started || !hasValidFeed()) {
        const std::optional<UpdateError> problem = feedProblem();
        qCDebug(lcDiagnostics) << "Адрес обновлений не годится:"
                               << effectiveFeedUrl().toDisplayString(QUrl::RemoveUserInfo);
        Q_EMIT userSessionFailed(m_started && problem
                                     ? *problem
                                     : UpdateError{UpdateError::notConfigured, QStringLiteral("no feed address")});
        return;
    }
    startCheck(true);
}

void Updater::checkForUpdatesInBackground()
{
    if (!m_canCheckForUpdates || m_session != Session::idle)
        return;
    startCheck(false);
}

void Updater::startCheck(bool userInitiated)
{
    m_session = Session::checking;
    ++m_sessionNumber;
    m_userInitiated = userInitiated;
    refreshCanCheck();
    auto feed = std::make_shared<QByteArray>();
    m_request = new UpdateRequest(
        network(), effectiveFeedUrl(), maximumFeedSize, UpdateError::feedTooLarge, UpdateRequest::Kind::feed,
        m_deadlines,
        [feed](const QByteArray& chunk) {
            feed->append(chunk);
            return true;
        },
        this);
    connect(m_request, &UpdateRequest::finished, this,
            [this, feed](const std::optional<UpdateError>& failure) { checkFinished(failure, *feed); });
    m_request->start();
}

void Updater::checkFinished(const std::optional<UpdateError>& failure, const QByteArray& feed)
{
    m_request->deleteLater();
    m_request = nullptr;
    if (failure) {
        endSession(failure);
        return;
    }
    const Result<QList<AppcastItem>, UpdateError> items = AppcastParser::parse(feed, effectiveFeedUrl());
    if (!items) {
        endSession(items.error());
        return;
    }
    m_foundUpdate = AppcastParser::newestUpdate(*items, currentVersion());
    if (!m_foundUpdate) {
        if (m_delegate)
            m_delegate->didNotFindUpdate(this);
        const bool user = m_userInitiated;
        endSession();
        if (user)
            Q_EMIT userUpdateNotFound();
        return;
    }
    const AppcastItem found = *m_foundUpdate;
    if (m_delegate)
        m_delegate->didFindValidUpdate(this, found);
    const QString kept = downloadedFile().isEmpty() ? keptDownload(found) : QString();
    if (kept.isEmpty()) {
        updateFound(found);
        return;
    }
    // The file of an earlier session is offered again only while its bytes still verify.
    const quint64 session = m_sessionNumber;
    whenFinished(this, QtConcurrent::run(SignatureVerifier::verifyFile, kept, found.edSignature, m_publicKey),
                 [this, session, found, kept](bool valid) {
                     if (session == m_sessionNumber && m_session == Session::checking)
                         keptDownloadVerified(found, kept, valid);
                 });
}

QString Updater::keptDownload(const AppcastItem& item) const
{
    // The verified download of the last session that saved one.
    const AppSettings::DownloadedUpdate kept = AppSettings::instance().downloadedUpdate();
    const QString path = kept.path;
    if (kept.version != item.versionString || path.isEmpty() || kept.length != item.enclosureLength)
        return {};
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink() || info.size() != item.enclosureLength)
        return {};
    return path;
}

void Updater::keptDownloadVerified(const AppcastItem& found, const QString& path, bool valid)
{
    if (valid) {
        m_downloadedVersion = found.versionString;
        m_downloadedPath = path;
    } else {
        qCDebug(lcDiagnostics) << "Сохранённое обновление больше не проходит проверку:" << path;
        AppSettings::instance().forgetDownloadedUpdate();
    }
    updateFound(found);
}

void Updater::updateFound(const AppcastItem& found)
{
    if (!m_userInitiated && automaticallyDownloadsUpdates() && downloadedFile().isEmpty()) {
        startDownload(false);
        return;
    }
    const bool user = m_userInitiated;
    endSession();
    if (user)
        Q_EMIT userUpdateFound(found);
}

void Updater::rememberDownload(const AppcastItem& item, const QString& path)
{
    m_downloadedVersion = item.versionString;
    m_downloadedPath = path;
    AppSettings::instance().setDownloadedUpdate({item.versionString, path, item.enclosureLength});
}

void Updater::downloadUpdate()
{
    if (m_session != Session::idle || !m_foundUpdate)
        return;
    startDownload(true);
}

void Updater::cancel()
{
    if (m_session == Session::idle)
        return;
    if (m_request) {
        m_request->disconnect(this);
        m_request->abort();
        m_request->deleteLater();
        m_request = nullptr;
    }
    if (m_downloader) {
        m_downloader->disconnect(this);
        m_downloader->cancel();
        m_downloader->deleteLater();
        m_downloader = nullptr;
    }
    ++m_sessionNumber;
    endSession(UpdateError{UpdateError::cancelled, QStringLiteral("cancelled")});
    m_receivedBytes = 0;
}

void Updater::startDownload(bool userInitiated)
{
    m_session = Session::downloading;
    ++m_sessionNumber;
    m_userInitiated = userInitiated;
    refreshCanCheck();
    const AppcastItem item = *m_foundUpdate;
    m_downloader = new UpdateDownloader(network(), item, m_publicKey, downloadFolder(), m_deadlines, this);
    m_receivedBytes = 0;
    connect(m_downloader, &UpdateDownloader::progress, this, [this](qint64 received, qint64 total) {
        m_receivedBytes = received;
        Q_EMIT downloadProgress(received, total);
    });
    connect(m_downloader, &UpdateDownloader::downloaded, this, [this, item](const QString& path) {
        m_downloader->deleteLater();
        m_downloader = nullptr;
        rememberDownload(item, path);
        const bool user = m_userInitiated;
        endSession();
        Q_EMIT updateDownloaded(item, path, user);
    });
    connect(m_downloader, &UpdateDownloader::failed, this, [this](const UpdateError& error) {
        m_downloader->deleteLater();
        m_downloader = nullptr;
        endSession(error);
    });
    m_downloader->start();
}

void Updater::endSession(const std::optional<UpdateError>& failure)
{
    const bool user = m_userInitiated;
    m_session = Session::idle;
    m_userInitiated = false;
    refreshCanCheck();
    if (!failure)
        return;
    qCDebug(lcDiagnostics) << "Ошибка обновления:" << UpdateError::name(failure->code) << failure->detail;
    if (user && failure->code != UpdateError::cancelled)
        Q_EMIT userSessionFailed(*failure);
}

QNetworkAccessManager* Updater::network()
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    return m_network;
}
