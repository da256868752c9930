#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <chrono>

class QDBusServiceWatcher;

// The fingerprint reader of the fprintd service (net.reactivated.Fprint) for the current user.
// Every call to the service has a short deadline, so that a missing or hung service reads as
// "no reader" instead of blocking.
class FingerprintReader : public QObject
{
    Q_OBJECT

public:
    // The bus that readers use unless given one: the system bus. Tests point it at a private bus.
    static QDBusConnection defaultConnection();
    static void setDefaultConnection(const QDBusConnection& bus);

    // How long the availability check may take, all calls together.
    static constexpr std::chrono::milliseconds availabilityDeadline{1500};
    // How long each call of a verification may take.
    static constexpr std::chrono::milliseconds callTimeout{3000};

    explicit FingerprintReader(QObject* parent = nullptr);
    explicit FingerprintReader(const QDBusConnection& bus, QObject* parent = nullptr);
    ~FingerprintReader() override;

    // A default device exists and the current user has enrolled fingers.
    bool isAvailable() const;

    // Starts checking any enrolled finger; verificationFinished follows exactly once, also on
    // failure and cancellation. Ignored while a verification runs.
    void verify();
    // Ends a running verification as a failure.
    void cancel();
    bool isVerifying() const { return m_state != State::idle; }

Q_SIGNALS:
    void verificationFinished(bool matched);

private Q_SLOTS:
    void onVerifyStatus(const QString& result, bool done);

private:
    enum class State { idle, findingDevice, claiming, starting, verifying };

    void claim(quint64 attempt);
    void startVerifying(quint64 attempt);
    void finish(bool matched, const QString& detail);
    void release(bool stopVerifying);

    QDBusConnection m_bus;
    QDBusServiceWatcher* m_watcher;
    State m_state = State::idle;
    quint64 m_attempt = 0;
    QString m_device;
    bool m_listening = false;
};
