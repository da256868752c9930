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

const QString lockedMessage = QStringLiteral("The keyring is locked.");

// Items are matched by their attributes alone, whatever schema wrote them.
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

const QString timeoutMessage = QStringLiteral("The secret store did not answer in time.");

// Calls given up on that have not ended yet. While one hangs, the store is taken as unresponsive
// and further calls fail at once, so that a sequence of calls shares one deadline and no
// threads pile up behind a hung daemon.
std::atomic<int> abandonedCalls{0};

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

// Runs work(cancellable) on a worker thread and waits at most `deadline` for it. A call that
// does not finish in time is cancelled and left to end on its own; its result is dropped.
template <typename R, typename Work>
R bounded(std::chrono::milliseconds deadline, const char* what, Work work)
{
    struct Call
    {
        std::mutex mutex;
        std::condition_variable finished;
        std::optional<R> result;
        bool abandoned = false;
        GCancellable* cancellable = g_cancellable_new();
        ~Call() { g_object_unref(cancellable); }
    };
    if (!hasSessionBus()) {
        return fail(SecretStoreError{QStringLiteral("No D-Bus session bus is running.")});
    }
    if (abandonedCalls.load() > 0) {
        qCDebug(lcDiagnostics) << "Secret store:" << what << "skipped, an earlier call still hangs";
        return fail(SecretStoreError{timeoutMessage});
    }
    auto call = std::make_shared<Call>();
    try {
        std::thread([call, work = std::move(work)]() mutable {
            R result = work(call->cancellable);
            const std::lock_guard lock(call->mutex);
            if (call->abandoned) {
                --abandonedCalls;
                return;
            }
            call->result.emplace(std::move(result));
            call->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return fail(SecretStoreError{QStringLiteral("The secret store could not be reached.")});
    }

    std::unique_lock lock(call->mutex);
    if (!call->finished.wait_for(lock, deadline, [&] { return call->result.has_value(); })) {
        call->abandoned = true;
        ++abandonedCalls;
        g_cancellable_cancel(call->cancellable);
        qCDebug(lcDiagnostics) << "Secret store:" << what << "timed out";
        return fail(SecretStoreError{timeoutMessage});
    }
    return std::move(*call->result);
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
        return fail(SecretStoreError{lockedMessage});
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
            return fail(SecretStoreError{lockedMessage});
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
        return fail(SecretStoreError{lockedMessage});
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
            return fail(SecretStoreError{lockedMessage});
        }
    }
    for (GList* entry = found; entry; entry = entry->next) {
        if (!secret_item_delete_sync(SECRET_ITEM(entry->data), cancellable, &error)) {
            return fail(errorFrom(error));
        }
    }
    return {};
}

} // namespace

LookupResult SecretStore::lookup(const Attributes& attributes, std::chrono::milliseconds deadline)
{
    return bounded<LookupResult>(
        deadline, "lookup", [attributes](GCancellable* cancellable) { return lookupNow(attributes, cancellable); });
}

VoidResult SecretStore::store(const Attributes& attributes, const QString& label, const QString& text,
                              std::chrono::milliseconds deadline)
{
    return bounded<VoidResult>(deadline, "store", [attributes, label, text](GCancellable* cancellable) {
        return storeNow(attributes, label, text, cancellable);
    });
}

VoidResult SecretStore::clear(const Attributes& attributes, std::chrono::milliseconds deadline)
{
    return bounded<VoidResult>(deadline, "clear",
                               [attributes](GCancellable* cancellable) { return clearNow(attributes, cancellable); });
}
