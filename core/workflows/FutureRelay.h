#pragma once

#include "core/archive/FinderCommentError.h"

#include <QFutureWatcher>
#include <QPromise>

#include <functional>
#include <memory>

// Hands an engine result over to context's thread: the returned future finishes there, after
// onResult has seen the result. The watcher is a child of context, so a context destroyed while
// the engine works is never touched; the returned future is then cancelled. A cancelled engine
// future counts as archiveCreationFailed.
inline QFuture<ArchiveResult> relayResult(QObject* context, const QFuture<ArchiveResult>& engineFuture,
                                          std::function<void(const ArchiveResult&)> onResult)
{
    auto promise = std::make_shared<QPromise<ArchiveResult>>();
    promise->start();
    QFuture<ArchiveResult> relayed = promise->future();

    auto* watcher = new QFutureWatcher<ArchiveResult>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
                     [watcher, promise, onResult = std::move(onResult)] {
                         const QFuture<ArchiveResult> done = watcher->future();
                         const ArchiveResult result = done.resultCount() > 0
                             ? done.result()
                             : ArchiveResult(fail(FinderCommentError(FinderCommentError::archiveCreationFailed)));
                         onResult(result);
                         promise->addResult(result);
                         promise->finish();
                         watcher->deleteLater();
                     });
    watcher->setFuture(engineFuture);
    return relayed;
}
