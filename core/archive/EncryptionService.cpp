#include "core/archive/EncryptionService.h"

#include "core/archive/BackupCreator.h"
#include "core/archive/BackupRestorer.h"

#include <QtConcurrent/QtConcurrentRun>

EncryptionService::EncryptionService() = default;

EncryptionService& EncryptionService::shared()
{
    static EncryptionService instance;
    return instance;
}

QFuture<ArchiveResult> EncryptionService::createEncryptedArchive(const QString& from, const QString& to,
                                                                 const QString& password, const QString& comment)
{
    return QtConcurrent::run([from, to, password, comment]() -> ArchiveResult {
        try {
            return BackupCreator::create(from, to, password, comment);
        } catch (...) {
            return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
        }
    });
}

QFuture<ArchiveResult> EncryptionService::restoreEncryptedArchive(const QString& from, const QString& to,
                                                                  const QString& password,
                                                                  std::function<bool()> beforeSwap)
{
    return QtConcurrent::run([from, to, password, beforeSwap = std::move(beforeSwap)]() -> ArchiveResult {
        try {
            return BackupRestorer::restore(from, to, password, beforeSwap);
        } catch (...) {
            return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
        }
    });
}

QFuture<RecoveryResult> EncryptionService::recoverInterruptedRestore(const QString& containerPath)
{
    return QtConcurrent::run([containerPath]() -> RecoveryResult {
        try {
            return BackupRestorer::recoverInterrupted(containerPath);
        } catch (...) {
            return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
        }
    });
}
