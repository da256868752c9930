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
namespace SecretStore {

using Attributes = QMap<QString, QString>;

// How long one call may take before it is given up.
inline constexpr std::chrono::milliseconds defaultDeadline{1500};

// The attribute names items may carry.
inline const QString serviceAttribute = QStringLiteral("service");
inline const QString accountAttribute = QStringLiteral("account");

// The text of the first item that carries all the attributes; nothing when no item does.
Result<std::optional<QString>, SecretStoreError> lookup(const Attributes& attributes,
                                                        std::chrono::milliseconds deadline = defaultDeadline);

// Updates the text of every item that carries all the attributes; when there is none, adds one
// to the default collection.
Result<void, SecretStoreError> store(const Attributes& attributes, const QString& label, const QString& text,
                                     std::chrono::milliseconds deadline = defaultDeadline);

// Deletes every item that carries all the attributes; none stored is a success.
Result<void, SecretStoreError> clear(const Attributes& attributes,
                                     std::chrono::milliseconds deadline = defaultDeadline);

} // namespace SecretStore
