#pragma once

#include "core/archive/FaultPlan.h"
#include "core/archive/FinderCommentError.h"
#include "core/archive/RestoreRecovery.h"
#include "core/archive/SecretBytes.h"

#include <QString>

#include <functional>

// Restores a backup file into the "Data" folder of a container folder. The file is decrypted
// on demand while its ZIP is read, unpacked safely into a working folder beside Data, and
// swapped with Data, so "Data" always holds either its complete old or its complete new
// content. The container stays locked for the whole restore: a second restore into it fails.
class BackupRestorer
{
public:
    // password: its UTF-8 bytes, wiped once the key is derived. beforeSwap, when given, is asked right
    // before Data is replaced: false keeps Data as it is and fails with archiveCreationFailed.
    static ArchiveResult restore(const QString& from, const QString& to, SecretBytes& password,
                                 const std::function<bool()>& beforeSwap = {},
                                 const FaultPlan& faults = FaultPlan::none());
    static ArchiveResult restore(const QString& from, const QString& to, const QString& password,
                                 const std::function<bool()>& beforeSwap = {},
                                 const FaultPlan& faults = FaultPlan::none())
    {
        SecretBytes bytes = SecretBytes::fromText(password);
        return restore(from, to, bytes, beforeSwap, faults);
    }
    // Finishes or undoes a restore that was interrupted in this container, from its journal, and
    // removes what earlier runs left behind; the report says what was done. Success also when
    // there was nothing to do or a running restore holds the container.
    static RecoveryResult recoverInterrupted(const QString& container, const FaultPlan& faults = FaultPlan::none());
};
