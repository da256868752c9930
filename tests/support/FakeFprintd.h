#pragma once

#include <QDBusConnection>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>

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
    };
    void setConfig(const Config& config);

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
    friend class FakeFprintManager;
    friend class FakeFprintDevice;

    mutable QMutex m_mutex;
    Config m_config;
    Calls m_calls;
    QString m_connectionName;
    QThread m_thread;
    FakeFprintManager* m_manager = nullptr;
    FakeFprintDevice* m_device = nullptr;
    bool m_registered = false;
};
