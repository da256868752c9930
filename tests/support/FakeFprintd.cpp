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

class FakeFprintManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.reactivated.Fprint.Manager")

public:
    explicit FakeFprintManager(FakeFprintd* owner)
        : m_owner(owner)
    {
    }

public Q_SLOTS:
    QDBusObjectPath GetDefaultDevice()
    {
        const QMutexLocker lock(&m_owner->m_mutex);
        if (!m_owner->m_config.hasDevice) {
            sendErrorReply(QStringLiteral("net.reactivated.Fprint.Error.NoSuchDevice"),
                           QStringLiteral("No devices available"));
            return {};
        }
        return QDBusObjectPath(devicePath);
    }

private:
    FakeFprintd* m_owner;
};

class FakeFprintDevice : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.reactivated.Fprint.Device")

public:
    explicit FakeFprintDevice(FakeFprintd* owner)
        : m_owner(owner)
    {
    }

public Q_SLOTS:
    QStringList ListEnrolledFingers(const QString& /*username*/)
    {
        const QMutexLocker lock(&m_owner->m_mutex);
        if (m_owner->m_config.enrolledFingers.isEmpty()) {
            sendErrorReply(QStringLiteral("net.reactivated.Fprint.Error.NoEnrolledPrints"),
                           QStringLiteral("Failed to discover prints"));
            return {};
        }
        return m_owner->m_config.enrolledFingers;
    }

    void Claim(const QString& /*username*/)
    {
        const QMutexLocker lock(&m_owner->m_mutex);
        if (m_owner->m_calls.claimed) {
            sendErrorReply(QStringLiteral("net.reactivated.Fprint.Error.AlreadyInUse"),
                           QStringLiteral("Device was already claimed"));
            return;
        }
        ++m_owner->m_calls.claims;
        m_owner->m_calls.claimed = true;
    }

    void Release()
    {
        const QMutexLocker lock(&m_owner->m_mutex);
        ++m_owner->m_calls.releases;
        m_owner->m_calls.claimed = false;
    }

    void VerifyStart(const QString& finger)
    {
        QStringList results;
        {
            const QMutexLocker lock(&m_owner->m_mutex);
            if (!m_owner->m_calls.claimed) {
                sendErrorReply(QStringLiteral("net.reactivated.Fprint.Error.ClaimDevice"),
                               QStringLiteral("Device was not claimed"));
                return;
            }
            ++m_owner->m_calls.verifyStarts;
            m_owner->m_calls.verifyFinger = finger;
            results = m_owner->m_config.verifyResults;
        }
        // The user touches the reader after the call returned.
        const QDBusConnection bus = connection();
        QTimer::singleShot(0, this, [bus, results] {
            for (qsizetype i = 0; i < results.size(); ++i) {
                QDBusMessage status =
                    QDBusMessage::createSignal(devicePath, deviceInterface, QStringLiteral("VerifyStatus"));
                status << results.at(i) << (i == results.size() - 1);
                bus.send(status);
            }
        });
    }

    void VerifyStop()
    {
        const QMutexLocker lock(&m_owner->m_mutex);
        ++m_owner->m_calls.verifyStops;
    }

private:
    FakeFprintd* m_owner;
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

#include "FakeFprintd.moc"
