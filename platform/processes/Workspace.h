#pragma once

#include "platform/Result.h"
#include "platform/processes/RunningApplication.h"

#include <QFuture>
#include <QList>
#include <QPromise>
#include <QUrl>

#include <chrono>
#include <memory>
#include <system_error>
#include <thread>

// The desktop as the application sees it: the running applications of this user and the opening
// of folders and addresses in their default handlers.
namespace Workspace {

// This user's running processes (not this one, no zombies), read from /proc. Fails, with the
// system's reason, when the process table cannot be listed at all: then nobody can tell what runs.
Result<QList<RunningApplication>, QString> runningApplications();
// Those whose bundle identifier is the given one: the name of the executable file the process runs
// (never the name a process gives itself), or the Flatpak application id.
Result<QList<RunningApplication>, QString> runningApplications(const QString& bundleIdentifier);

// Test hook: the folder read as the process table instead of /proc; empty for /proc.
void setProcessTableForTesting(const QString& folder);

// Why a bounded look-up gave no list.
struct LookupFailure
{
    // False: the process table cannot be listed, for the system's reason. True: the look-up did not end
    // in time (a file system that does not answer); process then names the process it was reading.
    bool timedOut = false;
    QString reason;
    QString process;
};

// As above, but gives up after the timeout. The look-up runs on a thread of its own, which is left
// behind while it hangs, so that neither the caller nor the application's quitting waits for it.
// Blocks: call it off the GUI thread.
Result<QList<RunningApplication>, LookupFailure> runningApplications(const QString& bundleIdentifier,
                                                                     std::chrono::milliseconds timeout);

// Runs work on a new thread of its own, never a pool's, and returns its result as a future; the
// future is cancelled when no thread can be started.
template <typename Work>
auto runOnOwnThread(Work work) -> QFuture<decltype(work())>
{
    using T = decltype(work());
    auto promise = std::make_shared<QPromise<T>>();
    QFuture<T> future = promise->future();
    promise->start();
    try {
        std::thread([promise, work = std::move(work)]() mutable {
            promise->addResult(work());
            promise->finish();
        }).detach();
    } catch (const std::system_error&) {
        promise->future().cancel();
        promise->finish();
    }
    return future;
}

// Blocks until every one of them has exited, at most for the timeout: call it off the GUI thread.
// True when none of them runs any more.
bool waitForTermination(const QList<RunningApplication>& applications, std::chrono::milliseconds timeout);

// Opens a folder in the file manager or an address in the browser.
bool openURL(const QUrl& url);

} // namespace Workspace
