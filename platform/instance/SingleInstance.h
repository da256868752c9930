#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <sys/types.h>

class QLocalSocket;
class QSocketNotifier;

// One running instance per user. The first launch listens on a local socket in a folder private to
// the user; a later launch finds it there, asks it to show itself and steps aside. It hands over only
// to a server that runs under its own user id; anything else listening there is left alone and the
// launch runs without the guard. The server serves a few clients at a time (the rest wait in the
// system's queue) and keeps its socket through every failure of a client or of accepting one.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Role {
        primary, // this process is the instance and listens for later launches
        secondary, // another instance runs and was asked to show itself: exit
        standalone, // neither listening nor handing over worked: run without the guard
    };

    // The longest request a later launch may send, its newline included.
    static constexpr int maxRequestBytes = 64;
    // Clients served at the same time; later ones wait in the listen queue.
    static constexpr int maxClients = 4;

    // The socket of the current user: <folder>/tarn-backup-manager-<uid>.socket, where the folder is
    // XDG_RUNTIME_DIR when that is an absolute folder of the user's that nobody else may enter, and
    // otherwise the folder tarn-backup-manager-<uid> (mode 0700) in the temporary folder. Empty when
    // neither can be had, for instance when another user took that name first.
    static QString defaultSocketPath();

    explicit SingleInstance(const QString& socketPath = defaultSocketPath(), QObject* parent = nullptr);
    ~SingleInstance() override;

    QString socketPath() const { return m_socketPath; }

    // Decides this process's role; blocks for at most a second or two, before the event loop runs.
    Role claim();
    bool isListening() const;

    // How long a connected launch may take to send its request before it is dropped (a second).
    void setClientTimeout(int milliseconds) { m_clientTimeoutMs = milliseconds; }

Q_SIGNALS:
    // A later launch asked this instance to bring its window to the front.
    void activationRequested();

private:
    enum class HandOver { delivered, nobody, stranger, busy };

    HandOver handOver();
    bool listen();
    void stopListening();
    void acceptConnections();
    void serve(QLocalSocket* client);

    QString m_socketPath;
    int m_listener = -1;
    ino_t m_socketInode = 0;
    QSocketNotifier* m_notifier = nullptr;
    // Accepting pauses for a moment after the system refused a descriptor (EMFILE and the like).
    QTimer m_acceptRetry;
    int m_clients = 0;
    int m_clientTimeoutMs = 1000;
};
