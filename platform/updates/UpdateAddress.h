#pragma once

#include <QString>
#include <QUrl>

// Where the updater may fetch from. The feed's version and file name are not signed, so they must
// come over https; plain http is accepted only from this machine.
namespace UpdateAddress {

// Whether host names this machine: "localhost" or a loopback address literal (127.0.0.0/8, ::1).
// Host names are not resolved.
bool isLoopbackHost(const QString& host);

// Whether the updater may fetch url: https with a host, or http to a loopback host.
bool isAllowed(const QUrl& url);

} // namespace UpdateAddress
