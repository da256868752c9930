#include "core/lock/ResumeWatcher.h"

#include "platform/Diagnostics.h"

#include <QDBusError>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QString loginPath = QStringLiteral("/org/freedesktop/login1");
const QString loginInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString sleepSignal = QStringLiteral("PrepareForSleep");

} // namespace

ResumeWatcher::ResumeWatcher(QObject* parent)
    : QObject(parent)
{
    // Connecting to the bus may wait on the bus daemon: not on this thread. The signal is then
    // subscribed here, which only queues the match rule. The watcher is a child, so a watcher
    // destroyed meanwhile is never called back.
    auto* connecting = new QFutureWatcher<bool>(this);
    connect(connecting, &QFutureWatcherBase::finished, this, [this, connecting] {
        if (connecting->result() && !m_watching)
            watch(QDBusConnection::systemBus());
        connecting->deleteLater();
    });
    connecting->setFuture(QtConcurrent::run([] { return QDBusConnection::systemBus().isConnected(); }));
}

bool ResumeWatcher::watch(const QDBusConnection& bus)
{
    // No sender name: matching on a well-known name would make Qt ask the bus for its owner
    // and wait for the answer. A foreign sender can only make the monitor check sooner.
    QDBusConnection connection(bus);
    m_watching =
        connection.connect(QString(), loginPath, loginInterface, sleepSignal, this, SLOT(prepareForSleep(bool)));
    if (!m_watching)
        qCDebug(lcDiagnostics).noquote() << "PrepareForSleep is not watched:" << connection.lastError().message();
    return m_watching;
}

void ResumeWatcher::prepareForSleep(bool sleeping)
{
    if (!sleeping)
        Q_EMIT resumed();
}
