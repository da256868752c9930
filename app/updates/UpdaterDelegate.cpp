#include "app/updates/UpdaterDelegate.h"

#include "platform/Diagnostics.h"

UpdaterDelegate::UpdaterDelegate(QObject* parent)
    : QObject(parent)
{
}

void UpdaterDelegate::didFindValidUpdate(Updater*, const AppcastItem& item)
{
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("Найдено обновление: ") + item.versionString;
    const QString version = item.displayVersionString;
    QMetaObject::invokeMethod(
        this, [this, version] { setState(true, version); }, Qt::QueuedConnection);
}

void UpdaterDelegate::didNotFindUpdate(Updater*)
{
    QMetaObject::invokeMethod(
        this, [this] { setState(false, QString()); }, Qt::QueuedConnection);
    qCDebug(lcDiagnostics) << "Обновлений не найдено.";
}

void UpdaterDelegate::setState(bool available, const QString& version)
{
    if (m_isUpdateAvailable != available) {
        m_isUpdateAvailable = available;
        Q_EMIT isUpdateAvailableChanged();
    }
    if (m_availableUpdateVersion != version) {
        m_availableUpdateVersion = version;
        Q_EMIT availableUpdateVersionChanged();
    }
}
