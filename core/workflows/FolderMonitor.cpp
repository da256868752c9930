#include "core/workflows/FolderMonitor.h"

#include <QFile>
#include <QThread>

#include <cstdio>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// Entries created, removed or renamed inside the folder, and the folder itself removed or renamed.
constexpr uint32_t watchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

} // namespace

FolderMonitor::FolderMonitor(const QString& path)
    : m_url(path)
{
}

FolderMonitor::~FolderMonitor()
{
    {
        std::lock_guard lock(m_mutex);
        m_folderDidChange = nullptr;
    }
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    if (m_wakeFd != -1)
        ::close(m_wakeFd);
    if (m_fd != -1)
        ::close(m_fd);
}

void FolderMonitor::setFolderDidChange(std::function<void()> callback)
{
    std::lock_guard lock(m_mutex);
    m_folderDidChange = std::move(callback);
}

void FolderMonitor::startMonitoring()
{
    if (m_thread.joinable() || m_fd != -1)
        return;

    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd == -1 || ::inotify_add_watch(fd, QFile::encodeName(m_url).constData(), watchMask) == -1) {
        if (fd != -1)
            ::close(fd);
        std::printf("Failed to open directory: %s\n", QFile::encodeName(m_url).constData());
        std::fflush(stdout);
        return;
    }
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd == -1) {
        ::close(fd);
        std::printf("Failed to open directory: %s\n", QFile::encodeName(m_url).constData());
        std::fflush(stdout);
        return;
    }
    m_fd = fd;
    m_wakeFd = wakeFd;

    // A plain thread: a QThread would also open an event-dispatcher descriptor per monitor.
    m_thread = std::thread([this] { run(); });
}

void FolderMonitor::run()
{
    QThread::currentThread()->setObjectName(QStringLiteral("FolderMonitorQueue"));
    ::pthread_setname_np(::pthread_self(), "FolderMonitor");
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        if (::poll(fds, 2, -1) == -1) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if ((fds[0].revents & POLLIN) == 0)
            continue;

        // Drain what is queued; one batch is one change report, as a coalescing event source gives.
        bool changed = false;
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t offset = 0; offset < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                if ((event->mask & (watchMask | IN_Q_OVERFLOW)) != 0)
                    changed = true;
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        if (changed)
            notify();
    }
}

void FolderMonitor::notify()
{
    std::function<void()> callback;
    {
        std::lock_guard lock(m_mutex);
        callback = m_folderDidChange;
    }
    if (callback)
        callback();
}
