#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class Updater;

// One entry of the update feed: the newest release it offers.
struct AppcastItem
{
    QString versionString; // machine version, compared with the running one
    QString displayVersionString; // version shown to the user
    QUrl enclosureUrl;
    qint64 enclosureLength = 0;
    QByteArray edSignature; // Ed25519 signature of the download, raw bytes
};

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

// Checks the update feed for a newer release.
class Updater : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
                   setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)
    Q_PROPERTY(bool automaticallyDownloadsUpdates READ automaticallyDownloadsUpdates WRITE
                   setAutomaticallyDownloadsUpdates NOTIFY automaticallyDownloadsUpdatesChanged)

public:
    explicit Updater(UpdaterDelegateProtocol* delegate, QObject* parent = nullptr);
    ~Updater() override;

    // Whether a check may start now.
    bool canCheckForUpdates() const { return m_canCheckForUpdates; }

    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool value);
    bool automaticallyDownloadsUpdates() const;
    void setAutomaticallyDownloadsUpdates(bool value);

public Q_SLOTS:
    // A check the user asked for: its outcome is shown to the user.
    void checkForUpdates();
    // A silent check: only the delegate hears of it.
    void checkForUpdatesInBackground();

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
    void automaticallyChecksForUpdatesChanged(bool value);
    void automaticallyDownloadsUpdatesChanged(bool value);

private:
    UpdaterDelegateProtocol* m_delegate;
    bool m_canCheckForUpdates = false;
};
