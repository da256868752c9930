#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A private D-Bus daemon of the session type for the life of the object. Tests use it to run a bus
// without a keyring, or to register fake system services without clashing with tests that run in
// parallel. By default it activates no services; given an X display, it activates the session
// services installed on the system as a desktop's bus does (gnome-keyring's prompter among them),
// and they run on that display.
class PrivateBus
{
public:
    PrivateBus();
    explicit PrivateBus(const QString& activationDisplay);
    ~PrivateBus();

    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A folder that lives as long as the bus (for XDG_RUNTIME_DIR of helper daemons and the like).
    QString scratchPath() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};
