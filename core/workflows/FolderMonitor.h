#pragma once

#include <QString>

#include <functional>
#include <mutex>
#include <thread>

// Watches one folder (or file) and calls folderDidChange whenever an entry inside it is created,
// removed or renamed, or the watched path itself is deleted or renamed. The callback runs on the
// monitor's own worker thread "FolderMonitorQueue", never on the GUI thread; owners that touch
// GUI state hand over to the GUI thread themselves.
//
// A monitor starts once and watches until it is destroyed. The destructor stops the watch,
// closes its descriptors and waits for a running callback, so no callback runs after it returns.
// Do not destroy a monitor from inside its own callback.
class FolderMonitor
{
public:
    explicit FolderMonitor(const QString& path);
    ~FolderMonitor();

    FolderMonitor(const FolderMonitor&) = delete;
    FolderMonitor& operator=(const FolderMonitor&) = delete;

    // Opens the watch. Does nothing while watching; a path that cannot be watched prints
    // "Failed to open directory: <path>" and leaves the monitor idle, so a later call may retry.
    // Resolving the path waits for its file system, which may not answer: call it on the folder's
    // thread (FileSystemLanes), never on the GUI thread.
    void startMonitoring();

    void setFolderDidChange(std::function<void()> callback);

    QString url() const { return m_url; }
    // The watch descriptor, -1 while idle.
    int monitoredFolderFileDescriptor() const { return m_fd; }

private:
    void run();
    void notify();

    const QString m_url;
    int m_fd = -1;
    int m_wakeFd = -1;
    std::thread m_thread;

    std::mutex m_mutex;
    std::function<void()> m_folderDidChange;
};
