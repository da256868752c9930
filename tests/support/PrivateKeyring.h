#pragma once

#include "tests/support/PrivateBus.h"

#include <QDBusConnection>
#include <QProcess>

// A gnome-keyring daemon of its own on a private bus, created and unlocked with a known
// password, so that tests can lock and unlock its default collection at will.
class PrivateKeyring
{
public:
    PrivateKeyring();
    ~PrivateKeyring();

    PrivateKeyring(const PrivateKeyring&) = delete;
    PrivateKeyring& operator=(const PrivateKeyring&) = delete;

    bool isRunning() const { return m_running; }
    QString busAddress() const { return m_bus.address(); }

    bool lock();
    bool unlock();

private:
    QString defaultCollection() const;

    PrivateBus m_bus;
    QProcess m_daemon;
    QDBusConnection m_connection;
    bool m_running = false;
};
