#pragma once

#include "core/archive/FinderCommentError.h"

#include <QByteArray>
#include <QFuture>
#include <QString>

// The archive engine: packs a folder into an encrypted backup file and restores one.
// Both operations run on the shared thread pool and never throw; await the future
// (whenFinished / continueOn of platform/WhenFinished.h) to resume on the GUI thread.
class EncryptionService
{
public:
    static EncryptionService& shared();

    // from: the folder to back up; to: the destination folder (created if needed).
    QFuture<ArchiveResult> createEncryptedArchive(const QString& from, const QString& to, const QString& password,
                                                  const QString& comment);
    // from: the backup file; to: the container folder whose "Data" subfolder is replaced.
    QFuture<ArchiveResult> restoreEncryptedArchive(const QString& from, const QString& to, const QString& password);

    // Call once when the application starts, with the container folder: a restore that was killed
    // while it swapped Data can leave the container without Data; this brings the old Data back
    // and removes the leftovers of killed runs. Every restore does the same first. Fails with
    // archiveCreationFailed only when Data is missing and could not be put back.
    static QFuture<ArchiveResult> recoverInterruptedRestore(const QString& containerPath);

private:
    EncryptionService();
};
