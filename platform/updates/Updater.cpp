#include "platform/updates/Updater.h"

#include <QSettings>

namespace {
const QString checksKey = QStringLiteral("automaticallyChecksForUpdates");
const QString downloadsKey = QStringLiteral("automaticallyDownloadsUpdates");
} // namespace

std::optional<QString> UpdaterDelegateProtocol::feedURLString(Updater*)
{
    return std::nullopt;
}

Updater::Updater(UpdaterDelegateProtocol* delegate, QObject* parent)
    : QObject(parent)
    , m_delegate(delegate)
{
}

Updater::~Updater() = default;

bool Updater::automaticallyChecksForUpdates() const
{
    return QSettings().value(checksKey, true).toBool();
}

void Updater::setAutomaticallyChecksForUpdates(bool value)
{
    QSettings().setValue(checksKey, value);
    Q_EMIT automaticallyChecksForUpdatesChanged(value);
}

bool Updater::automaticallyDownloadsUpdates() const
{
    return QSettings().value(downloadsKey, false).toBool();
}

void Updater::setAutomaticallyDownloadsUpdates(bool value)
{
    QSettings().setValue(downloadsKey, value);
    Q_EMIT automaticallyDownloadsUpdatesChanged(value);
}

void Updater::checkForUpdates() { }

void Updater::checkForUpdatesInBackground() { }
