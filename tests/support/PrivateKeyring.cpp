#include "tests/support/PrivateKeyring.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcessEnvironment>
#include <QThread>

namespace {

const QString secretsName = QStringLiteral("org.freedesktop.secrets");
const QString secretsPath = QStringLiteral("/org/freedesktop/secrets");
const QString serviceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QByteArray keyringPassword = "tarn-private-keyring";

} // namespace

PrivateKeyring::PrivateKeyring()
    : PrivateKeyring(QString())
{
}

PrivateKeyring::PrivateKeyring(const QString& promptDisplay)
    : m_bus(promptDisplay)
    , m_connection(QStringLiteral("none"))
{
    if (!m_bus.isRunning()) {
        return;
    }
    const QString base = m_bus.scratchPath();
    QDir(base).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(base + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir(base).mkpath(QStringLiteral("data"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), base + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), base + QStringLiteral("/data"));
    m_daemon.setProcessEnvironment(environment);
    m_daemon.setProgram(QStringLiteral("gnome-keyring-daemon"));
    m_daemon.setArguments(
        {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    m_daemon.setStandardOutputFile(QProcess::nullDevice());
    m_daemon.setStandardErrorFile(QProcess::nullDevice());
    m_daemon.start();
    if (!m_daemon.waitForStarted(5000)) {
        return;
    }
    m_daemon.write(keyringPassword);
    m_daemon.waitForBytesWritten(5000);
    m_daemon.closeWriteChannel();

    m_connection = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("private-keyring ") + base);
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_connection.interface()->isServiceRegistered(secretsName) && !defaultCollection().isEmpty()) {
            m_running = true;
            return;
        }
        QThread::msleep(20);
    }
    QFile log(base + QStringLiteral("/daemon.log"));
    log.open(QIODevice::ReadOnly);
    qWarning() << "The keyring daemon did not start.";
}

PrivateKeyring::~PrivateKeyring()
{
    QDBusConnection::disconnectFromBus(m_connection.name());
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000)) {
            m_daemon.kill();
            m_daemon.waitForFinished(3000);
        }
    }
}

QString PrivateKeyring::defaultCollection() const
{
    auto message =
        QDBusMessage::createMethodCall(secretsName, secretsPath, serviceInterface, QStringLiteral("ReadAlias"));
    message << QStringLiteral("default");
    const QDBusMessage reply = m_connection.call(message, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    const QString path = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    return path == QLatin1String("/") ? QString() : path;
}

QByteArray PrivateKeyring::password()
{
    return keyringPassword;
}

bool PrivateKeyring::isLocked() const
{
    auto message = QDBusMessage::createMethodCall(
        secretsName, defaultCollection(), QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
    const QDBusMessage reply = m_connection.call(message, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
        reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

bool PrivateKeyring::lock()
{
    auto message = QDBusMessage::createMethodCall(secretsName, secretsPath, serviceInterface, QStringLiteral("Lock"));
    message << QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(defaultCollection())});
    return m_connection.call(message, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
}

bool PrivateKeyring::unlock()
{
    auto open =
        QDBusMessage::createMethodCall(secretsName, secretsPath, serviceInterface, QStringLiteral("OpenSession"));
    open << QStringLiteral("plain") << QVariant::fromValue(QDBusVariant(QString()));
    const QDBusMessage opened = m_connection.call(open, QDBus::Block, 2000);
    if (opened.type() != QDBusMessage::ReplyMessage || opened.arguments().size() != 2) {
        qWarning() << "session failed:" << opened.errorName() << opened.errorMessage();
        return false;
    }
    const auto session = opened.arguments().at(1).value<QDBusObjectPath>();

    QDBusArgument master;
    master.beginStructure();
    master << session << QByteArray() << keyringPassword << QStringLiteral("text/plain");
    master.endStructure();
    auto unlock = QDBusMessage::createMethodCall(
        secretsName, secretsPath, QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"),
        QStringLiteral("UnlockWithMasterPassword"));
    unlock << QVariant::fromValue(QDBusObjectPath(defaultCollection())) << QVariant::fromValue(master);
    const QDBusMessage reply = m_connection.call(unlock, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qWarning() << "unlock failed:" << reply.errorName() << reply.errorMessage();
        return false;
    }
    return true;
}
