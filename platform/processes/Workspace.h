#pragma once

#include "platform/Result.h"
#include "platform/processes/RunningApplication.h"

#include <QList>
#include <QUrl>

#include <chrono>

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

// Blocks until every one of them has exited, at most for the timeout: call it off the GUI thread.
// True when none of them runs any more.
bool waitForTermination(const QList<RunningApplication>& applications, std::chrono::milliseconds timeout);

// Opens a folder in the file manager or an address in the browser.
bool openURL(const QUrl& url);

} // namespace Workspace
