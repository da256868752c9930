#include "core/archive/FinderCommentError.h"

const char* FinderCommentError::name(Code code)
{
    switch (code) {
    case commentTooLong:
        return "commentTooLong";
    case failedToAddComment:
        return "failedToAddComment";
    case invalidEncoding:
        return "invalidEncoding";
    case directoryNotFound:
        return "directoryNotFound";
    case archiveCreationFailed:
        return "archiveCreationFailed";
    case encryptedFileNotFound:
        return "encryptedFileNotFound";
    case missingEndOfCentralDirectoryRecord:
        return "missingEndOfCentralDirectoryRecord";
    case decryptionFailed:
        return "decryptionFailed";
    case insufficientPermissions:
        return "insufficientPermissions";
    }
    return "unknown";
}
