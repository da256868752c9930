#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>

class FakeFprintObject;
class FakeFprintManager;
class FakeFprintDevice;

// A stand-in for the fprintd service (net.reactivated.Fprint) on a given bus, serving from a
// thread of its own so that callers may block on it. Configure it before the calls.
class FakeFprintd
{
public:
    // busAddress: the private bus to register on.
    explicit FakeFprintd(const QString& busAddress);
    ~FakeFprintd();

    bool isRegistered() const { return m_registered; }

    struct Config
    {
        bool hasDevice = true;
        QStringList enrolledFingers{QStringLiteral("right-index-finger")};
        // The VerifyStatus results sent after VerifyStart, the last with done = true;
        // empty: none is sent (the user never touches the reader).
        QStringList verifyResults{QStringLiteral("verify-match")};
        // Methods ("GetDefaultDevice", "Claim", ...) whose calls are carried out but not answered
        // until releaseHeldReplies(): a slow service. A hung service holds them all for good.
        QStringList heldMethods;
    };
    void setConfig(const Config& config);
    // Every method of the service, for a hung service.
    static QStringList allMethods();

    // Calls that wait for their answer.
    int heldReplies() const;
    // Sends the held answers, as they were when the calls came in.
    void releaseHeldReplies();
    // Sends a VerifyStatus signal now, as a reader event that comes late or unasked.
    void sendVerifyStatus(const QString& result, bool done);

    struct Calls
    {
        int claims = 0;
        int releases = 0;
        int verifyStarts = 0;
        int verifyStops = 0;
        QString verifyFinger;
        bool claimed = false;
    };
    Calls calls() const;

private:
    friend class FakeFprintObject;
    friend class FakeFprintManager;
    friend class FakeFprintDevice;

    mutable QMutex m_mutex;
    Config m_config;
    Calls m_calls;
    QList<QDBusMessage> m_held;
    QString m_connectionName;
    QThread m_thread;
    FakeFprintObject* m_manager = nullptr;
    FakeFprintObject* m_device = nullptr;
    bool m_registered = false;
};
