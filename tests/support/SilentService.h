#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>

// Owns a bus name and takes every call to it without ever answering: a hung daemon.
class SilentService : public QDBusVirtualObject
{
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }

    // Serves `service` on the bus at `address` through a connection named `connectionName`.
    bool serve(const QString& address, const QString& connectionName, const QString& service)
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName);
        return bus.registerVirtualObject(QStringLiteral("/"), this, QDBusConnection::SubPath) &&
            bus.registerService(service);
    }
};
