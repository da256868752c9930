#pragma once

#include "tests/support/PrivateBus.h"

#include <QDBusConnection>
#include <QProcess>

// A gnome-keyring daemon of its own on a private bus, created and unlocked with a known
// password, so that tests can lock and unlock its default collection at will.
//
// Without a display the keyring cannot show its unlock prompt: a request to unlock is refused at
// once. Given one (see PrivateDisplay), its bus activates gnome-keyring's prompter there, and
// KeyringPrompt answers the prompt as a user would.
class PrivateKeyring
{
public:
    PrivateKeyring();
    explicit PrivateKeyring(const QString& promptDisplay);
    ~PrivateKeyring();

    PrivateKeyring(const PrivateKeyring&) = delete;
    PrivateKeyring& operator=(const PrivateKeyring&) = delete;

    bool isRunning() const { return m_running; }
    QString busAddress() const { return m_bus.address(); }

    // The password the keyring was created with.
    static QByteArray password();

    // Locks the default collection over the Secret Service's own Lock call.
    bool lock();
    // Unlocks it without a prompt, over gnome-keyring's own interface.
    bool unlock();
    // Whether the default collection is locked now.
    bool isLocked() const;

private:
    QString defaultCollection() const;

    PrivateBus m_bus;
    QProcess m_daemon;
    QDBusConnection m_connection;
    bool m_running = false;
};
