#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPromise>
#include <QThread>

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

// Continuations on a context object's thread that die with the context.
//
// Each call makes a QFutureWatcher that is a child of context; the future's finish reaches it as an
// event on context's thread, so a worker that finishes the future never touches context, and a
// context destroyed first takes the watcher and the handler with it. Call these on context's thread.
// The handler runs from the event loop, also for a future that has finished already.
//
// A future "has a result" when it finished without being cancelled (an exception counts as a
// cancel) and, unless it is a QFuture<void>, holds a value.

namespace WhenFinishedDetail {

template <typename T>
bool hasResult(const QFuture<T>& future)
{
    if constexpr (std::is_void_v<T>)
        return !future.isCanceled();
    else
        return !future.isCanceled() && future.resultCount() > 0;
}

// Calls onFinished with the finished future on context's thread.
template <typename T, typename OnFinished>
void watch(QObject* context, const QFuture<T>& future, OnFinished onFinished)
{
    Q_ASSERT(context && context->thread() == QThread::currentThread());
    auto* watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
                     [watcher, onFinished = std::move(onFinished)]() mutable {
                         watcher->deleteLater();
                         onFinished(watcher->future());
                     });
    watcher->setFuture(future);
}

template <typename T, typename Handler>
struct Invoked
{
    using type = std::invoke_result_t<Handler&, const T&>;
};

template <typename Handler>
struct Invoked<void, Handler>
{
    using type = std::invoke_result_t<Handler&>;
};

// Runs handler on the value (none for void) and hands its result to promise.
template <typename R, typename Handler, typename... Value>
void fulfil(QPromise<R>& promise, Handler& handler, const Value&... value)
{
    if constexpr (std::is_void_v<R>) {
        handler(value...);
    } else {
        promise.addResult(handler(value...));
    }
}

template <typename T, typename Handler, typename Substitute>
auto chain(QObject* context, const QFuture<T>& future, Handler handler, Substitute substitute)
{
    using R = typename Invoked<T, Handler>::type;
    auto promise = std::make_shared<QPromise<R>>();
    promise->start();
    QFuture<R> continued = promise->future();
    // A context destroyed first destroys the last owner of the promise, which cancels its future.
    watch(context, future,
          [promise, handler = std::move(handler), substitute = std::move(substitute)](const QFuture<T>& done) mutable {
              if (hasResult(done)) {
                  if constexpr (std::is_void_v<T>)
                      fulfil(*promise, handler);
                  else
                      fulfil(*promise, handler, done.result());
              } else if constexpr (!std::is_same_v<Substitute, std::nullopt_t>) {
                  fulfil(*promise, handler, substitute);
              } else {
                  promise->future().cancel();
              }
              promise->finish();
          });
    return continued;
}

} // namespace WhenFinishedDetail

// Runs handler with the future's result (no argument for QFuture<void>) on context's thread once the
// future has finished. Nothing runs when context is destroyed first or the future ends without a result.
template <typename T, typename Handler>
void whenFinished(QObject* context, const QFuture<T>& future, Handler handler)
{
    WhenFinishedDetail::watch(context, future, [handler = std::move(handler)](const QFuture<T>& done) mutable {
        if (!WhenFinishedDetail::hasResult(done))
            return;
        if constexpr (std::is_void_v<T>)
            handler();
        else
            handler(done.result());
    });
}

// Like whenFinished(), and the chain goes on: the returned future holds what handler returns. It is
// cancelled when context is destroyed first or the future ends without a result.
template <typename T, typename Handler>
auto continueOn(QObject* context, const QFuture<T>& future, Handler handler)
{
    return WhenFinishedDetail::chain(context, future, std::move(handler), std::nullopt);
}

// The same, but a future that ends without a result hands substitute to handler instead; the returned
// future is then cancelled only when context is destroyed first.
template <typename T, typename Handler>
auto continueOn(QObject* context, const QFuture<T>& future, Handler handler, std::type_identity_t<T> substitute)
{
    return WhenFinishedDetail::chain(context, future, std::move(handler), std::move(substitute));
}
