#pragma once

#include "platform/Result.h"

#include <QString>

// The failure value of the archive engine, the comment attribute and the workflow models.
struct FinderCommentError
{
    enum Code {
        commentTooLong, // carries truncatedComment: the comment as it was stored
        failedToAddComment,
        invalidEncoding,
        directoryNotFound,
        archiveCreationFailed,
        encryptedFileNotFound,
        missingEndOfCentralDirectoryRecord,
        decryptionFailed,
        insufficientPermissions,
    };

    FinderCommentError(Code c, QString truncated = {})
        : code(c)
        , truncatedComment(std::move(truncated))
    {
    }

    Code code;
    QString truncatedComment;
    // archiveCreationFailed: the entry path ("Data/...") of a file whose name no backup can hold,
    // when that was the cause; empty otherwise.
    QString unstorableName;

    // The case name, for diagnostics and test output.
    static const char* name(Code code);
};

using ArchiveResult = Result<void, FinderCommentError>;
