#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>

// Failures and observation points that a caller hands to one operation of the archive engine:
// root ignores file permissions, so tests inject failures midway through an operation this way.
// Negative values, false and empty mean "no fault"; product code passes none().
struct FaultPlan
{
    int failCreateAfterEntries = -1;
    int failRestoreAfterEntries = -1;
    bool failSwap = false;
    bool failCleanup = false;
    bool failKeyDerivation = false;
    // Swaps Data in as on a file system without RENAME_EXCHANGE.
    bool forceSwapFallback = false;
    // Fails the fallback swap at this step: 1 moving Data aside, 2 moving the new content in
    // (and also moving the old content back).
    int failFallbackStep = 0;
    // Fails a restore's folder sync at this point (RestoreJournal::syncFolder), as a disk would
    // after a write error.
    QByteArray failFolderSyncAt;
    // A fixed time stamp for new backups, in milliseconds since the epoch.
    qint64 fixedStampMSecs = -1;

    // Called at named points of an operation, with a detail such as an entry path; a test may
    // act there (remove a file, start a second restore, end the process).
    std::function<void(const char* point, const QByteArray& detail)> observer;

    void notify(const char* point, const QByteArray& detail = QByteArray()) const
    {
        if (observer)
            observer(point, detail);
    }

    static const FaultPlan& none()
    {
        static const FaultPlan plan;
        return plan;
    }
};
