#pragma once

#include "platform/WhenFinished.h"

#include <QFuture>
#include <QObject>
#include <QTest>
#include <QThread>

#include <memory>
#include <optional>

// The answer of a future as a screen hears it: continued with the context object, on the
// context's thread. It stays empty while none came, for good when the future was cancelled or the
// context went away, and when the continuation ran on another thread.
template <typename T>
std::shared_ptr<std::optional<T>> follow(QFuture<T> future, QObject* context)
{
    auto answer = std::make_shared<std::optional<T>>();
    whenFinished(context, future, [answer, context](const T& value) {
        if (QThread::currentThread() == context->thread())
            *answer = value;
    });
    return answer;
}

// Follows the future and runs the event loop until the answer came (or the timeout passed).
template <typename T>
std::optional<T> await(QFuture<T> future, QObject* context, int timeoutMs = 20000)
{
    const auto answer = follow(std::move(future), context);
    if (!QTest::qWaitFor([answer] { return answer->has_value(); }, timeoutMs))
        return std::nullopt;
    return *answer;
}
