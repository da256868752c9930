#include "tests/support/FakeFprintd.h"

#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QMutexLocker>
#include <QTimer>

namespace {

const QString devicePath = QStringLiteral("/net/reactivated/Fprint/Device/0");
const QString deviceInterface = QStringLiteral("net.reactivated.Fprint.Device");

} // namespace

// What the fake's objects share: every call is answered through respond(), which holds the answer
// back while its method is held.
class FakeFprintObject : public QObject, protected QDBusContext
{
    Q_OBJECT // so that the bus finds the context through qt_metacast

        public : explicit FakeFprintObject(FakeFprintd* owner)
        : m_owner(owner)
    {
    }

protected:
    // Call with the owner's mutex held.
    void respond(const char* method, const QDBusMessage& reply)
    {
        setDelayedReply(true);
        if (m_owner->m_config.heldMethods.contains(QLatin1String(method))) {
            m_owner->m_held.append(reply);
            return;
        }
        connection().send(reply);
    }
    void respondError(const char* method, const QString& name, const QString& text)
    {
        respond(method, message().createErrorReply(name, text));
    }
    void respondWith(const char* method, const QVariant& value) { respond(method, message().createReply(value)); }
    void respondDone(const char* method) { respond(method, message().createReply()); }

    FakeFprintd* m_owner;
};

class FakeFprintManager : public FakeFprintObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.reactivated.Fprint.Manager")

public:
    using FakeFprintObject::FakeFprintObject;

public Q_SLOTS:
    QDBusObjectPath GetDefaultDevice()
    {
        const QMutexLocker lock(&m_owner->m_mutex);
        if (!m_owner->m_config.hasDevice) {
            respondError("GetDefaultDevice", QStringLiteral("net.reactivated.Fprint.Error.NoSuchDevice"),
                         QStringLiteral("No devices available"));
        } else {
            respondWith("GetDefaultDevice", QVariant::fromValue(QDBusObjectPath(devicePath)));
        }
        return {};
    }
};

class FakeFprintDevice : public FakeFprintObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.reactivated.Fprint.Device")

public:
    using FakeFprintObject::FakeFprintObject;

public Q_SLOTS:
    QStringList ListEnrolledFingers(const QString& /*username*/)
    {
        const QMutexLocker lock(&m_owner->m_mutex);
        if (m_owner->m_config.enrolledFingers.isEmpty()) {
            respondError("ListEnrolledFingers", QStringLiteral("net.reactivated.Fprint.Error.NoEnrolledPrints"),
                         QStringLiteral("Failed to discover prints"));
        } else {
            respondWith("ListEnrolledFingers", m_owner->m_config.enrolledFingers);
        }
        return {};
    }

    void Claim(const QString& /*username*/)
    {
        const QMutexLocker lock(&m_owner->m_mutex);
        if (m_owner->m_calls.claimed) {
            respondError("Claim", QStringLiteral("net.reactivated.Fprint.Error.AlreadyInUse"),
                         QStringLiteral("Device was already claimed"));
            return;
        }
        ++m_owner->m_calls.claims;
        m_owner->m_calls.claimed = true;
        respondDone("Claim");
    }

    void Release()
    {
        const QMutexLocker lock(&m_owner->m_mutex);
        ++m_owner->m_calls.releases;
        m_owner->m_calls.claimed = false;
        respondDone("Release");
    }

    void VerifyStart(const QString& finger)
    {
        QStringList results;
        {
            const QMutexLocker lock(&m_owner->m_mutex);
            if (!m_owner->m_calls.claimed) {
                respondError("VerifyStart", QStringLiteral("net.reactivated.Fprint.Error.ClaimDevice"),
                             QStringLiteral("Device was not claimed"));
                return;
            }
            ++m_owner->m_calls.verifyStarts;
            m_owner->m_calls.verifyFinger = finger;
            results = m_owner->m_config.verifyResults;
            respondDone("VerifyStart");
        }
        // The user touches the reader after the call returned.
        const QDBusConnection bus = connection();
        QTimer::singleShot(0, this, [bus, results] {
            for (qsizetype i = 0; i < results.size(); ++i) {
                bus.send(verifyStatus(results.at(i), i == results.size() - 1));
            }
        });
    }

    void VerifyStop()
    {
        const QMutexLocker lock(&m_owner->m_mutex);
        ++m_owner->m_calls.verifyStops;
        respondDone("VerifyStop");
    }

public:
    static QDBusMessage verifyStatus(const QString& result, bool done)
    {
        QDBusMessage status = QDBusMessage::createSignal(devicePath, deviceInterface, QStringLiteral("VerifyStatus"));
        status << result << done;
        return status;
    }
};

FakeFprintd::FakeFprintd(const QString& busAddress)
    : m_connectionName(QStringLiteral("fake-fprintd-%1").arg(quintptr(this)))
{
    QDBusConnection bus = QDBusConnection::connectToBus(busAddress, m_connectionName);
    if (!bus.isConnected()) {
        return;
    }
    m_manager = new FakeFprintManager(this);
    m_device = new FakeFprintDevice(this);
    m_manager->moveToThread(&m_thread);
    m_device->moveToThread(&m_thread);
    m_thread.start();
    m_registered = bus.registerObject(QStringLiteral("/net/reactivated/Fprint/Manager"), m_manager,
                                      QDBusConnection::ExportAllSlots) &&
        bus.registerObject(devicePath, m_device, QDBusConnection::ExportAllSlots) &&
        bus.registerService(QStringLiteral("net.reactivated.Fprint"));
}

FakeFprintd::~FakeFprintd()
{
    QDBusConnection bus(m_connectionName);
    bus.unregisterService(QStringLiteral("net.reactivated.Fprint"));
    bus.unregisterObject(QStringLiteral("/net/reactivated/Fprint/Manager"));
    bus.unregisterObject(devicePath);
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_thread.quit();
    m_thread.wait();
    delete m_manager;
    delete m_device;
}

void FakeFprintd::setConfig(const Config& config)
{
    const QMutexLocker lock(&m_mutex);
    m_config = config;
}

FakeFprintd::Calls FakeFprintd::calls() const
{
    const QMutexLocker lock(&m_mutex);
    return m_calls;
}

QStringList FakeFprintd::allMethods()
{
    return {QStringLiteral("GetDefaultDevice"), QStringLiteral("ListEnrolledFingers"), QStringLiteral("Claim"),
            QStringLiteral("Release"),          QStringLiteral("VerifyStart"),         QStringLiteral("VerifyStop")};
}

int FakeFprintd::heldReplies() const
{
    const QMutexLocker lock(&m_mutex);
    return int(m_held.size());
}

void FakeFprintd::releaseHeldReplies()
{
    QList<QDBusMessage> held;
    {
        const QMutexLocker lock(&m_mutex);
        held.swap(m_held);
    }
    const QDBusConnection bus(m_connectionName);
    for (const QDBusMessage& reply : std::as_const(held)) {
        bus.send(reply);
    }
}

void FakeFprintd::sendVerifyStatus(const QString& result, bool done)
{
    QDBusConnection(m_connectionName).send(FakeFprintDevice::verifyStatus(result, done));
}

#include "FakeFprintd.moc"
