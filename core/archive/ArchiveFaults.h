#pragma once

#include <atomic>

// Failure seams for tests: root ignores file permissions, so failures midway through an
// operation are injected here. Negative values and false mean "no fault".
struct ArchiveFaults
{
    static inline std::atomic<int> failCreateAfterEntries{-1};
    static inline std::atomic<int> failRestoreAfterEntries{-1};
    static inline std::atomic<bool> failSwap{false};
    static inline std::atomic<bool> failCleanup{false};
};
