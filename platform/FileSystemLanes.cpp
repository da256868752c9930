#include "platform/FileSystemLanes.h"

#include "platform/Diagnostics.h"

#include <QDir>
#include <QHash>

#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include <pthread.h>

namespace {

struct Task
{
    // Lane and key, or empty.
    QString pendingKey;
    std::function<std::function<void()>()> work;
};

struct Lane
{
    std::deque<Task> tasks;
    bool hasThread = false;
};

struct State
{
    std::mutex mutex;
    // Lanes with work waiting or running.
    QHash<QString, Lane> lanes;
    // The futures of keyed work not yet answered.
    QHash<QString, std::any> pending;
};

// Never destroyed: a lane thread stuck in the kernel may still use it while the process ends.
State& state()
{
    static State* const instance = new State;
    return *instance;
}

void drain(const QString& lane)
{
    ::pthread_setname_np(::pthread_self(), "FileSystemLane");
    State& s = state();
    for (;;) {
        Task next;
        {
            std::lock_guard lock(s.mutex);
            Lane& own = s.lanes[lane];
            if (own.tasks.empty()) {
                s.lanes.remove(lane);
                return;
            }
            next = std::move(own.tasks.front());
            own.tasks.pop_front();
        }
        const std::function<void()> publish = next.work();
        if (!next.pendingKey.isEmpty()) {
            std::lock_guard lock(s.mutex);
            s.pending.remove(next.pendingKey);
        }
        publish();
    }
}

} // namespace

QString FileSystemLanes::laneOf(const QString& folder)
{
    return QDir::cleanPath(folder);
}

bool FileSystemLanes::isBusy()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return !s.lanes.isEmpty();
}

std::any FileSystemLanes::submit(const QString& folder, const QString& key, const std::function<Submission()>& make)
{
    const QString lane = laneOf(folder);
    const QString pendingKey = key.isEmpty() ? QString() : lane + QChar(0) + key;
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!pendingKey.isEmpty()) {
        const auto found = s.pending.constFind(pendingKey);
        if (found != s.pending.cend())
            return *found;
    }
    Submission submission = make();
    if (!pendingKey.isEmpty())
        s.pending.insert(pendingKey, submission.future);
    Lane& own = s.lanes[lane];
    own.tasks.push_back({pendingKey, std::move(submission.task)});
    if (!own.hasThread) {
        try {
            std::thread(drain, lane).detach();
            own.hasThread = true;
        } catch (const std::system_error& error) {
            // The work waits for the next call on this lane, which tries again.
            qCDebug(lcDiagnostics) << "Не удалось запустить поток для" << lane << error.what();
        }
    }
    return submission.future;
}
