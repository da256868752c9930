#include "platform/secrets/SecretStore.h"

#include "platform/Diagnostics.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <libsecret/secret.h>

namespace {

using LookupResult = Result<std::optional<QString>, SecretStoreError>;
using VoidResult = Result<void, SecretStoreError>;

// Messages are made where they are used: worker threads may outlive the program's static objects.
QString lockedMessage()
{
    return QStringLiteral("The keyring is locked.");
}

QString unknownOutcomeMessage()
{
    return QStringLiteral("The secret store did not answer in time; the change may have been stored.");
}

// Items are matched by their attributes alone, whatever schema wrote them. Plain data, so worker
// threads may still use it while the program exits.
const SecretSchema* schema()
{
    static const SecretSchema s = [] {
        SecretSchema result{};
        result.name = "de.Tarn-Backup-Manager.Secret";
        result.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        result.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        result.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return result;
    }();
    return &s;
}

GHashTable* toTable(const SecretStore::Attributes& attributes)
{
    GHashTable* table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
        g_hash_table_insert(table, g_strdup(it.key().toUtf8().constData()), g_strdup(it.value().toUtf8().constData()));
    }
    return table;
}

SecretStoreError errorFrom(GError* error)
{
    if (!error) {
        return {QStringLiteral("The secret store failed without a reason.")};
    }
    if (g_dbus_error_is_remote_error(error)) {
        g_dbus_error_strip_remote_error(error);
    }
    return {QString::fromUtf8(error->message)};
}

// What callers and their worker threads share. Workers hold it by shared pointer, so it lives as
// long as the last of them, also past the end of main().
struct Registry
{
    std::mutex mutex;
    std::condition_variable changed;
    // Calls given up on that have not ended yet. While one hangs, the store is taken as
    // unresponsive and further calls fail at once, so that a sequence of calls shares one deadline
    // and no threads pile up behind a hung daemon.
    int hanging = 0;
    // Test hook: calls still to stall, and how.
    int stalls = 0;
    SecretStore::Stall stall = SecretStore::Stall::answerLate;
};

const std::shared_ptr<Registry>& registry()
{
    static const auto shared = std::make_shared<Registry>();
    return shared;
}

std::atomic<std::chrono::milliseconds::rep> deadlineOverride{0};

// Where the bus library would find no session bus, it would try to launch one, which can block
// for a long time with a display set; that is not attempted.
bool hasSessionBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

template <typename R>
struct Bounded
{
    R result;
    // The call was made and given up on: it may still take effect.
    bool timedOut = false;
};

// Runs work(cancellable) on a worker thread and waits at most `deadline` for it. A call that
// does not finish in time is cancelled and left to end on its own; its result is dropped. The
// worker gets everything it uses by value.
template <typename R, typename Work>
Bounded<R> bounded(std::chrono::milliseconds deadline, const char* what, Work work)
{
    struct Call
    {
        std::shared_ptr<Registry> registry;
        std::optional<R> result;
        std::optional<SecretStore::Stall> stall;
        bool abandoned = false;
        GCancellable* cancellable = g_cancellable_new();
        ~Call() { g_object_unref(cancellable); }
    };
    if (!hasSessionBus()) {
        return {fail(SecretStoreError{QStringLiteral("No D-Bus session bus is running.")})};
    }
    auto call = std::make_shared<Call>();
    call->registry = registry();
    Registry& shared = *call->registry;
    {
        const std::lock_guard lock(shared.mutex);
        if (shared.hanging > 0) {
            qCDebug(lcDiagnostics) << "Secret store:" << what << "skipped, an earlier call still hangs";
            return {fail(SecretStoreError{SecretStore::timeoutMessage()})};
        }
        if (shared.stalls > 0) {
            --shared.stalls;
            call->stall = shared.stall;
        }
    }
    try {
        std::thread([call, work = std::move(work)]() mutable {
            Registry& shared = *call->registry;
            std::optional<R> result;
            if (call->stall != SecretStore::Stall::neverArrive) {
                result.emplace(work(call->cancellable));
            }
            std::unique_lock lock(shared.mutex);
            if (call->stall) {
                shared.changed.wait(lock, [&] { return call->abandoned; });
            }
            if (call->abandoned) {
                --shared.hanging;
            } else {
                call->result = std::move(result);
            }
            shared.changed.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return {fail(SecretStoreError{QStringLiteral("The secret store could not be reached.")})};
    }

    std::unique_lock lock(shared.mutex);
    if (!shared.changed.wait_for(lock, deadline, [&] { return call->result.has_value(); })) {
        call->abandoned = true;
        ++shared.hanging;
        shared.changed.notify_all();
        lock.unlock();
        g_cancellable_cancel(call->cancellable);
        qCDebug(lcDiagnostics) << "Secret store:" << what << "timed out";
        return {fail(SecretStoreError{SecretStore::timeoutMessage()}), true};
    }
    return {std::move(*call->result)};
}

// Waits at most `deadline` for every call given up on to end.
bool waitUntilSettled(std::chrono::milliseconds deadline)
{
    const std::shared_ptr<Registry> shared = registry();
    std::unique_lock lock(shared->mutex);
    return shared->changed.wait_for(lock, deadline, [&] { return shared->hanging == 0; });
}

SecretService* openService(GCancellable* cancellable, GError** error)
{
    return secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, cancellable, error);
}

LookupResult lookupNow(const SecretStore::Attributes& attributes, GCancellable* cancellable)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(SecretService) service = openService(cancellable, &error);
    if (!service) {
        return fail(errorFrom(error));
    }
    g_autoptr(GHashTable) table = toTable(attributes);
    // No unlocking: that could raise a prompt and block.
    const auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS);
    GList* items = secret_service_search_sync(service, schema(), table, flags, cancellable, &error);
    if (error) {
        return fail(errorFrom(error));
    }
    g_autolist(SecretItem) found = items;

    bool locked = false;
    for (GList* entry = found; entry; entry = entry->next) {
        SecretItem* item = SECRET_ITEM(entry->data);
        if (secret_item_get_locked(item)) {
            locked = true;
            continue;
        }
        g_autoptr(SecretValue) value = secret_item_get_secret(item);
        if (!value) {
            return fail(SecretStoreError{QStringLiteral("The secret could not be loaded.")});
        }
        gsize length = 0;
        const gchar* data = secret_value_get(value, &length);
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder.decode(QByteArrayView(data, static_cast<qsizetype>(length)));
        if (decoder.hasError()) {
            return fail(SecretStoreError{QStringLiteral("failed to convert data to string")});
        }
        return std::optional<QString>(std::move(text));
    }
    if (locked) {
        return fail(SecretStoreError{lockedMessage()});
    }
    return std::optional<QString>();
}

VoidResult storeNow(const SecretStore::Attributes& attributes, const QString& label, const QString& text,
                    GCancellable* cancellable)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(SecretService) service = openService(cancellable, &error);
    if (!service) {
        return fail(errorFrom(error));
    }
    g_autoptr(GHashTable) table = toTable(attributes);
    QByteArray bytes = text.toUtf8();
    g_autoptr(SecretValue) value = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
    bytes.fill('\0');

    // Items that match already are updated in place, whoever wrote them, so that a later
    // lookup cannot find an older text.
    GList* items = secret_service_search_sync(service, schema(), table, SECRET_SEARCH_ALL, cancellable, &error);
    if (error) {
        return fail(errorFrom(error));
    }
    g_autolist(SecretItem) found = items;
    for (GList* entry = found; entry; entry = entry->next) {
        if (secret_item_get_locked(SECRET_ITEM(entry->data))) {
            return fail(SecretStoreError{lockedMessage()});
        }
    }
    if (found) {
        for (GList* entry = found; entry; entry = entry->next) {
            if (!secret_item_set_secret_sync(SECRET_ITEM(entry->data), value, cancellable, &error)) {
                return fail(errorFrom(error));
            }
        }
        return {};
    }

    g_autoptr(SecretCollection) collection = secret_collection_for_alias_sync(
        service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, cancellable, &error);
    if (error) {
        return fail(errorFrom(error));
    }
    if (!collection) {
        return fail(SecretStoreError{QStringLiteral("There is no default keyring.")});
    }
    if (secret_collection_get_locked(collection)) {
        return fail(SecretStoreError{lockedMessage()});
    }
    const gchar* path = g_dbus_proxy_get_object_path(G_DBUS_PROXY(collection));
    if (!secret_service_store_sync(service, schema(), table, path, label.toUtf8().constData(), value, cancellable,
                                   &error)) {
        return fail(errorFrom(error));
    }
    return {};
}

VoidResult clearNow(const SecretStore::Attributes& attributes, GCancellable* cancellable)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(SecretService) service = openService(cancellable, &error);
    if (!service) {
        return fail(errorFrom(error));
    }
    g_autoptr(GHashTable) table = toTable(attributes);
    GList* items = secret_service_search_sync(service, schema(), table, SECRET_SEARCH_ALL, cancellable, &error);
    if (error) {
        return fail(errorFrom(error));
    }
    g_autolist(SecretItem) found = items;
    for (GList* entry = found; entry; entry = entry->next) {
        if (secret_item_get_locked(SECRET_ITEM(entry->data))) {
            return fail(SecretStoreError{lockedMessage()});
        }
    }
    for (GList* entry = found; entry; entry = entry->next) {
        if (!secret_item_delete_sync(SECRET_ITEM(entry->data), cancellable, &error)) {
            return fail(errorFrom(error));
        }
    }
    return {};
}

// After a change that timed out: once the abandoned call has ended, reads the item back and
// reports the change as made when `isDone` holds for what is stored.
template <typename IsDone>
VoidResult verifiedChange(Bounded<VoidResult> attempt, const SecretStore::Attributes& attributes,
                          std::chrono::milliseconds deadline, const char* what, IsDone isDone)
{
    if (!attempt.timedOut) {
        return std::move(attempt.result);
    }
    if (!waitUntilSettled(deadline)) {
        qCDebug(lcDiagnostics) << "Secret store:" << what << "still hangs, its outcome is unknown";
        return fail(SecretStoreError{unknownOutcomeMessage()});
    }
    const auto stored = bounded<LookupResult>(
        deadline, "read-back", [attributes](GCancellable* cancellable) { return lookupNow(attributes, cancellable); });
    if (!stored.result) {
        qCDebug(lcDiagnostics) << "Secret store:" << what << "could not be read back";
        return fail(SecretStoreError{unknownOutcomeMessage()});
    }
    if (isDone(*stored.result)) {
        qCDebug(lcDiagnostics) << "Secret store:" << what << "answered late and took effect";
        return {};
    }
    qCDebug(lcDiagnostics) << "Secret store:" << what << "answered late and left the item as it was";
    return std::move(attempt.result);
}

} // namespace

std::chrono::milliseconds SecretStore::callDeadline()
{
    const auto override = deadlineOverride.load();
    return override > 0 ? std::chrono::milliseconds(override) : defaultDeadline;
}

QString SecretStore::timeoutMessage()
{
    return QStringLiteral("The secret store did not answer in time.");
}

void SecretStore::setCallDeadline(std::chrono::milliseconds deadline)
{
    deadlineOverride.store(deadline.count());
}

void SecretStore::stallNextCalls(int count, Stall how)
{
    const std::shared_ptr<Registry> shared = registry();
    const std::lock_guard lock(shared->mutex);
    shared->stalls = count;
    shared->stall = how;
}

LookupResult SecretStore::lookup(const Attributes& attributes, std::chrono::milliseconds deadline)
{
    return bounded<LookupResult>(deadline, "lookup",
                                 [attributes](GCancellable* cancellable) { return lookupNow(attributes, cancellable); })
        .result;
}

VoidResult SecretStore::store(const Attributes& attributes, const QString& label, const QString& text,
                              std::chrono::milliseconds deadline)
{
    auto attempt = bounded<VoidResult>(deadline, "store", [attributes, label, text](GCancellable* cancellable) {
        return storeNow(attributes, label, text, cancellable);
    });
    return verifiedChange(std::move(attempt), attributes, deadline, "store",
                          [&text](const std::optional<QString>& stored) { return stored == text; });
}

VoidResult SecretStore::clear(const Attributes& attributes, std::chrono::milliseconds deadline)
{
    auto attempt = bounded<VoidResult>(
        deadline, "clear", [attributes](GCancellable* cancellable) { return clearNow(attributes, cancellable); });
    return verifiedChange(std::move(attempt), attributes, deadline, "clear",
                          [](const std::optional<QString>& stored) { return !stored.has_value(); });
}
