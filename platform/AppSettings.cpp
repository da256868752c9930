#include "platform/AppSettings.h"

#include <QSettings>

#include <array>
#include <memory>

namespace {

struct Entry
{
    AppSettings::Key key;
    QString name;
    QVariant defaultValue;
};

using Key = AppSettings::Key;

// The one table of keys. The names and the stored formats are those of existing settings files.
const std::array<Entry, 10>& table()
{
    static const std::array<Entry, 10> entries{{
        {Key::savedPath, QStringLiteral("savedPathKey"), QString()},
        // No default here: the theme falls back to its accent colour.
        {Key::iconColor, QStringLiteral("iconColor"), QVariant()},
        {Key::hasAppPassword, QStringLiteral("hasAppPassword"), false},
        {Key::automaticallyChecksForUpdates, QStringLiteral("automaticallyChecksForUpdates"), true},
        {Key::automaticallyDownloadsUpdates, QStringLiteral("automaticallyDownloadsUpdates"), false},
        {Key::downloadedUpdateVersion, QStringLiteral("downloadedUpdate/version"), QString()},
        {Key::downloadedUpdatePath, QStringLiteral("downloadedUpdate/path"), QString()},
        {Key::downloadedUpdateLength, QStringLiteral("downloadedUpdate/length"), qint64(0)},
        {Key::isAutoLogoutEnabled, QStringLiteral("isAutoLogoutEnabled"), false},
        {Key::logoutTimeout, QStringLiteral("LogoutTimeout"), 600.0},
    }};
    return entries;
}

const Entry& entry(Key key)
{
    for (const Entry& e : table()) {
        if (e.key == key)
            return e;
    }
    Q_UNREACHABLE();
}

// A value read back from the file is its text: "true", "600".
bool sameValue(const QVariant& stored, const QVariant& value)
{
    if (stored == value)
        return true;
    return stored.typeId() == QMetaType::QString && value.canConvert<QString>() &&
        stored.toString() == value.toString();
}

std::unique_ptr<QSettings> open(const QString& fileName)
{
    // The organisation and application names are read when a default QSettings is made.
    if (fileName.isEmpty())
        return std::make_unique<QSettings>();
    return std::make_unique<QSettings>(fileName, QSettings::IniFormat);
}

} // namespace

AppSettings& AppSettings::instance()
{
    static AppSettings settings;
    return settings;
}

AppSettings::AppSettings() = default;

AppSettings::AppSettings(const QString& fileName, QObject* parent)
    : QObject(parent)
    , m_fileName(fileName)
{
}

QString AppSettings::name(Key key)
{
    return entry(key).name;
}

QVariant AppSettings::defaultValue(Key key)
{
    return entry(key).defaultValue;
}

std::optional<AppSettings::Key> AppSettings::keyNamed(const QString& name)
{
    for (const Entry& e : table()) {
        if (e.name == name)
            return e.key;
    }
    return std::nullopt;
}

QString AppSettings::fileName() const
{
    return open(m_fileName)->fileName();
}

QVariant AppSettings::value(Key key) const
{
    const Entry& e = entry(key);
    return open(m_fileName)->value(e.name, e.defaultValue);
}

bool AppSettings::contains(Key key) const
{
    return open(m_fileName)->contains(name(key));
}

void AppSettings::setValue(Key key, const QVariant& value)
{
    store(name(key), value);
}

void AppSettings::remove(Key key)
{
    const auto settings = open(m_fileName);
    const QString keyName = name(key);
    if (!settings->contains(keyName))
        return;
    settings->remove(keyName);
    Q_EMIT changed(key);
}

QVariant AppSettings::stored(const QString& name) const
{
    return open(m_fileName)->value(name);
}

void AppSettings::store(const QString& name, const QVariant& value)
{
    const auto settings = open(m_fileName);
    const bool had = settings->contains(name);
    const QVariant before = settings->value(name);
    settings->setValue(name, value);
    if (had && sameValue(before, value))
        return;
    if (const auto key = keyNamed(name))
        Q_EMIT changed(*key);
}

QString AppSettings::savedPath() const
{
    return value(Key::savedPath).toString();
}

void AppSettings::setSavedPath(const QString& path)
{
    setValue(Key::savedPath, path);
}

std::optional<QString> AppSettings::iconColorHex() const
{
    const QVariant stored = value(Key::iconColor);
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    return stored.toString();
}

bool AppSettings::hasAppPassword() const
{
    return value(Key::hasAppPassword).toBool();
}

void AppSettings::setHasAppPassword(bool stored)
{
    if (stored)
        setValue(Key::hasAppPassword, true);
    else
        remove(Key::hasAppPassword);
}

bool AppSettings::automaticallyChecksForUpdates() const
{
    return value(Key::automaticallyChecksForUpdates).toBool();
}

void AppSettings::setAutomaticallyChecksForUpdates(bool value)
{
    setValue(Key::automaticallyChecksForUpdates, value);
}

bool AppSettings::automaticallyDownloadsUpdates() const
{
    return value(Key::automaticallyDownloadsUpdates).toBool();
}

void AppSettings::setAutomaticallyDownloadsUpdates(bool value)
{
    setValue(Key::automaticallyDownloadsUpdates, value);
}

AppSettings::DownloadedUpdate AppSettings::downloadedUpdate() const
{
    return {value(Key::downloadedUpdateVersion).toString(), value(Key::downloadedUpdatePath).toString(),
            value(Key::downloadedUpdateLength).toLongLong()};
}

void AppSettings::setDownloadedUpdate(const DownloadedUpdate& update)
{
    setValue(Key::downloadedUpdateVersion, update.version);
    setValue(Key::downloadedUpdatePath, update.path);
    setValue(Key::downloadedUpdateLength, update.length);
}

void AppSettings::forgetDownloadedUpdate()
{
    remove(Key::downloadedUpdateVersion);
    remove(Key::downloadedUpdatePath);
    remove(Key::downloadedUpdateLength);
}
