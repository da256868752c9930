#pragma once

#include <QByteArray>

#include <atomic>

// Failure seams for tests: root ignores file permissions, so failures midway through an
// operation are injected here. Negative values and false mean "no fault".
struct ArchiveFaults
{
    static inline std::atomic<int> failCreateAfterEntries{-1};
    // Throws from inside the packer instead of failing.
    static inline std::atomic<int> throwCreateAfterEntries{-1};
    static inline std::atomic<int> failRestoreAfterEntries{-1};
    static inline std::atomic<bool> failSwap{false};
    static inline std::atomic<bool> failCleanup{false};
    static inline std::atomic<bool> failKeyDerivation{false};
    // Swaps Data in as on a file system without RENAME_EXCHANGE.
    static inline std::atomic<bool> forceSwapFallback{false};
    // Fails the fallback swap at this step: 1 moving Data aside, 2 moving the new content in
    // (and also moving the old content back).
    static inline std::atomic<int> failFallbackStep{0};
    // Fails a restore's folder sync at this point (RestoreJournal::syncFolder), as a disk would
    // after a write error.
    static inline std::atomic<const char*> failFolderSyncAt{nullptr};
    // A fixed time stamp for new backups, in milliseconds since the epoch.
    static inline std::atomic<qint64> fixedStampMSecs{-1};

    // Called at named points of an operation, with a detail such as an entry path; a test may
    // act there (remove a file, start a second restore, end the process).
    using Observer = void (*)(const char* point, const QByteArray& detail);
    static inline std::atomic<Observer> observer{nullptr};
    static void notify(const char* point, const QByteArray& detail = QByteArray())
    {
        if (const Observer call = observer.load())
            call(point, detail);
    }
};
