#pragma once

#include <QtGlobal>

// How long the updater waits for its server, in milliseconds. A feed request ends at its deadline,
// counted from its start to its last byte, redirects included. Every request ends when no byte
// arrives for the stall time; a download has no fixed deadline but ends when, over any window of
// speedWindow, it receives less than minimumBytesPerSecond on average: its time follows the speed
// actually seen, not the length the feed declares.
struct UpdateDeadlines
{
    int feed = 60000;
    int stall = 30000;
    int speedWindow = 60000;
    qint64 minimumBytesPerSecond = 2048;
};
