#include "platform/instance/SingleInstance.h"

#include "platform/Diagnostics.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray activateMessage = "activate\n";
constexpr int connectTimeoutMs = 1000;
constexpr int lockTimeoutMs = 2000;
// A launch that finds the server busy keeps trying this long before it runs on its own.
constexpr int busyTimeoutMs = 3000;
constexpr int listenBacklog = 8;
constexpr int acceptRetryMs = 200;

// An open folder is ours alone when we own it and group and others have no access at all.
bool ownsPrivately(const struct stat& info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 077) == 0;
}

QString runtimeFolderIfPrivate()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!QDir::isAbsolutePath(runtime)) {
        return {};
    }
    struct stat info = {};
    if (::stat(QFile::encodeName(runtime).constData(), &info) != 0 || !ownsPrivately(info)) {
        qCDebug(lcDiagnostics) << "Single instance: runtime folder" << runtime << "is not private, not used";
        return {};
    }
    return runtime;
}

// <temp>/tarn-backup-manager-<uid>, made with mode 0700 if missing. A name that another user took
// first, or a symbolic link, is never used; a folder of ours left open is closed.
QString ownPrivateFolder()
{
    QString temp = QDir::tempPath();
    if (!QDir::isAbsolutePath(temp)) {
        temp = QStringLiteral("/tmp");
    }
    const QString folder = QDir(temp).filePath(QStringLiteral("tarn-backup-manager-%1").arg(getuid()));
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        qCDebug(lcDiagnostics) << "Single instance: cannot make" << folder << qt_error_string(errno);
        return {};
    }
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        qCDebug(lcDiagnostics) << "Single instance: cannot open" << folder << qt_error_string(errno);
        return {};
    }
    struct stat info = {};
    bool usable = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid();
    if (usable && (info.st_mode & 077) != 0) {
        usable = ::fchmod(fd, 0700) == 0;
    }
    ::close(fd);
    if (!usable) {
        qCDebug(lcDiagnostics) << "Single instance:" << folder << "belongs to someone else, not used";
        return {};
    }
    return folder;
}

// The user id of the process at the other end of a connected local socket, when the system says.
std::optional<uid_t> peerUid(qintptr descriptor)
{
    struct ucred credentials = {};
    socklen_t length = sizeof credentials;
    if (descriptor < 0 ||
        ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        length != sizeof credentials) {
        return std::nullopt;
    }
    return credentials.uid;
}

void drop(QLocalSocket* client)
{
    client->abort();
    client->deleteLater();
}

} // namespace

QString SingleInstance::defaultSocketPath()
{
    QString folder = runtimeFolderIfPrivate();
    if (folder.isEmpty()) {
        folder = ownPrivateFolder();
    }
    if (folder.isEmpty()) {
        return {};
    }
    return QDir(folder).filePath(QStringLiteral("tarn-backup-manager-%1.socket").arg(getuid()));
}

SingleInstance::SingleInstance(const QString& socketPath, QObject* parent)
    : QObject(parent)
    , m_socketPath(socketPath)
{
    m_acceptRetry.setSingleShot(true);
    m_acceptRetry.setInterval(acceptRetryMs);
    connect(&m_acceptRetry, &QTimer::timeout, this, &SingleInstance::acceptConnections);
}

SingleInstance::~SingleInstance()
{
    stopListening();
}

bool SingleInstance::isListening() const
{
    return m_listener >= 0;
}

SingleInstance::Role SingleInstance::claim()
{
    if (m_socketPath.isEmpty()) {
        return Role::standalone;
    }
    // Launches that start together take turns, so that one of them listens and the others find it.
    QLockFile lock(m_socketPath + QStringLiteral(".lock"));
    const bool locked = lock.tryLock(lockTimeoutMs);

    switch (handOver()) {
    case HandOver::delivered:
        return Role::secondary;
    case HandOver::stranger:
        return Role::standalone; // not ours to remove
    case HandOver::busy:
        return Role::standalone; // an instance runs but cannot answer now; its socket stays
    case HandOver::nobody:
        break;
    }
    // Nobody answers: a socket left behind by an instance that ended is removed.
    if (!listen())
        return Role::standalone;
    if (!locked) {
        qCDebug(lcDiagnostics) << "Single instance: listening without the launch lock";
    }
    return Role::primary;
}

SingleInstance::HandOver SingleInstance::handOver()
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(connectTimeoutMs)) {
        // Still connecting means a server that is there with a full queue: wait a while longer, and
        // never take its place.
        if (socket.state() != QLocalSocket::ConnectingState)
            return HandOver::nobody;
        if (!socket.waitForConnected(busyTimeoutMs)) {
            const bool busy = socket.state() == QLocalSocket::ConnectingState;
            socket.abort();
            qCDebug(lcDiagnostics) << "Single instance: the server on" << m_socketPath << (busy ? "is busy" : "ended");
            return busy ? HandOver::busy : HandOver::nobody;
        }
    }
    // The system names the user who listens; whoever it is, unless it is us, learns nothing.
    const std::optional<uid_t> owner = peerUid(socket.socketDescriptor());
    if (owner != geteuid()) {
        qCDebug(lcDiagnostics) << "Single instance: the server on" << m_socketPath << "runs under user"
                               << (owner ? qlonglong(*owner) : -1) << ", not handed over";
        socket.abort();
        return HandOver::stranger;
    }
    socket.write(activateMessage);
    const bool written = socket.waitForBytesWritten(connectTimeoutMs);
    socket.disconnectFromServer();
    return written ? HandOver::delivered : HandOver::nobody;
}

bool SingleInstance::listen()
{
    const QByteArray native = QFile::encodeName(m_socketPath);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (native.size() >= qsizetype(sizeof address.sun_path)) {
        qCDebug(lcDiagnostics) << "Single instance: socket path too long:" << m_socketPath;
        return false;
    }
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    ::unlink(native.constData());

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    struct stat info = {};
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(native.constData(), 0600) != 0 || ::listen(fd, listenBacklog) != 0 ||
        ::lstat(native.constData(), &info) != 0) {
        qCDebug(lcDiagnostics) << "Single instance: cannot listen on" << m_socketPath << qt_error_string(errno);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(native.constData());
        }
        return false;
    }
    m_listener = fd;
    m_socketInode = info.st_ino;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SingleInstance::acceptConnections);
    return true;
}

void SingleInstance::stopListening()
{
    if (m_listener < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    m_acceptRetry.stop();
    ::close(m_listener);
    m_listener = -1;
    // The socket goes with the instance, unless a later one has put its own there meanwhile.
    const QByteArray native = QFile::encodeName(m_socketPath);
    struct stat info = {};
    if (::lstat(native.constData(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_ino == m_socketInode)
        ::unlink(native.constData());
}

void SingleInstance::acceptConnections()
{
    if (m_listener < 0)
        return;
    while (m_clients < maxClients) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                // Out of descriptors or memory: the client waits in the queue, the socket stays, and
                // accepting starts again in a moment.
                qCDebug(lcDiagnostics) << "Single instance: cannot accept a client:" << qt_error_string(errno);
                m_notifier->setEnabled(false);
                m_acceptRetry.start();
                return;
            }
            break;
        }
        auto* client = new QLocalSocket(this);
        if (!client->setSocketDescriptor(fd)) {
            ::close(fd);
            delete client;
            continue;
        }
        ++m_clients;
        connect(client, &QObject::destroyed, this, [this] {
            --m_clients;
            if (m_notifier && !m_acceptRetry.isActive())
                m_notifier->setEnabled(true);
        });
        serve(client);
    }
    // While the clients being served are as many as allowed, the others wait in the system's queue.
    m_notifier->setEnabled(m_clients < maxClients);
}

void SingleInstance::serve(QLocalSocket* client)
{
    // A request is one short line. The socket holds no more than that; the rest waits in the system's
    // buffer until the client is dropped, so a client that floods costs nothing.
    client->setReadBufferSize(maxRequestBytes);
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);

    auto* silence = new QTimer(client);
    silence->setSingleShot(true);
    connect(silence, &QTimer::timeout, client, [client] {
        qCDebug(lcDiagnostics) << "Single instance: a client sent no request in time, dropped";
        drop(client);
    });
    silence->start(m_clientTimeoutMs);

    auto readRequest = [this, client] {
        if (client->canReadLine()) {
            const QByteArray line = client->readLine(maxRequestBytes + 1);
            drop(client);
            if (line == activateMessage) {
                Q_EMIT activationRequested();
            }
        } else if (client->bytesAvailable() >= maxRequestBytes) {
            qCDebug(lcDiagnostics) << "Single instance: a client's request is too long, dropped";
            drop(client);
        }
    };
    connect(client, &QLocalSocket::readyRead, this, readRequest);
    readRequest(); // the line may have arrived with the connection
}
