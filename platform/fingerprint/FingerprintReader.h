#pragma once

#include <QDBusConnection>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

template <typename T>
class QPromise;

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

    // Whether a default device exists and the current user has enrolled fingers, without
    // blocking: the future finishes on this object's thread within the availability deadline (a
    // service that does not answer in time: false). A check that is cancelled, or whose reader goes
    // away, ends as a cancelled future without a result, so that its continuations do not run; a
    // reply that arrives after that is dropped.
    QFuture<bool> checkAvailability();
    // Cancels every running availability check.
    void cancelAvailabilityChecks();

    // Starts checking any enrolled finger; verificationFinished follows exactly once, also on
    // failure and cancellation. Ignored while a verification runs.
    void verify();
    // Ends a running verification as a failure.
    void cancel();
    bool isVerifying() const { return m_state != State::idle; }

    // Test hooks: the deadline of an availability check and the timeout of each call of a
    // verification.
    void setAvailabilityDeadline(std::chrono::milliseconds deadline) { m_availabilityDeadline = deadline; }
    void setCallTimeout(std::chrono::milliseconds timeout) { m_callTimeout = timeout; }

Q_SIGNALS:
    void verificationFinished(bool matched);

private Q_SLOTS:
    void onVerifyStatus(const QString& result, bool done);

private:
    enum class State { idle, findingDevice, claiming, starting, verifying };
    using AvailabilityPromise = std::shared_ptr<QPromise<bool>>;

    void listEnrolledFingers(const AvailabilityPromise& check, const QString& device, qint64 remainingMs);
    void finishCheck(const AvailabilityPromise& check, bool available, const QString& detail);

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
    QList<AvailabilityPromise> m_checks;
    std::chrono::milliseconds m_availabilityDeadline = availabilityDeadline;
    std::chrono::milliseconds m_callTimeout = callTimeout;
};
