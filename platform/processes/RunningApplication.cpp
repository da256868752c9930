#include "platform/processes/RunningApplication.h"

#include "platform/Diagnostics.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

// The C library of Debian 12 declares these without C linkage.
extern "C" {
#include <sys/pidfd.h>
}

namespace {

std::atomic<int> terminationSignal{SIGKILL};

QByteArray readStat(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return file.readAll();
}

} // namespace

RunningApplication::RunningApplication(qint64 processIdentifier, quint64 startTime, QString executableName,
                                       QString flatpakApplicationId)
    : m_processIdentifier(processIdentifier)
    , m_startTime(startTime)
    , m_executableName(std::move(executableName))
    , m_flatpakApplicationId(std::move(flatpakApplicationId))
{
}

QString RunningApplication::bundleIdentifier() const
{
    return m_flatpakApplicationId.isEmpty() ? m_executableName : m_flatpakApplicationId;
}

QString RunningApplication::description() const
{
    return QStringLiteral("%1 (pid %2)").arg(bundleIdentifier()).arg(m_processIdentifier);
}

bool RunningApplication::isRunning() const
{
    const StatFields fields = parseStat(readStat(m_processIdentifier));
    return fields.state != '?' && fields.state != 'Z' && fields.state != 'X' && fields.startTime == m_startTime;
}

bool RunningApplication::forceTerminate() const
{
    const int signal = terminationSignal.load();
    const int fd = ::pidfd_open(pid_t(m_processIdentifier), 0);
    if (fd < 0) {
        if (errno == ESRCH)
            return true;
        // Without process descriptors: check, then signal by number.
        if (!isRunning())
            return true;
        return ::kill(pid_t(m_processIdentifier), signal) == 0 || errno == ESRCH;
    }
    // The descriptor holds on to whatever process has the id now; signal it only if it is ours.
    bool sent = true;
    if (isRunning())
        sent = ::pidfd_send_signal(fd, signal, nullptr, 0) == 0 || errno == ESRCH;
    ::close(fd);
    if (!sent)
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Не удалось завершить ") + description();
    return sent;
}

RunningApplication::StatFields RunningApplication::parseStat(const QByteArray& line)
{
    // "<pid> (<command>) <state> <ppid> ...": the command may hold blanks and parentheses.
    StatFields fields;
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.lastIndexOf(')');
    if (open < 0 || close < open)
        return fields;
    const QList<QByteArray> rest = line.mid(close + 1).simplified().split(' ');
    // Field 3 (state) comes first after the command, field 22 (start time) 19 places later.
    if (rest.size() < 20 || rest[0].size() != 1)
        return fields;
    bool ok = false;
    const quint64 startTime = rest[19].toULongLong(&ok);
    if (!ok)
        return fields;
    fields.command = QString::fromUtf8(line.mid(open + 1, close - open - 1));
    fields.state = rest[0][0];
    fields.startTime = startTime;
    return fields;
}

QString RunningApplication::flatpakIdFromInfo(const QByteArray& info)
{
    bool inApplication = false;
    for (const QByteArray& raw : info.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inApplication = line == "[Application]";
            continue;
        }
        if (!inApplication)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && line.left(equals).trimmed() == "name")
            return QString::fromUtf8(line.mid(equals + 1).trimmed());
    }
    return {};
}

QString RunningApplication::flatpakIdFromCgroup(const QByteArray& cgroup)
{
    static const QByteArray marker = "app-flatpak-";
    for (const QByteArray& line : cgroup.split('\n')) {
        const qsizetype start = line.lastIndexOf(marker);
        if (start < 0)
            continue;
        QByteArray unit = line.mid(start + marker.size());
        const qsizetype slash = unit.indexOf('/');
        if (slash >= 0)
            unit.truncate(slash);
        if (!unit.endsWith(".scope"))
            continue;
        unit.chop(6);
        // "<id>-<instance number>"
        const qsizetype dash = unit.lastIndexOf('-');
        if (dash <= 0)
            continue;
        bool isNumber = false;
        unit.mid(dash + 1).toULongLong(&isNumber);
        if (isNumber)
            return QString::fromUtf8(unit.left(dash));
    }
    return {};
}

QString RunningApplication::executableNameFromLink(const QByteArray& target, bool unlinked)
{
    static const QByteArray deleted = " (deleted)";
    QByteArray path = target;
    if (unlinked && path.endsWith(deleted))
        path.chop(deleted.size());
    return QFile::decodeName(path.mid(path.lastIndexOf('/') + 1));
}

void RunningApplication::setTerminationSignalForTesting(int signal)
{
    terminationSignal.store(signal);
}
