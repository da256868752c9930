#pragma once

#include "platform/processes/RunningApplication.h"

#include <QList>
#include <QUrl>

#include <chrono>

// The desktop as the application sees it: the running applications of this user and the opening
// of folders and addresses in their default handlers.
namespace Workspace {

// This user's running processes (not this one, no zombies), read from /proc.
QList<RunningApplication> runningApplications();
// Those whose bundle identifier is the given one: the executable's name, or the Flatpak id.
QList<RunningApplication> runningApplications(const QString& bundleIdentifier);

// Blocks until every one of them has exited, at most for the timeout: call it off the GUI thread.
// True when none of them runs any more.
bool waitForTermination(const QList<RunningApplication>& applications, std::chrono::milliseconds timeout);

// Opens a folder in the file manager or an address in the browser.
bool openURL(const QUrl& url);

} // namespace Workspace
