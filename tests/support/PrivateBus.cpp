#include "tests/support/PrivateBus.h"

#include <QFile>
#include <QProcessEnvironment>

PrivateBus::PrivateBus()
    : PrivateBus(QString())
{
}

// Right under /tmp: the bus socket's path must stay within the 108 bytes of a socket address.
PrivateBus::PrivateBus(const QString& activationDisplay)
    : m_dir(QStringLiteral("/tmp/tarn-bus-XXXXXX"))
{
    if (!m_dir.isValid()) {
        return;
    }
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    file.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                              "<busconfig>\n"
                              "  <type>session</type>\n"
                              "  <listen>unix:path=%1/bus</listen>\n"
                              "%2"
                              "  <auth>EXTERNAL</auth>\n"
                              "  <policy context=\"default\">\n"
                              "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                              "    <allow eavesdrop=\"true\"/>\n"
                              "    <allow own=\"*\"/>\n"
                              "  </policy>\n"
                              "</busconfig>\n")
                   .arg(m_dir.path(),
                        activationDisplay.isEmpty() ? QString() : QStringLiteral("  <standard_session_servicedirs/>\n"))
                   .toUtf8());
    file.close();

    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments(
        {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"), QStringLiteral("--config-file=") + config});
    m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
    if (!activationDisplay.isEmpty()) {
        // What the activated services see: this bus as their session bus, and the display.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("bus")));
        environment.insert(QStringLiteral("DISPLAY"), activationDisplay);
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("x11"));
        // No accessibility bus of its own, which would outlive the test.
        environment.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
        m_daemon.setProcessEnvironment(environment);
    }
    m_daemon.start();
    if (!m_daemon.waitForStarted(5000)) {
        return;
    }
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(5000)) { }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus()
{
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000)) {
            m_daemon.kill();
            m_daemon.waitForFinished(3000);
        }
    }
}
