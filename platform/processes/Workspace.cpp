#include "platform/processes/Workspace.h"

#include "platform/Diagnostics.h"

#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFile>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// The C library of Debian 12 declares these without C linkage.
extern "C" {
#include <sys/pidfd.h>
}
#include <vector>

namespace {

// Reads a small regular file without waiting: a FIFO or a device in its place (a sandbox's
// .flatpak-info can be anything) is never opened for blocking reads, and a link is not followed.
QByteArray readRegularFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray content;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        char buffer[4096];
        while (content.size() < 64 * 1024) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            content.append(buffer, n);
        }
    }
    ::close(fd);
    return content.left(64 * 1024);
}

QByteArray& processTable()
{
    static QByteArray folder;
    return folder;
}

QByteArray currentProcessTable()
{
    return processTable().isEmpty() ? QByteArray("/proc") : processTable();
}

// The name of the file the process runs; empty when it cannot be read (another user's process, a
// kernel thread), for then only the name the process gives itself is left, which proves nothing.
// Only the link's text is read: the file itself may lie on a file system that does not answer.
QString executableName(const QByteArray& procDir)
{
    const QByteArray link = procDir + "/exe";
    char target[4096];
    const ssize_t length = ::readlink(link.constData(), target, sizeof target);
    if (length <= 0)
        return {};
    const QByteArray text(target, length);
    bool unlinked = false;
    // The kernel marks a deleted file so; a file may also bear those words. Only then is the link
    // count asked for, from what the kernel holds, never from the file's own file system.
    if (text.endsWith(" (deleted)")) {
        struct statx info = {};
        unlinked = ::statx(AT_FDCWD, link.constData(), AT_STATX_DONT_SYNC, STATX_NLINK, &info) == 0 &&
            (info.stx_mask & STATX_NLINK) && info.stx_nlink == 0;
    }
    return RunningApplication::executableNameFromLink(text, unlinked);
}

using ProgressReport = std::function<void(const QString&)>;

Result<QList<RunningApplication>, QString> listProcesses(const QByteArray& table, const ProgressReport& report)
{
    QList<RunningApplication> result;
    DIR* proc = ::opendir(table.constData());
    if (!proc)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    const uid_t user = ::getuid();
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(proc)) {
        bool isNumber = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&isNumber);
        if (!isNumber || pid <= 0 || pid == self)
            continue;
        const QByteArray dir = table + '/' + QByteArray(entry->d_name);
        struct stat info;
        if (::fstatat(AT_FDCWD, dir.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 || info.st_uid != user)
            continue;
        const RunningApplication::StatFields fields = RunningApplication::parseStat(readRegularFile(dir + "/stat"));
        if (fields.state == '?' || fields.state == 'Z' || fields.state == 'X')
            continue;
        const QString executable = executableName(dir);
        if (report)
            report(QStringLiteral("%1 (PID %2)").arg(executable.isEmpty() ? fields.command : executable).arg(pid));
        QString flatpakId = RunningApplication::flatpakIdFromInfo(readRegularFile(dir + "/root/.flatpak-info"));
        if (flatpakId.isEmpty())
            flatpakId = RunningApplication::flatpakIdFromCgroup(readRegularFile(dir + "/cgroup"));
        result.append(RunningApplication(pid, fields.startTime, executable, flatpakId));
    }
    ::closedir(proc);
    return result;
}

QList<RunningApplication> matching(const QList<RunningApplication>& all, const QString& bundleIdentifier)
{
    QList<RunningApplication> result;
    if (bundleIdentifier.isEmpty())
        return result;
    for (const RunningApplication& application : all) {
        if (application.executableName() == bundleIdentifier || application.flatpakApplicationId() == bundleIdentifier)
            result.append(application);
    }
    return result;
}

// A bounded look-up, shared with its thread, which may outlive the caller's wait.
struct Lookup
{
    std::mutex mutex;
    std::condition_variable finished;
    std::optional<Result<QList<RunningApplication>, QString>> result;
    QString process;
};

} // namespace

Result<QList<RunningApplication>, QString> Workspace::runningApplications()
{
    return listProcesses(currentProcessTable(), {});
}

Result<QList<RunningApplication>, QString> Workspace::runningApplications(const QString& bundleIdentifier)
{
    const auto all = runningApplications();
    if (!all)
        return fail(all.error());
    return matching(*all, bundleIdentifier);
}

Result<QList<RunningApplication>, Workspace::LookupFailure>
Workspace::runningApplications(const QString& bundleIdentifier, std::chrono::milliseconds timeout)
{
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, table = currentProcessTable()] {
            auto result = listProcesses(table, [&lookup](const QString& process) {
                const std::lock_guard lock(lookup->mutex);
                lookup->process = process;
            });
            const std::lock_guard lock(lookup->mutex);
            lookup->result = std::move(result);
            lookup->finished.notify_all();
        }).detach();
    } catch (const std::system_error& error) {
        return fail(LookupFailure{false, QString::fromLocal8Bit(error.what()), {}});
    }
    std::unique_lock lock(lookup->mutex);
    if (!lookup->finished.wait_for(lock, timeout, [&lookup] { return lookup->result.has_value(); })) {
        qCDebug(lcDiagnostics).noquote() << QStringLiteral("Список процессов не прочитан вовремя, завис на ") +
                lookup->process;
        return fail(LookupFailure{true, {}, lookup->process});
    }
    if (!*lookup->result)
        return fail(LookupFailure{false, lookup->result->error(), {}});
    return matching(lookup->result->value(), bundleIdentifier);
}

void Workspace::setProcessTableForTesting(const QString& folder)
{
    processTable() = QFile::encodeName(folder);
}

bool Workspace::waitForTermination(const QList<RunningApplication>& applications, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    std::vector<pollfd> descriptors;
    QList<RunningApplication> unwatched;
    for (const RunningApplication& application : applications) {
        const int fd = ::pidfd_open(pid_t(application.processIdentifier()), 0);
        if (fd < 0) {
            if (errno != ESRCH)
                unwatched.append(application);
            continue;
        }
        if (application.isRunning())
            descriptors.push_back({fd, POLLIN, 0});
        else
            ::close(fd);
    }
    // A process descriptor becomes readable when its process has exited.
    while (!descriptors.empty() && !deadline.hasExpired()) {
        const int ready = ::poll(descriptors.data(), descriptors.size(), int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        for (auto it = descriptors.begin(); it != descriptors.end();) {
            if (it->revents != 0) {
                ::close(it->fd);
                it = descriptors.erase(it);
            } else {
                ++it;
            }
        }
    }
    const bool allExited = descriptors.empty();
    for (const pollfd& descriptor : descriptors)
        ::close(descriptor.fd);
    if (!allExited)
        return false;
    // Kernels without process descriptors: look again now and then.
    while (true) {
        bool running = false;
        for (const RunningApplication& application : unwatched)
            running = running || application.isRunning();
        if (!running)
            return true;
        if (deadline.hasExpired())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool Workspace::openURL(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
