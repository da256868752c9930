#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

#include <utility>

// Runs handler with the future's result on context's thread once the future has finished. The watcher
// is a child of context, so nothing runs when context is destroyed first; nothing runs either when the
// future ends without a result (cancelled).
template <typename T, typename Handler>
void whenFinished(QObject* context, const QFuture<T>& future, Handler handler)
{
    auto* watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
                     [watcher, handler = std::move(handler)]() mutable {
                         watcher->deleteLater();
                         const QFuture<T> done = watcher->future();
                         if (done.resultCount() > 0) {
                             handler(done.result());
                         }
                     });
    watcher->setFuture(future);
}
