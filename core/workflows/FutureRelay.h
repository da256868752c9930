#pragma once

#include "core/archive/FinderCommentError.h"
#include "platform/WhenFinished.h"

#include <functional>

// Hands an engine result over to context's thread: the returned future finishes there, after
// onResult has seen the result. A context destroyed while the engine works is never touched; the
// returned future is then cancelled. A cancelled engine future counts as archiveCreationFailed.
inline QFuture<ArchiveResult> relayResult(QObject* context, const QFuture<ArchiveResult>& engineFuture,
                                          std::function<void(const ArchiveResult&)> onResult)
{
    return continueOn(
        context, engineFuture,
        [onResult = std::move(onResult)](const ArchiveResult& result) {
            onResult(result);
            return result;
        },
        ArchiveResult(fail(FinderCommentError(FinderCommentError::archiveCreationFailed))));
}
