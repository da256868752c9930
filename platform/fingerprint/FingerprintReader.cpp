#include "platform/fingerprint/FingerprintReader.h"

#include "platform/Diagnostics.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>
#include <QPointer>
#include <QPromise>

#include <optional>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString serviceName = QStringLiteral("net.reactivated.Fprint");
const QString managerPath = QStringLiteral("/net/reactivated/Fprint/Manager");
const QString managerInterface = QStringLiteral("net.reactivated.Fprint.Manager");
const QString deviceInterface = QStringLiteral("net.reactivated.Fprint.Device");

std::optional<QDBusConnection>& defaultBus()
{
    static std::optional<QDBusConnection> bus;
    return bus;
}

QString currentUserName()
{
    if (const passwd* entry = getpwuid(geteuid())) {
        return QString::fromLocal8Bit(entry->pw_name);
    }
    return {};
}

QDBusMessage deviceCall(const QString& device, const QString& method)
{
    return QDBusMessage::createMethodCall(serviceName, device, deviceInterface, method);
}

int timeoutOf(std::chrono::milliseconds timeout)
{
    return int(timeout.count());
}

} // namespace

QDBusConnection FingerprintReader::defaultConnection()
{
    return defaultBus().value_or(QDBusConnection::systemBus());
}

void FingerprintReader::setDefaultConnection(const QDBusConnection& bus)
{
    defaultBus() = bus;
}

FingerprintReader::FingerprintReader(QObject* parent)
    : FingerprintReader(defaultConnection(), parent)
{
}

FingerprintReader::FingerprintReader(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_watcher(new QDBusServiceWatcher(serviceName, bus, QDBusServiceWatcher::WatchForUnregistration, this))
{
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        if (isVerifying()) {
            m_device.clear(); // nothing left to release
            finish(false, QStringLiteral("service gone"));
        }
    });
}

FingerprintReader::~FingerprintReader()
{
    cancelAvailabilityChecks();
    if (isVerifying()) {
        release(m_state == State::verifying);
    }
}

QFuture<bool> FingerprintReader::checkAvailability()
{
    auto check = std::make_shared<QPromise<bool>>();
    check->start();
    QFuture<bool> future = check->future();
    m_checks.append(check);
    if (!m_bus.isConnected()) {
        finishCheck(check, false, QStringLiteral("no bus"));
        return future;
    }
    const QDeadlineTimer deadline(m_availabilityDeadline);
    const auto call = m_bus.asyncCall(
        QDBusMessage::createMethodCall(serviceName, managerPath, managerInterface, QStringLiteral("GetDefaultDevice")),
        int(qMax<qint64>(1, deadline.remainingTime())));
    // The watchers are children of the reader: replies to a reader that is gone are never read.
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, check, deadline](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (!m_checks.contains(check)) {
            return; // cancelled meanwhile
        }
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            finishCheck(check, false, reply.error().name());
            return;
        }
        const QString path = reply.value().path();
        if (path.isEmpty() || deadline.hasExpired()) {
            finishCheck(check, false, QStringLiteral("no device in time"));
            return;
        }
        listEnrolledFingers(check, path, deadline.remainingTime());
    });
    return future;
}

void FingerprintReader::listEnrolledFingers(const AvailabilityPromise& check, const QString& device, qint64 remainingMs)
{
    QDBusMessage list = deviceCall(device, QStringLiteral("ListEnrolledFingers"));
    list << currentUserName();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(list, int(qMax<qint64>(1, remainingMs))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, check](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (!m_checks.contains(check)) {
            return;
        }
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isError()) {
            finishCheck(check, false, reply.error().name());
            return;
        }
        finishCheck(check, !reply.value().isEmpty(), QStringLiteral("enrolled fingers listed"));
    });
}

void FingerprintReader::finishCheck(const AvailabilityPromise& check, bool available, const QString& detail)
{
    if (!m_checks.removeOne(check)) {
        return;
    }
    qCDebug(lcDiagnostics) << "Проверка сканера отпечатков:" << available << detail;
    check->addResult(available);
    check->finish();
}

void FingerprintReader::cancelAvailabilityChecks()
{
    const auto running = std::exchange(m_checks, {});
    for (const auto& check : running) {
        qCDebug(lcDiagnostics) << "Проверка сканера отпечатков отменена";
        // A cancelled future runs no continuation, so no caller hears an answer.
        check->future().cancel();
        check->finish();
    }
}

void FingerprintReader::verify()
{
    if (isVerifying()) {
        return;
    }
    const quint64 attempt = ++m_attempt;
    m_state = State::findingDevice;
    if (!m_bus.isConnected()) {
        // Still answered asynchronously, like every other outcome.
        QMetaObject::invokeMethod(
            this,
            [this, attempt] {
                if (attempt == m_attempt && m_state == State::findingDevice) {
                    finish(false, QStringLiteral("no bus"));
                }
            },
            Qt::QueuedConnection);
        return;
    }
    const auto call = m_bus.asyncCall(
        QDBusMessage::createMethodCall(serviceName, managerPath, managerInterface, QStringLiteral("GetDefaultDevice")),
        timeoutOf(m_callTimeout));
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, attempt](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (attempt != m_attempt || m_state != State::findingDevice) {
            return;
        }
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            finish(false, reply.error().name());
            return;
        }
        m_device = reply.value().path();
        claim(attempt);
    });
}

void FingerprintReader::claim(quint64 attempt)
{
    m_state = State::claiming;
    m_listening = m_bus.connect(serviceName, m_device, deviceInterface, QStringLiteral("VerifyStatus"), this,
                                SLOT(onVerifyStatus(QString, bool)));
    QDBusMessage message = deviceCall(m_device, QStringLiteral("Claim"));
    message << QString(); // the caller's own user
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, timeoutOf(m_callTimeout)), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, attempt, device = m_device](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<> reply = *w;
                if (attempt != m_attempt || m_state != State::claiming) {
                    if (!reply.isError()) {
                        // Cancelled meanwhile: give the device back.
                        m_bus.asyncCall(deviceCall(device, QStringLiteral("Release")), timeoutOf(m_callTimeout));
                    }
                    return;
                }
                if (reply.isError()) {
                    m_device.clear();
                    finish(false, reply.error().name());
                    return;
                }
                startVerifying(attempt);
            });
}

void FingerprintReader::startVerifying(quint64 attempt)
{
    m_state = State::starting;
    QDBusMessage message = deviceCall(m_device, QStringLiteral("VerifyStart"));
    message << QStringLiteral("any");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, timeoutOf(m_callTimeout)), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, attempt](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (attempt != m_attempt || m_state != State::starting) {
            return;
        }
        const QDBusPendingReply<> reply = *w;
        if (reply.isError()) {
            release(false);
            finish(false, reply.error().name());
            return;
        }
        m_state = State::verifying;
    });
}

void FingerprintReader::onVerifyStatus(const QString& result, bool done)
{
    if (m_state != State::verifying && m_state != State::starting) {
        return;
    }
    if (!done) {
        qCDebug(lcDiagnostics) << "Отпечаток: повторите попытку" << result;
        return;
    }
    release(true);
    finish(result == QLatin1String("verify-match"), result);
}

void FingerprintReader::cancel()
{
    if (!isVerifying()) {
        return;
    }
    if (m_state == State::starting || m_state == State::verifying) {
        release(true);
    }
    finish(false, QStringLiteral("cancelled"));
}

void FingerprintReader::release(bool stopVerifying)
{
    if (m_device.isEmpty()) {
        return;
    }
    // Fire and forget: the reply of neither call changes the outcome.
    if (stopVerifying) {
        m_bus.asyncCall(deviceCall(m_device, QStringLiteral("VerifyStop")), timeoutOf(m_callTimeout));
    }
    m_bus.asyncCall(deviceCall(m_device, QStringLiteral("Release")), timeoutOf(m_callTimeout));
}

void FingerprintReader::finish(bool matched, const QString& detail)
{
    if (m_listening) {
        m_bus.disconnect(serviceName, m_device, deviceInterface, QStringLiteral("VerifyStatus"), this,
                         SLOT(onVerifyStatus(QString, bool)));
        m_listening = false;
    }
    m_device.clear();
    m_state = State::idle;
    qCDebug(lcDiagnostics) << "Проверка отпечатка завершена:" << detail;
    Q_EMIT verificationFinished(matched);
}
