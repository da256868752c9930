#pragma once

#include <QFuture>
#include <QPromise>
#include <QString>

#include <any>
#include <exception>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

// Threads for work that touches a file system which may stop answering: a network folder, a stick
// pulled halfway, a FUSE daemon that hangs. Such work never runs on Qt's global pool: the process
// waits for that pool when it ends, and Qt's own image scaling (a sheet's blur) waits for a free
// thread of it.
//
// Work runs on the lane of a folder: one thread per folder at a time, the folder's work in order, so a
// folder that stalls holds one thread however often it is asked. Work given a key that is still waiting
// or running on its lane is not queued again: the caller gets the pending answer. The threads are
// detached and never joined; isBusy() tells main() to end the process without waiting for them.
class FileSystemLanes
{
public:
    FileSystemLanes() = delete;

    // Runs work on the lane of folder. The future finishes on the lane's thread.
    template <typename Work>
    static auto run(const QString& folder, Work work)
    {
        return run(folder, QString(), std::move(work));
    }

    // The same; with a non-empty key, a call while work of that key waits or runs gets its future.
    template <typename Work>
    static auto run(const QString& folder, const QString& key, Work work)
    {
        using T = std::invoke_result_t<Work&>;
        std::any pending = submit(folder, key, [&work]() -> Submission {
            auto promise = std::make_shared<QPromise<T>>();
            QFuture<T> future = promise->future();
            return {future, [promise, work = std::move(work)]() mutable {
                        promise->start();
                        try {
                            if constexpr (std::is_void_v<T>)
                                work();
                            else
                                promise->addResult(work());
                        } catch (...) {
                            promise->setException(std::current_exception());
                        }
                        // The key is free again before its answer is out: a later call asks afresh.
                        return std::function<void()>([promise] { promise->finish(); });
                    }};
        });
        return std::any_cast<QFuture<T>>(pending);
    }

    // The lane of a path: the path cleaned, without touching the file system.
    static QString laneOf(const QString& folder);

    // Work is waiting or running on some lane.
    static bool isBusy();

private:
    struct Submission
    {
        // The QFuture<T> handed to callers.
        std::any future;
        // Does the work; returns what hands out its answer.
        std::function<std::function<void()>()> task;
    };

    static std::any submit(const QString& folder, const QString& key, const std::function<Submission()>& make);
};
