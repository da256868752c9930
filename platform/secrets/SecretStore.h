#pragma once

#include "platform/Result.h"

#include <QMap>
#include <QString>

#include <chrono>
#include <optional>

// A failure of the desktop's secret store, with the store's own description.
struct SecretStoreError
{
    QString message;
};

// Text secrets in the desktop's Secret Service (gnome-keyring, KWallet), found by their attributes
// alone. Every call is bounded: when the store does not answer in time (no session bus, no
// service, a hung daemon) the call fails instead of blocking. A locked keyring is never unlocked
// from here, since its prompt could block: it is reported as a failure.
//
// The calls block their thread for at most the deadline (a change that times out: about three
// times the deadline, see store()); run them off the GUI thread.
namespace SecretStore {

using Attributes = QMap<QString, QString>;

// How long one call may take before it is given up.
inline constexpr std::chrono::milliseconds defaultDeadline{1500};

// The attribute names items may carry.
inline const QString serviceAttribute = QStringLiteral("service");
inline const QString accountAttribute = QStringLiteral("account");

// The deadline of calls that name none: defaultDeadline unless a test shortened it.
std::chrono::milliseconds callDeadline();

// The text of the first item that carries all the attributes; nothing when no item does.
Result<std::optional<QString>, SecretStoreError> lookup(const Attributes& attributes,
                                                        std::chrono::milliseconds deadline = callDeadline());

// Updates the text of every item that carries all the attributes; when there is none, adds one
// to the default collection.
//
// A store that does not answer in time may still carry out the change. So after a timed-out
// write, once the abandoned call has ended (within another deadline), the item is read back once
// and the result tells what is actually stored: success when it holds the text, else the failure.
Result<void, SecretStoreError> store(const Attributes& attributes, const QString& label, const QString& text,
                                     std::chrono::milliseconds deadline = callDeadline());

// Deletes every item that carries all the attributes; none stored is a success. A timed-out
// removal is read back like a timed-out store(): success when no item is left.
Result<void, SecretStoreError> clear(const Attributes& attributes, std::chrono::milliseconds deadline = callDeadline());

// The description of a call that did not answer in time (or was skipped because an earlier one
// still hangs).
QString timeoutMessage();

// Test hooks.
// Sets the deadline of calls that name none; zero restores defaultDeadline.
void setCallDeadline(std::chrono::milliseconds deadline);
// The next `count` calls answer only after their caller has given up on them, as a slow store
// does: with `answerLate` the call reaches the store and only its answer is late, with
// `neverArrive` it never reaches the store.
enum class Stall { answerLate, neverArrive };
void stallNextCalls(int count, Stall how);

} // namespace SecretStore
