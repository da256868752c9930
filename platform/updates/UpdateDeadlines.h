#pragma once

#include <QtGlobal>

#include <algorithm>
#include <limits>

// How long the updater waits for its server before it gives a request up, in milliseconds. Each
// deadline counts from the request's start to its last byte, redirects included.
struct UpdateDeadlines
{
    int feed = 60000;
    // A download has at least downloadMinimum, and more in proportion to its length: the time it
    // takes at downloadBytesPerSecond.
    int downloadMinimum = 60000;
    qint64 downloadBytesPerSecond = 128 * 1024;

    int download(qint64 length) const
    {
        const qint64 proportional = downloadBytesPerSecond > 0 ? length * 1000 / downloadBytesPerSecond : 0;
        return int(std::clamp<qint64>(proportional, downloadMinimum, std::numeric_limits<int>::max()));
    }
};
