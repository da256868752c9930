#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running instance per user. The first launch listens on a local socket in the user's runtime
// folder; a later launch finds it there, asks it to show itself and steps aside.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Role {
        primary, // this process is the instance and listens for later launches
        secondary, // another instance runs and was asked to show itself: exit
        standalone, // neither listening nor handing over worked: run without the guard
    };

    // The socket of the current user: <runtime folder>/tarn-backup-manager-<uid>.socket.
    static QString defaultSocketPath();

    explicit SingleInstance(const QString& socketPath = defaultSocketPath(), QObject* parent = nullptr);
    ~SingleInstance() override;

    QString socketPath() const { return m_socketPath; }

    // Decides this process's role; blocks for at most a second or two, before the event loop runs.
    Role claim();
    bool isListening() const;

Q_SIGNALS:
    // A later launch asked this instance to bring its window to the front.
    void activationRequested();

private:
    bool handOver();
    void acceptConnections();

    QString m_socketPath;
    QLocalServer* m_server = nullptr;
};
