#pragma once

#include "platform/updates/AppcastItem.h"
#include "platform/updates/UpdateDeadlines.h"
#include "platform/updates/UpdateError.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class Updater;
class UpdateDownloader;
class UpdateRequest;

// What the updater tells its owner about a check.
class UpdaterDelegateProtocol
{
public:
    virtual ~UpdaterDelegateProtocol() = default;
    // A feed address that overrides the build's; nothing keeps the build's.
    virtual std::optional<QString> feedURLString(Updater* updater);
    virtual void didFindValidUpdate(Updater* updater, const AppcastItem& item) = 0;
    virtual void didNotFindUpdate(Updater* updater) = 0;
};

// Checks the update feed for a newer release and downloads it into the download folder, where it is
// kept only with a valid signature. One session (a check, or a download) runs at a time; while one
// runs, or before start() or without a feed address it may fetch from, no check may start, except that
// a check the user asks for ends a download running in the background. A check ends by its deadline at
// the latest, a download when the server stalls or falls below the minimum speed, and cancel() ends
// either at once. The verified download is
// remembered in the settings: while the file is there and still verifies, later checks (in later
// runs too) offer it instead of downloading it again.
class Updater : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
                   setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)
    Q_PROPERTY(bool automaticallyDownloadsUpdates READ automaticallyDownloadsUpdates WRITE
                   setAutomaticallyDownloadsUpdates NOTIFY automaticallyDownloadsUpdatesChanged)

public:
    static constexpr qint64 maximumFeedSize = qint64(1) << 20;

    explicit Updater(UpdaterDelegateProtocol* delegate, QObject* parent = nullptr);
    ~Updater() override;

    // Whether a check may start now.
    bool canCheckForUpdates() const { return m_canCheckForUpdates; }

    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool value);
    bool automaticallyDownloadsUpdates() const;
    void setAutomaticallyDownloadsUpdates(bool value);

    // Checks become possible. With automatic checks and downloads both on, a background check follows
    // after the launch delay (with downloads off the main screen schedules its own).
    void start();
    bool isStarted() const { return m_started; }
    // Test hook: the launch delay in milliseconds (3000).
    void setLaunchCheckDelay(int milliseconds) { m_launchCheckDelay = milliseconds; }
    // Test hook: how long requests may take.
    void setDeadlines(const UpdateDeadlines& deadlines) { m_deadlines = deadlines; }
    UpdateDeadlines deadlines() const { return m_deadlines; }

    // The feed address and the base64 public key, by default this build's configuration.
    QUrl feedUrl() const { return m_feedUrl; }
    void setFeedUrl(const QUrl& url);
    void setPublicKey(const QString& base64);
    // Why no check can ever start with the feed address in use (none, or one that is not allowed), or
    // nothing when it is usable.
    std::optional<UpdateError> feedProblem();
    // The version of this build.
    static QString currentVersion();
    // Where downloads are saved: the user's download folder.
    static QString downloadFolder();

    // The update the last completed check found.
    std::optional<AppcastItem> foundUpdate() const { return m_foundUpdate; }
    // The saved download of foundUpdate(), or empty.
    QString downloadedFile() const;
    bool isChecking() const { return m_session == Session::checking; }
    bool isDownloading() const { return m_session == Session::downloading; }
    bool isIdle() const { return m_session == Session::idle; }
    // Bytes the running (or last) download has received.
    qint64 receivedBytes() const { return m_receivedBytes; }

public Q_SLOTS:
    // A check the user asked for: its outcome is reported through the user* signals too. A download
    // running in the background is cancelled first; during another running session the session's
    // outcome is reported that way instead.
    void checkForUpdates();
    // A silent check: only the delegate hears of it; an update it finds is downloaded when automatic
    // downloads are on.
    void checkForUpdatesInBackground();
    // Downloads foundUpdate() at the user's request.
    void downloadUpdate();
    // Ends the running check or download at once, reporting nothing; the next check may start.
    void cancel();

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
    void automaticallyChecksForUpdatesChanged(bool value);
    void automaticallyDownloadsUpdatesChanged(bool value);

    // Outcomes of the sessions the user asked for.
    void userUpdateFound(const AppcastItem& item);
    void userUpdateNotFound();
    void userSessionFailed(const UpdateError& error);

    void downloadProgress(qint64 received, qint64 total);
    void updateDownloaded(const AppcastItem& item, const QString& filePath, bool userInitiated);

private:
    enum class Session { idle, checking, downloading };

    QUrl effectiveFeedUrl();
    bool hasValidFeed();
    void refreshCanCheck();
    bool isBackgroundDownload() const;
    void startCheck(bool userInitiated);
    void checkFinished(const std::optional<UpdateError>& failure, const QByteArray& feed);
    // Offers the update found, or downloads it when the session is a background one and automatic
    // downloads are on.
    void updateFound(const AppcastItem& found);
    // The remembered download of item when its file is still there with item's length, or empty.
    QString keptDownload(const AppcastItem& item) const;
    void keptDownloadVerified(const AppcastItem& found, const QString& path, bool valid);
    void rememberDownload(const AppcastItem& item, const QString& path);
    void startDownload(bool userInitiated);
    // Ends the running session; a failure is shown when the user asked for the session.
    void endSession(const std::optional<UpdateError>& failure = std::nullopt);
    QNetworkAccessManager* network();

    UpdaterDelegateProtocol* m_delegate;
    QUrl m_feedUrl;
    QByteArray m_publicKey;
    bool m_canCheckForUpdates = false;
    bool m_started = false;
    int m_launchCheckDelay = 3000;
    UpdateDeadlines m_deadlines;
    Session m_session = Session::idle;
    // Counts sessions, so that work finishing after its session was cancelled is dropped.
    quint64 m_sessionNumber = 0;
    bool m_userInitiated = false;
    std::optional<AppcastItem> m_foundUpdate;
    QString m_downloadedVersion;
    QString m_downloadedPath;
    qint64 m_receivedBytes = 0;
    QNetworkAccessManager* m_network = nullptr;
    QPointer<UpdateRequest> m_request;
    QPointer<UpdateDownloader> m_downloader;
};
