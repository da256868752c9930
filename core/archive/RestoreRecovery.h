#pragma once

#include "core/archive/FinderCommentError.h"

#include <QString>

// What the recovery after an interrupted restore found and did.
struct RestoreRecovery
{
    enum class Outcome {
        nothingToDo,
        cleanedUp, // working items of an unfinished restore removed; Data as it was
        rolledBack, // Data had been moved aside and is back
        completed, // the swap had finished; the old content was removed
        keptAside, // Data was replaced meanwhile; the old content is in keptFolder
    };
    Outcome outcome = Outcome::nothingToDo;
    // The folder in the container that holds Data's content from before the interrupted restore
    // (keptAside only).
    QString keptFolder;
};

using RecoveryResult = Result<RestoreRecovery, FinderCommentError>;
