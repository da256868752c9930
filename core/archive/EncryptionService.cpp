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
                                                                 SharedSecret password, const QString& comment)
{
    return QtConcurrent::run([from, to, password = std::move(password), comment]() mutable -> ArchiveResult {
        try {
            SecretBytes own = ownCopy(password);
            return BackupCreator::create(from, to, own, comment);
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
                                                                  SharedSecret password,
                                                                  std::function<bool()> beforeSwap)
{
    return QtConcurrent::run(
        [from, to, password = std::move(password), beforeSwap = std::move(beforeSwap)]() mutable -> ArchiveResult {
            try {
                SecretBytes own = ownCopy(password);
                return BackupRestorer::restore(from, to, own, beforeSwap);
            } catch (...) {
                return fail(FinderCommentError(FinderCommentError::archiveCreationFailed));
            }
        });
}

QFuture<ArchiveResult> EncryptionService::restoreEncryptedArchive(const QString& from, const QString& to,
                                                                  const QString& password,
                                                                  std::function<bool()> beforeSwap)
{
    return restoreEncryptedArchive(from, to, std::make_shared<const SecretBytes>(SecretBytes::fromText(password)),
                                   std::move(beforeSwap));
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
