#pragma once

#include "core/archive/FaultPlan.h"
#include "core/archive/FinderCommentError.h"
#include "core/archive/RestoreRecovery.h"
#include "core/archive/SecretBytes.h"

#include <QByteArray>
#include <QFuture>
#include <QString>

#include <functional>

// The archive engine: packs a folder into an encrypted backup file and restores one.
// Both operations run on the shared thread pool and never throw; await the future
// (whenFinished / continueOn of platform/WhenFinished.h) to resume on the GUI thread. Each
// operation takes a copy of the fault plan it is given; product code gives none.
class EncryptionService
{
public:
    static EncryptionService& shared();

    // from: the folder to back up; to: the destination folder (created if needed).
    // password: its UTF-8 bytes, cleansed once the last holder lets go. The engine lets go of them as it
    // starts, wipes its own copy once the key is derived, and the key when the operation ends.
    QFuture<ArchiveResult> createEncryptedArchive(const QString& from, const QString& to, SharedSecret password,
                                                  const QString& comment, const FaultPlan& faults = FaultPlan::none());
    QFuture<ArchiveResult> createEncryptedArchive(const QString& from, const QString& to, const QString& password,
                                                  const QString& comment, const FaultPlan& faults = FaultPlan::none());
    // from: the backup file; to: the container folder whose "Data" subfolder is replaced. beforeSwap,
    // when given, is asked on the worker right before Data is replaced: false keeps Data as it was.
    QFuture<ArchiveResult> restoreEncryptedArchive(const QString& from, const QString& to, SharedSecret password,
                                                   std::function<bool()> beforeSwap = {},
                                                   const FaultPlan& faults = FaultPlan::none());
    QFuture<ArchiveResult> restoreEncryptedArchive(const QString& from, const QString& to, const QString& password,
                                                   std::function<bool()> beforeSwap = {},
                                                   const FaultPlan& faults = FaultPlan::none());

    // Call once when the application starts, with the container folder: a restore that was killed
    // while it swapped Data is finished or undone from its journal, and the leftovers of killed
    // runs are removed; every restore does the same first. Where Data was replaced meanwhile,
    // the old content is kept in a visible folder that the report names. Fails with
    // archiveCreationFailed only when the journal could not be read or a content could not be
    // put where it belongs; everything then stays for the next attempt.
    static QFuture<RecoveryResult> recoverInterruptedRestore(const QString& containerPath,
                                                             const FaultPlan& faults = FaultPlan::none());

private:
    EncryptionService();
};
