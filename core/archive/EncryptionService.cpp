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

// The engine's own copy of the password's bytes, which it wipes once the key is derived; the shared
// ones are let go at once. An absent password is the empty one.
SecretBytes ownCopy(SharedSecret& password)
{
    SecretBytes own = password ? SecretBytes(password->data(), password->size()) : SecretBytes();
    password.reset();
    return own;
}

} // namespace

QFuture<ArchiveResult> EncryptionService::createEncryptedArchive(const QString& from, const QString& to,
                                                                 SharedSecret password, const QString& comment,
                                                                 const FaultPlan& faults)
{
    return QtConcurrent::run([from, to, password = std::move(password), comment, faults]() mutable -> ArchiveResult {
        try {
            SecretBytes own = ownCopy(password);
            return BackupCreator::create(from, to, own, comment, faults);
        } catch (...) {
            return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
        }
    });
}

QFuture<ArchiveResult> EncryptionService::createEncryptedArchive(const QString& from, const QString& to,
                                                                 const QString& password, const QString& comment,
                                                                 const FaultPlan& faults)
{
    return createEncryptedArchive(from, to, std::make_shared<const SecretBytes>(SecretBytes::fromText(password)),
                                  comment, faults);
}

QFuture<ArchiveResult> EncryptionService::restoreEncryptedArchive(const QString& from, const QString& to,
                                                                  SharedSecret password,
                                                                  std::function<bool()> beforeSwap,
                                                                  const FaultPlan& faults)
{
    return QtConcurrent::run([from, to, password = std::move(password), beforeSwap = std::move(beforeSwap),
                              faults]() mutable -> ArchiveResult {
        try {
            SecretBytes own = ownCopy(password);
            return BackupRestorer::restore(from, to, own, beforeSwap, faults);
        } catch (...) {
            return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
        }
    });
}

QFuture<ArchiveResult> EncryptionService::restoreEncryptedArchive(const QString& from, const QString& to,
                                                                  const QString& password,
                                                                  std::function<bool()> beforeSwap,
                                                                  const FaultPlan& faults)
{
    return restoreEncryptedArchive(from, to, std::make_shared<const SecretBytes>(SecretBytes::fromText(password)),
                                   std::move(beforeSwap), faults);
}

QFuture<RecoveryResult> EncryptionService::recoverInterruptedRestore(const QString& containerPath,
                                                                     const FaultPlan& faults)
{
    return QtConcurrent::run([containerPath, faults]() -> RecoveryResult {
        try {
            return BackupRestorer::recoverInterrupted(containerPath, faults);
        } catch (...) {
            return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
        }
    });
}
