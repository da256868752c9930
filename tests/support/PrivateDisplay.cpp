#include "tests/support/PrivateDisplay.h"

#include <QProcessEnvironment>

PrivateDisplay::PrivateDisplay()
{
    // The server writes its display number to the descriptor once it accepts clients.
    m_server.setProgram(QStringLiteral("Xvfb"));
    m_server.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                           QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                           QStringLiteral("1280x800x24")});
    m_server.setStandardErrorFile(QProcess::nullDevice());
    m_server.start();
    if (!m_server.waitForStarted(10000)) {
        qWarning("Xvfb is missing: run scripts/install-deps.sh");
        return;
    }
    while (!m_server.canReadLine()) {
        if (!m_server.waitForReadyRead(30000)) {
            return;
        }
    }
    const QString number = QString::fromLatin1(m_server.readLine()).trimmed();
    if (!number.isEmpty()) {
        m_name = QLatin1Char(':') + number;
    }
}

PrivateDisplay::~PrivateDisplay()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) {
            m_server.kill();
            m_server.waitForFinished(5000);
        }
    }
}

std::optional<QString> PrivateDisplay::run(const QString& program, const QStringList& arguments) const
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_name);
    tool.setProcessEnvironment(environment);
    tool.setStandardErrorFile(QProcess::nullDevice());
    tool.start(program, arguments);
    if (!tool.waitForFinished(20000)) {
        tool.kill();
        tool.waitForFinished();
        return std::nullopt;
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}
