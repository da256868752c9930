#include "platform/instance/SingleInstance.h"

#include "platform/Diagnostics.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

namespace {

const QByteArray activateMessage = "activate\n";
constexpr int connectTimeoutMs = 1000;
constexpr int lockTimeoutMs = 2000;

} // namespace

QString SingleInstance::defaultSocketPath()
{
    // The runtime folder belongs to the user alone (XDG_RUNTIME_DIR, or Qt's private fallback).
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(runtime).filePath(QStringLiteral("tarn-backup-manager-%1.socket").arg(getuid()));
}

SingleInstance::SingleInstance(const QString& socketPath, QObject* parent)
    : QObject(parent)
    , m_socketPath(socketPath)
{
}

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close();
    }
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

SingleInstance::Role SingleInstance::claim()
{
    if (m_socketPath.isEmpty()) {
        return Role::standalone;
    }
    // Launches that start together take turns, so that one of them listens and the others find it.
    QLockFile lock(m_socketPath + QStringLiteral(".lock"));
    const bool locked = lock.tryLock(lockTimeoutMs);

    if (handOver()) {
        return Role::secondary;
    }
    // Nobody answers: a socket left behind by an instance that ended is removed.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        qCDebug(lcDiagnostics) << "Single instance: cannot listen on" << m_socketPath << m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return Role::standalone;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    if (!locked) {
        qCDebug(lcDiagnostics) << "Single instance: listening without the launch lock";
    }
    return Role::primary;
}

bool SingleInstance::handOver()
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(connectTimeoutMs)) {
        return false;
    }
    socket.write(activateMessage);
    const bool written = socket.waitForBytesWritten(connectTimeoutMs);
    socket.disconnectFromServer();
    return written;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto readMessage = [this, socket] {
            if (!socket->canReadLine()) {
                return;
            }
            const QByteArray line = socket->readLine(64);
            socket->disconnectFromServer();
            if (line == activateMessage) {
                Q_EMIT activationRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, readMessage);
        readMessage(); // the line may have arrived with the connection
    }
}
