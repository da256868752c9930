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

namespace {

// The password's bytes for the engine; an absent one is the empty password.
SharedSecret orEmpty(SharedSecret password)
{
    return password ? std::move(password) : std::make_shared<const SecretBytes>();
}

} // namespace

QFuture<ArchiveResult> EncryptionService::createEncryptedArchive(const QString& from, const QString& to,
                                                                 SharedSecret password, const QString& comment)
{
    return QtConcurrent::run([from, to, password = orEmpty(std::move(password)), comment]() -> ArchiveResult {
        try {
            return BackupCreator::create(from, to, *password, comment);
        } catch (...) {
            return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
        }
    });
}

QFuture<ArchiveResult> EncryptionService::createEncryptedArchive(const QString& from, const QString& to,
                                                                 const QString& password, const QString& comment)
{
    return createEncryptedArchive(from, to, std::make_shared<const SecretBytes>(SecretBytes::fromText(password)),
                                  comment);
}

QFuture<ArchiveResult> EncryptionService::restoreEncryptedArchive(const QString& from, const QString& to,
                                                                  SharedSecret password)
{
    return QtConcurrent::run([from, to, password = orEmpty(std::move(password))]() -> ArchiveResult {
        try {
            return BackupRestorer::restore(from, to, *password);
        } catch (...) {
            return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
        }
    });
}

QFuture<ArchiveResult> EncryptionService::restoreEncryptedArchive(const QString& from, const QString& to,
                                                                  const QString& password)
{
    return restoreEncryptedArchive(from, to, std::make_shared<const SecretBytes>(SecretBytes::fromText(password)));
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
