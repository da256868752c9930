#pragma once

#include "platform/Result.h"
#include "platform/secrets/SecretBytes.h"
#include "platform/secrets/SecretStoreError.h"

#include <QMap>
#include <QString>

#include <chrono>
#include <optional>

// Text secrets in the desktop's Secret Service (gnome-keyring, KWallet), found by their attributes
// alone. Every call is bounded: when the store does not answer in time (no session bus, no
// service, a hung daemon) the call fails instead of blocking.
//
// A call that needs a locked item asks the store to unlock it, and the store shows its own
// password prompt. While that prompt is open the deadline is suspended: the call waits for the
// user's answer, however long it takes. A dismissed prompt (or one the store cannot show) leaves
// the call failing with SecretStoreError::locked. One prompt serves every call that needs it:
// calls that come while it is open wait for its answer instead of opening another, and when it
// was dismissed they fail as well.
//
// The calls block their thread for at most the deadline (a change that times out: about three
// times the deadline, see store()), plus the time a prompt stays open; run them off the GUI thread.
namespace SecretStore {

using Attributes = QMap<QString, QString>;

// How long one call may take before it is given up.
inline constexpr std::chrono::milliseconds defaultDeadline{1500};

// The attribute names items may carry.
inline const QString serviceAttribute = QStringLiteral("service");
inline const QString accountAttribute = QStringLiteral("account");

// The deadline of calls that name none: defaultDeadline unless a test shortened it.
std::chrono::milliseconds callDeadline();

// Whether a call may ask the store to unlock the locked items it needs (which shows the store's
// prompt), or fails with SecretStoreError::locked at once.
enum class Unlock { ask, never };

// The text of the first unlocked item that carries all the attributes; nothing when no item does.
// When every such item is locked, they are unlocked first (see Unlock).
Result<std::optional<QString>, SecretStoreError> lookup(const Attributes& attributes, Unlock unlock = Unlock::ask,
                                                        std::chrono::milliseconds deadline = callDeadline());

// lookup() for a secret: its UTF-8 bytes, held only in cleansed buffers (libsecret's own copy is
// overwritten); null when no item matches. Fails with notText where the bytes are not UTF-8.
using SecretLookup = Result<SharedSecret, SecretStoreError>;
SecretLookup lookupSecret(const Attributes& attributes, Unlock unlock = Unlock::ask,
                          std::chrono::milliseconds deadline = callDeadline());

// Updates the text of every item that carries all the attributes; when there is none, adds one
// to the default collection. Locked items, or a locked default collection, are unlocked first.
//
// A store that does not answer in time may still carry out the change. So after a timed-out
// write, once the abandoned call has ended (within another deadline), the item is read back once
// and the result tells what is actually stored: success when it holds the text, else the failure.
Result<void, SecretStoreError> store(const Attributes& attributes, const QString& label, const QString& text,
                                     std::chrono::milliseconds deadline = callDeadline());
// store() for a secret given as UTF-8 bytes; no copy of them outlives the call but libsecret's.
Result<void, SecretStoreError> storeSecret(const Attributes& attributes, const QString& label, const SharedSecret& text,
                                           std::chrono::milliseconds deadline = callDeadline());

// Deletes every item that carries all the attributes, unlocking locked ones first; none stored is
// a success. A timed-out
// removal is read back like a timed-out store(): success when no item is left.
Result<void, SecretStoreError> clear(const Attributes& attributes, std::chrono::milliseconds deadline = callDeadline());

// Test hooks.
// Sets the deadline of calls that name none; zero restores defaultDeadline.
void setCallDeadline(std::chrono::milliseconds deadline);
// The next `count` calls answer only after their caller has given up on them, as a slow store
// does: with `answerLate` the call reaches the store and only its answer is late, with
// `neverArrive` it never reaches the store.
enum class Stall { answerLate, neverArrive };
void stallNextCalls(int count, Stall how);
// The calls waiting now for the user to answer the store's prompt (their own or another's).
int callsWaitingForUser();

} // namespace SecretStore
