#include "platform/processes/Workspace.h"

#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
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

QByteArray readSmallFile(const QByteArray& path)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return file.read(64 * 1024);
}

QByteArray& processTable()
{
    static QByteArray folder;
    return folder;
}

// The name of the file the process runs; empty when it cannot be read (another user's process, a
// kernel thread), for then only the name the process gives itself is left, which proves nothing.
QString executableName(const QByteArray& procDir)
{
    const QByteArray link = procDir + "/exe";
    char target[4096];
    const ssize_t length = ::readlink(link.constData(), target, sizeof target);
    if (length <= 0)
        return {};
    // The link leads to the running file itself: no links left means it was deleted (or replaced).
    struct stat info;
    const bool unlinked = ::stat(link.constData(), &info) == 0 && info.st_nlink == 0;
    return RunningApplication::executableNameFromLink(QByteArray(target, length), unlinked);
}

} // namespace

Result<QList<RunningApplication>, QString> Workspace::runningApplications()
{
    QList<RunningApplication> result;
    const QByteArray table = processTable().isEmpty() ? QByteArray("/proc") : processTable();
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
        if (::stat(dir.constData(), &info) != 0 || info.st_uid != user)
            continue;
        const RunningApplication::StatFields fields = RunningApplication::parseStat(readSmallFile(dir + "/stat"));
        if (fields.state == '?' || fields.state == 'Z' || fields.state == 'X')
            continue;
        QString flatpakId = RunningApplication::flatpakIdFromInfo(readSmallFile(dir + "/root/.flatpak-info"));
        if (flatpakId.isEmpty())
            flatpakId = RunningApplication::flatpakIdFromCgroup(readSmallFile(dir + "/cgroup"));
        result.append(RunningApplication(pid, fields.startTime, executableName(dir), flatpakId));
    }
    ::closedir(proc);
    return result;
}

Result<QList<RunningApplication>, QString> Workspace::runningApplications(const QString& bundleIdentifier)
{
    const auto all = runningApplications();
    if (!all)
        return fail(all.error());
    QList<RunningApplication> matching;
    for (const RunningApplication& application : *all) {
        if (bundleIdentifier.isEmpty())
            break;
        if (application.executableName() == bundleIdentifier || application.flatpakApplicationId() == bundleIdentifier)
            matching.append(application);
    }
    return matching;
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
