#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

// Owns a bus name and answers every call to it with an error: a service that refuses.
class RefusingService : public QDBusVirtualObject
{
public:
    static inline const QString errorName = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");
    static inline const QString errorText = QStringLiteral("Access to the secrets is denied.");

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        return connection.send(message.createErrorReply(errorName, errorText));
    }

    // Serves `service` on the bus at `address` through a connection named `connectionName`.
    bool serve(const QString& address, const QString& connectionName, const QString& service)
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName);
        return bus.registerVirtualObject(QStringLiteral("/"), this, QDBusConnection::SubPath) &&
            bus.registerService(service);
    }
};
