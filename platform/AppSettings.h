#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <optional>

// The application's settings: every key it keeps, declared once with its default, over QSettings.
// The app's instance opens the domain AppIdentity sets; another instance keeps an ini file of its own.
// Nothing is cached: each call opens the storage, so a write by any QSettings of the same file is seen.
class AppSettings : public QObject
{
    Q_OBJECT

public:
    enum class Key {
        savedPath,
        iconColor,
        hasAppPassword,
        automaticallyChecksForUpdates,
        automaticallyDownloadsUpdates,
        downloadedUpdateVersion,
        downloadedUpdatePath,
        downloadedUpdateLength,
        isAutoLogoutEnabled,
        logoutTimeout,
    };
    Q_ENUM(Key)

    // A download verified in an earlier session: its version, file and length in bytes.
    struct DownloadedUpdate
    {
        QString version;
        QString path;
        qint64 length = 0;
    };

    // The app's settings. GUI thread only.
    static AppSettings& instance();
    // Settings kept in the ini file at fileName.
    explicit AppSettings(const QString& fileName, QObject* parent = nullptr);

    // The name the key is stored under, and its value while none is stored (invalid: no default).
    static QString name(Key key);
    static QVariant defaultValue(Key key);
    static std::optional<Key> keyNamed(const QString& name);

    QString fileName() const;

    // The stored value, else the default.
    QVariant value(Key key) const;
    bool contains(Key key) const;
    // Stores the value; changed is emitted unless it was stored already.
    void setValue(Key key, const QVariant& value);
    void remove(Key key);

    // The stored value under any name, invalid when absent; for properties that name their own key.
    // store always writes; changed is emitted for a key of the table whose value it changed.
    QVariant stored(const QString& name) const;
    void store(const QString& name, const QVariant& value);

    QString savedPath() const;
    void setSavedPath(const QString& path);

    // The stored text, or nothing when absent or not text.
    std::optional<QString> iconColorHex() const;

    // Stored only while true: false removes the note.
    bool hasAppPassword() const;
    void setHasAppPassword(bool stored);

    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool value);
    bool automaticallyDownloadsUpdates() const;
    void setAutomaticallyDownloadsUpdates(bool value);

    DownloadedUpdate downloadedUpdate() const;
    void setDownloadedUpdate(const DownloadedUpdate& update);
    void forgetDownloadedUpdate();

Q_SIGNALS:
    void changed(AppSettings::Key key);

private:
    AppSettings();

    const QString m_fileName;
};
