#pragma once

#include "core/archive/FaultPlan.h"
#include "core/archive/FinderCommentError.h"
#include "core/archive/SecretBytes.h"

#include <QString>

// Packs a folder into an encrypted backup file "Backup_<stamp>.orlwen" in a destination
// folder. The ZIP stream is encrypted on the fly into a hidden temporary file that is renamed
// when complete, so a backup appears under its name whole or not at all and no unencrypted
// byte ever reaches the disk. Success is reported only once the backup is on the disk under its
// name, so that a power loss afterwards cannot take it. A temporary file that an earlier backup
// left behind is removed only when it provably holds no whole backup.
class BackupCreator
{
public:
    // password: its UTF-8 bytes, wiped once the key is derived.
    static ArchiveResult create(const QString& from, const QString& to, SecretBytes& password, const QString& comment,
                                const FaultPlan& faults = FaultPlan::none());
    static ArchiveResult create(const QString& from, const QString& to, const QString& password, const QString& comment,
                                const FaultPlan& faults = FaultPlan::none())
    {
        SecretBytes bytes = SecretBytes::fromText(password);
        return create(from, to, bytes, comment, faults);
    }
};
