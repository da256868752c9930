#pragma once

#include "platform/Result.h"
#include "platform/updates/AppcastItem.h"
#include "platform/updates/UpdateError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// Reads the update feed: an RSS 2.0 document whose channel items carry, in the update namespace, a
// <version> and an optional <shortVersionString>, and an <enclosure> with url, length and edSignature
// (base64). Feed text is untrusted: any item that breaks these rules refuses the whole feed, and so
// does an enclosure that UpdateAddress does not allow.
namespace AppcastParser {

QString updateNamespace();

constexpr int maximumDisplayVersionLength = 32;
constexpr qint64 maximumEnclosureLength = qint64(1) << 30;

// The feed's items in document order; a feed without items has none.
Result<QList<AppcastItem>, UpdateError> parse(const QByteArray& feed, const QUrl& feedUrl);

// The item with the highest version when that is newer than currentVersion.
std::optional<AppcastItem> newestUpdate(const QList<AppcastItem>& items, const QString& currentVersion);

// Feed text made fit to show: control and format characters dropped, white space simplified, cut
// with "…" at maximumDisplayVersionLength characters.
QString displayText(const QString& raw);

} // namespace AppcastParser
