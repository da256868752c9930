#include "core/archive/DurableTree.h"

#include "core/archive/UniqueFd.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// fsyncs wait on the disk or a FUSE server, not on the processor: more of them in flight let the
// file system commit them together.
constexpr int workerCount = 8;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Syncs every file and folder below one root on a few threads. Folders are taken last in, first
// out, so only the folders on the paths being worked on are open at a time.
class TreeSync
{
public:
    explicit TreeSync(int rootFd)
        : m_rootFd(rootFd)
    {
    }

    bool run(QString* error)
    {
        m_items.push_back(Item{nullptr, QByteArray(), true, QByteArray()});
        std::vector<std::thread> threads;
        try {
            for (int i = 1; i < workerCount; ++i)
                threads.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // Fewer threads, the same result.
        }
        work();
        for (std::thread& thread : threads)
            thread.join();
        if (m_failed)
            *error = m_error;
        return !m_failed;
    }

private:
    struct Item
    {
        std::shared_ptr<UniqueFd> parent; // null for the root
        QByteArray name; // relative to parent
        bool folder = false;
        QByteArray path; // for messages
    };

    void work()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_failed || !m_items.empty() || m_busy == 0; });
            if (m_failed || m_items.empty()) {
                m_changed.notify_all();
                return;
            }
            Item item = std::move(m_items.back());
            m_items.pop_back();
            ++m_busy;
            lock.unlock();
            std::vector<Item> children;
            int error = 0;
            const bool ok = item.folder ? syncFolder(item, &children, &error) : syncFile(item, &error);
            lock.lock();
            --m_busy;
            if (!ok && !m_failed) {
                m_failed = true;
                m_error = QFile::decodeName(item.path.isEmpty() ? QByteArray(".") : item.path) + QStringLiteral(": ") +
                    errnoText(error);
            }
            for (Item& child : children)
                m_items.push_back(std::move(child));
            m_changed.notify_all();
        }
    }

    static bool syncFile(const Item& item, int* error)
    {
        UniqueFd fd(
            ::openat(item.parent->get(), item.name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!fd.isValid() || ::fsync(fd.get()) != 0) {
            *error = errno;
            return false;
        }
        return true;
    }

    bool syncFolder(const Item& item, std::vector<Item>* children, int* error)
    {
        auto fd = std::make_shared<UniqueFd>(item.parent ? ::openat(item.parent->get(), item.name.constData(),
                                                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                                                         : ::fcntl(m_rootFd, F_DUPFD_CLOEXEC, 0));
        const int listFd = fd->isValid() ? ::openat(fd->get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        DIR* list = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (!list) {
            *error = errno;
            if (listFd >= 0)
                ::close(listFd);
            return false;
        }
        const QByteArray prefix = item.path.isEmpty() ? QByteArray() : item.path + '/';
        errno = 0;
        while (dirent* e = ::readdir(list)) {
            const QByteArray name(e->d_name);
            if (name == "." || name == "..")
                continue;
            unsigned char type = e->d_type;
            if (type == DT_UNKNOWN) {
                struct stat st = {};
                if (::fstatat(fd->get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    *error = errno;
                    ::closedir(list);
                    return false;
                }
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
            }
            // Links and other entries live in their folder, which is synced below.
            if (type == DT_DIR || type == DT_REG)
                children->push_back(Item{fd, name, type == DT_DIR, prefix + name});
            errno = 0;
        }
        const int readError = errno;
        ::closedir(list);
        if (readError != 0) {
            *error = readError;
            return false;
        }
        // A file system that cannot sync folders (EINVAL) keeps their entries as it keeps them.
        if (::fsync(fd->get()) != 0 && errno != EINVAL) {
            *error = errno;
            return false;
        }
        return true;
    }

    int m_rootFd;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Item> m_items;
    int m_busy = 0;
    bool m_failed = false;
    QString m_error;
};

} // namespace

bool DurableTree::syncfsReachesDisk(int fd)
{
    struct statfs fs = {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC: // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC: // nothing to write
        return true;
    default:
        // FUSE (FUSE_SUPER_MAGIC) forwards syncfs only from virtiofs; network, FAT and stacked
        // file systems may not reach their disk either.
        return false;
    }
}

bool DurableTree::sync(int rootFd, QString* error)
{
    if (syncfsReachesDisk(rootFd)) {
        if (::syncfs(rootFd) == 0)
            return true;
        *error = errnoText(errno);
        return false;
    }
    return TreeSync(rootFd).run(error);
}
