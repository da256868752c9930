#include "platform/secrets/SecretStore.h"

#include "platform/Diagnostics.h"

#include <QFileInfo>
#include <QUtf8StringView>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <string.h>

#include <libsecret/secret.h>

namespace {

using LookupResult = Result<std::optional<QString>, SecretStoreError>;
using VoidResult = Result<void, SecretStoreError>;
using Clock = std::chrono::steady_clock;

SecretStoreError storeError(SecretStoreError::Code code, QString detail = {})
{
    return {code, std::move(detail)};
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
        return storeError(SecretStoreError::failed);
    }
    SecretStoreError::Code code = SecretStoreError::failed;
    if (g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED)) {
        code = SecretStoreError::locked;
    } else if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
               g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER)) {
        code = SecretStoreError::noService;
    } else if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
               g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT) ||
               g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) {
        code = SecretStoreError::timedOut;
    }
    if (g_dbus_error_is_remote_error(error)) {
        g_dbus_error_strip_remote_error(error);
    }
    return storeError(code, QString::fromUtf8(error->message));
}

class Worker;

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
    // A call is asking the store to unlock (its worker), and whether the store's prompt is open for
    // it.
    bool unlocking = false;
    Worker* unlocker = nullptr;
    bool promptOpen = false;
    // Calls whose caller waits for the user's answer to the prompt.
    int waitingForUser = 0;
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

// One call as its worker and its caller share it; the fields below `registry` are guarded by the
// registry's mutex.
template <typename R>
struct Call
{
    std::shared_ptr<Registry> registry;
    std::optional<R> result;
    std::optional<SecretStore::Stall> stall;
    bool abandoned = false;
    // The user is answering the store's prompt: the caller waits without a deadline.
    bool waitsForUser = false;
    // The wait for the user has ended: the caller's deadline starts afresh.
    bool restartDeadline = false;
    GCancellable* cancellable = g_cancellable_new();
    ~Call() { g_object_unref(cancellable); }
};

// What the work of one call may use besides its arguments.
class Worker
{
public:
    Worker(Registry& registry, GCancellable* cancellable, bool& abandoned, bool& waitsForUser, bool& restartDeadline)
        : m_registry(registry)
        , m_cancellable(cancellable)
        , m_abandoned(abandoned)
        , m_waitsForUser(waitsForUser)
        , m_restartDeadline(restartDeadline)
    {
    }

    GCancellable* cancellable() const { return m_cancellable; }

    // Asks the store to unlock `objects` (items or collections), or, while another call does so,
    // waits for that call's prompt instead of opening a second one. Returns once the keyring was
    // unlocked or the prompt was dismissed; the caller learns which by looking again.
    void unlock(SecretService* service, GList* objects)
    {
        {
            std::unique_lock lock(m_registry.mutex);
            if (m_registry.unlocking) {
                while (m_registry.unlocking && !m_abandoned) {
                    setWaitsForUser(m_registry.promptOpen);
                    m_registry.changed.wait(lock);
                }
                setWaitsForUser(false);
                return;
            }
            m_registry.unlocking = true;
            m_registry.unlocker = this;
        }
        g_autoptr(GError) error = nullptr;
        const int unlocked = secret_service_unlock_sync(service, objects, m_cancellable, nullptr, &error);
        qCDebug(lcDiagnostics) << "Secret store: unlock gave" << unlocked << "objects"
                               << (error ? error->message : "without error");
        const std::lock_guard lock(m_registry.mutex);
        m_registry.unlocking = false;
        m_registry.unlocker = nullptr;
        m_registry.promptOpen = false;
        setWaitsForUser(false);
        m_registry.changed.notify_all();
    }

    // The store is about to open its prompt for this call; false when the caller has given the call
    // up meanwhile, and so may cancel it: the prompt then never opens. With the registry's mutex held.
    bool promptOpened()
    {
        if (m_abandoned) {
            return false;
        }
        m_registry.promptOpen = true;
        setWaitsForUser(true);
        m_registry.changed.notify_all();
        return true;
    }

private:
    // With the registry's mutex held.
    void setWaitsForUser(bool waits)
    {
        if (m_waitsForUser == waits) {
            return;
        }
        m_waitsForUser = waits;
        m_restartDeadline = !waits;
        m_registry.waitingForUser += waits ? 1 : -1;
        m_registry.changed.notify_all();
    }

    Registry& m_registry;
    GCancellable* m_cancellable;
    bool& m_abandoned;
    bool& m_waitsForUser;
    bool& m_restartDeadline;
};

// Runs work(worker) on a worker thread and waits at most `deadline` for it, not counting the time
// the store's prompt is open. A call that does not finish in time is cancelled and left to end on
// its own; its result is dropped. The worker gets everything it uses by value.
template <typename R, typename Work>
Bounded<R> bounded(std::chrono::milliseconds deadline, const char* what, Work work)
{
    if (!hasSessionBus()) {
        return {fail(storeError(SecretStoreError::noSessionBus))};
    }
    auto call = std::make_shared<Call<R>>();
    call->registry = registry();
    Registry& shared = *call->registry;
    {
        const std::lock_guard lock(shared.mutex);
        if (shared.hanging > 0) {
            qCDebug(lcDiagnostics) << "Secret store:" << what << "skipped, an earlier call still hangs";
            return {fail(storeError(SecretStoreError::timedOut, QStringLiteral("an earlier call still hangs")))};
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
                Worker worker(shared, call->cancellable, call->abandoned, call->waitsForUser, call->restartDeadline);
                result.emplace(work(worker));
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
    } catch (const std::system_error& error) {
        return {fail(storeError(SecretStoreError::failed, QString::fromLocal8Bit(error.what())))};
    }

    std::unique_lock lock(shared.mutex);
    Clock::time_point until = Clock::now() + deadline;
    while (!call->result) {
        // A call whose prompt is open is never cancelled: cancelling dismisses the prompt over
        // D-Bus, and gnome-keyring 42 aborts on the dismissal of an unlock prompt in progress.
        if (call->waitsForUser) {
            shared.changed.wait(lock);
            continue;
        }
        if (std::exchange(call->restartDeadline, false)) {
            until = Clock::now() + deadline;
        }
        if (shared.changed.wait_until(lock, until) == std::cv_status::timeout && !call->result && !call->waitsForUser &&
            !call->restartDeadline) {
            call->abandoned = true;
            ++shared.hanging;
            shared.changed.notify_all();
            lock.unlock();
            g_cancellable_cancel(call->cancellable);
            qCDebug(lcDiagnostics) << "Secret store:" << what << "timed out";
            return {fail(storeError(SecretStoreError::timedOut)), true};
        }
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

// The Secret Service as libsecret's own class, but telling the call's worker when the store opens
// its prompt, so that the caller stops counting the deadline.
struct TarnPromptingService
{
    SecretService parent;
};

struct TarnPromptingServiceClass
{
    SecretServiceClass parent;
};

SecretServiceClass* libsecretServiceClass = nullptr;

// A prompt opens only for the one call that unlocks at a time, and only while its caller still waits:
// a call given up on is cancelled, and cancelling an open prompt dismisses it.
bool notePrompt()
{
    const std::shared_ptr<Registry> shared = registry();
    const std::lock_guard lock(shared->mutex);
    return !shared->unlocker || shared->unlocker->promptOpened();
}

GVariant* promptSync(SecretService* self, SecretPrompt* prompt, GCancellable* cancellable,
                     const GVariantType* returnType, GError** error)
{
    if (!notePrompt()) {
        g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_CANCELLED, "the call was given up before its prompt");
        return nullptr;
    }
    return libsecretServiceClass->prompt_sync(self, prompt, cancellable, returnType, error);
}

void promptAsync(SecretService* self, SecretPrompt* prompt, const GVariantType* returnType, GCancellable* cancellable,
                 GAsyncReadyCallback callback, gpointer userData)
{
    // Our calls unlock synchronously on their workers; this path only keeps the note.
    notePrompt();
    libsecretServiceClass->prompt_async(self, prompt, returnType, cancellable, callback, userData);
}

void initPromptingServiceClass(gpointer klass, gpointer)
{
    libsecretServiceClass = static_cast<SecretServiceClass*>(g_type_class_peek_parent(klass));
    auto* service = static_cast<SecretServiceClass*>(klass);
    service->prompt_sync = promptSync;
    service->prompt_async = promptAsync;
}

GType promptingServiceType()
{
    static const GType type =
        g_type_register_static_simple(SECRET_TYPE_SERVICE, "TarnPromptingService", sizeof(TarnPromptingServiceClass),
                                      initPromptingServiceClass, sizeof(TarnPromptingService), nullptr, GTypeFlags(0));
    return type;
}

// The service connection that every call shares, opened by the first call that needs it and
// opened again once its bus connection has closed. A reference for the caller.
SecretService* openService(Worker& worker, GError** error)
{
    // Never destroyed: worker threads may still open a call while the program exits.
    static auto* mutex = new std::mutex;
    static SecretService* shared = nullptr;
    {
        const std::lock_guard lock(*mutex);
        if (shared && !g_dbus_connection_is_closed(g_dbus_proxy_get_connection(G_DBUS_PROXY(shared)))) {
            return SECRET_SERVICE(g_object_ref(shared));
        }
    }
    SecretService* opened = secret_service_open_sync(promptingServiceType(), nullptr, SECRET_SERVICE_OPEN_SESSION,
                                                     worker.cancellable(), error);
    if (!opened) {
        return nullptr;
    }
    const std::lock_guard lock(*mutex);
    if (shared && !g_dbus_connection_is_closed(g_dbus_proxy_get_connection(G_DBUS_PROXY(shared)))) {
        // Another call was quicker.
        g_object_unref(opened);
        return SECRET_SERVICE(g_object_ref(shared));
    }
    if (shared) {
        g_object_unref(shared);
    }
    // Kept for the life of the process, like libsecret's own shared service.
    shared = SECRET_SERVICE(g_object_ref(opened));
    return opened;
}

// The items of one search, owned.
class Items
{
public:
    Items() = default;
    explicit Items(GList* list)
        : m_list(list)
    {
    }
    Items(Items&& other) noexcept
        : m_list(std::exchange(other.m_list, nullptr))
    {
    }
    Items& operator=(Items&& other) noexcept
    {
        std::swap(m_list, other.m_list);
        return *this;
    }
    ~Items() { g_list_free_full(m_list, g_object_unref); }

    GList* list() const { return m_list; }
    bool isEmpty() const { return !m_list; }
    bool anyLocked() const { return count(true) > 0; }
    bool anyUnlocked() const { return count(false) > 0; }

private:
    int count(bool locked) const
    {
        int n = 0;
        for (GList* entry = m_list; entry; entry = entry->next) {
            n += bool(secret_item_get_locked(SECRET_ITEM(entry->data))) == locked ? 1 : 0;
        }
        return n;
    }

    GList* m_list = nullptr;
};

// Which of the matching items a call needs unlocked.
enum class Need { any, all };

Result<Items, SecretStoreError> search(SecretService* service, GHashTable* table, SecretSearchFlags flags,
                                       Worker& worker)
{
    g_autoptr(GError) error = nullptr;
    GList* found = secret_service_search_sync(service, schema(), table, flags, worker.cancellable(), &error);
    Items items(found);
    if (error) {
        return fail(errorFrom(error));
    }
    return items;
}

bool usable(const Items& items, Need need)
{
    return need == Need::any ? !items.anyLocked() || items.anyUnlocked() : !items.anyLocked();
}

// The matching items with the ones the call needs unlocked. Locked ones are unlocked through the
// store's prompt when `mayPrompt`; when they stay locked, the call fails with `locked`.
Result<Items, SecretStoreError> searchUnlocked(SecretService* service, const SecretStore::Attributes& attributes,
                                               SecretSearchFlags flags, Need need, bool mayPrompt, Worker& worker)
{
    g_autoptr(GHashTable) table = toTable(attributes);
    auto items = search(service, table, flags, worker);
    if (!items || usable(*items, need)) {
        return items;
    }
    if (!mayPrompt) {
        return fail(storeError(SecretStoreError::locked));
    }
    GList* locked = nullptr;
    for (GList* entry = items->list(); entry; entry = entry->next) {
        if (secret_item_get_locked(SECRET_ITEM(entry->data))) {
            locked = g_list_prepend(locked, entry->data);
        }
    }
    worker.unlock(service, locked);
    g_list_free(locked);
    // The prompt's answer shows in a fresh search.
    items = search(service, table, flags, worker);
    if (items && !usable(*items, need)) {
        return fail(storeError(SecretStoreError::locked));
    }
    return items;
}

using SecretResult = Result<std::optional<SecretBytes>, SecretStoreError>;

// The bytes of the first unlocked matching item. libsecret's own copy of them is overwritten here:
// the items and their values are ours alone and go right after.
SecretResult lookupBytes(const SecretStore::Attributes& attributes, bool mayPrompt, Worker& worker)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(SecretService) service = openService(worker, &error);
    if (!service) {
        return fail(errorFrom(error));
    }
    const auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS);
    const auto items = searchUnlocked(service, attributes, flags, Need::any, mayPrompt, worker);
    if (!items) {
        return fail(items.error());
    }
    SecretResult found = std::optional<SecretBytes>();
    for (GList* entry = items->list(); entry; entry = entry->next) {
        SecretItem* item = SECRET_ITEM(entry->data);
        if (secret_item_get_locked(item)) {
            continue;
        }
        g_autoptr(SecretValue) value = secret_item_get_secret(item);
        if (!value) {
            found = fail(storeError(SecretStoreError::failed, QStringLiteral("The secret could not be loaded.")));
            break;
        }
        gsize length = 0;
        const gchar* data = secret_value_get(value, &length);
        SecretBytes bytes(data, length);
        explicit_bzero(const_cast<gchar*>(data), length);
        if (!QUtf8StringView(bytes.chars(), qsizetype(bytes.size())).isValidUtf8()) {
            found = fail(storeError(SecretStoreError::notText, QStringLiteral("failed to convert data to string")));
        } else {
            found = std::optional<SecretBytes>(std::move(bytes));
        }
        break;
    }
    // Values of other matching items were loaded as well.
    for (GList* entry = items->list(); entry; entry = entry->next) {
        g_autoptr(SecretValue) value = secret_item_get_secret(SECRET_ITEM(entry->data));
        if (value) {
            gsize length = 0;
            const gchar* data = secret_value_get(value, &length);
            explicit_bzero(const_cast<gchar*>(data), length);
        }
    }
    return found;
}

LookupResult lookupNow(const SecretStore::Attributes& attributes, bool mayPrompt, Worker& worker)
{
    auto bytes = lookupBytes(attributes, mayPrompt, worker);
    if (!bytes) {
        return fail(bytes.error());
    }
    if (!bytes->has_value()) {
        return std::optional<QString>();
    }
    const SecretBytes& utf8 = **bytes;
    return std::optional<QString>(QString::fromUtf8(utf8.chars(), qsizetype(utf8.size())));
}

// The default collection, unlocked through the store's prompt when it is locked.
Result<SecretCollection*, SecretStoreError> defaultCollection(SecretService* service, Worker& worker)
{
    for (bool unlockAsked = false;; unlockAsked = true) {
        g_autoptr(GError) error = nullptr;
        SecretCollection* collection = secret_collection_for_alias_sync(
            service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, worker.cancellable(), &error);
        if (error) {
            g_clear_object(&collection);
            return fail(errorFrom(error));
        }
        if (!collection) {
            return fail(storeError(SecretStoreError::noDefaultKeyring));
        }
        if (!secret_collection_get_locked(collection)) {
            return collection;
        }
        if (unlockAsked) {
            g_object_unref(collection);
            return fail(storeError(SecretStoreError::locked));
        }
        GList objects{collection, nullptr, nullptr};
        worker.unlock(service, &objects);
        g_object_unref(collection);
    }
}

VoidResult storeNow(const SecretStore::Attributes& attributes, const QString& label, const SecretBytes& text,
                    Worker& worker)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(SecretService) service = openService(worker, &error);
    if (!service) {
        return fail(errorFrom(error));
    }
    g_autoptr(SecretValue) value = secret_value_new(text.chars(), gssize(text.size()), "text/plain");
    // libsecret's copy is in its secure memory, which it cleanses, unless that memory could not be
    // locked: it is overwritten here as well once the value has gone out (it and the items that cache
    // it are ours alone).
    struct Overwrite
    {
        SecretValue* value;
        ~Overwrite()
        {
            gsize length = 0;
            const gchar* data = secret_value_get(value, &length);
            explicit_bzero(const_cast<gchar*>(data), length);
        }
    } overwrite{value};

    // Items that match already are updated in place, whoever wrote them, so that a later
    // lookup cannot find an older text.
    const auto items = searchUnlocked(service, attributes, SECRET_SEARCH_ALL, Need::all, true, worker);
    if (!items) {
        return fail(items.error());
    }
    if (!items->isEmpty()) {
        for (GList* entry = items->list(); entry; entry = entry->next) {
            if (!secret_item_set_secret_sync(SECRET_ITEM(entry->data), value, worker.cancellable(), &error)) {
                return fail(errorFrom(error));
            }
        }
        return {};
    }

    const auto collection = defaultCollection(service, worker);
    if (!collection) {
        return fail(collection.error());
    }
    g_autoptr(SecretCollection) target = *collection;
    g_autoptr(GHashTable) table = toTable(attributes);
    const gchar* path = g_dbus_proxy_get_object_path(G_DBUS_PROXY(target));
    if (!secret_service_store_sync(service, schema(), table, path, label.toUtf8().constData(), value,
                                   worker.cancellable(), &error)) {
        return fail(errorFrom(error));
    }
    return {};
}

VoidResult clearNow(const SecretStore::Attributes& attributes, Worker& worker)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(SecretService) service = openService(worker, &error);
    if (!service) {
        return fail(errorFrom(error));
    }
    const auto items = searchUnlocked(service, attributes, SECRET_SEARCH_ALL, Need::all, true, worker);
    if (!items) {
        return fail(items.error());
    }
    for (GList* entry = items->list(); entry; entry = entry->next) {
        if (!secret_item_delete_sync(SECRET_ITEM(entry->data), worker.cancellable(), &error)) {
            return fail(errorFrom(error));
        }
    }
    return {};
}

// After a change that timed out: once the abandoned call has ended, reads the item back and
// reports the change as made when `isDone` holds for what is stored. The read-back never prompts.
template <typename IsDone>
VoidResult verifiedChange(Bounded<VoidResult> attempt, const SecretStore::Attributes& attributes,
                          std::chrono::milliseconds deadline, const char* what, IsDone isDone)
{
    if (!attempt.timedOut) {
        return std::move(attempt.result);
    }
    if (!waitUntilSettled(deadline)) {
        qCDebug(lcDiagnostics) << "Secret store:" << what << "still hangs, its outcome is unknown";
        return fail(storeError(SecretStoreError::outcomeUnknown));
    }
    const auto stored = bounded<SecretResult>(
        deadline, "read-back", [attributes](Worker& worker) { return lookupBytes(attributes, false, worker); });
    if (!stored.result) {
        qCDebug(lcDiagnostics) << "Secret store:" << what << "could not be read back";
        return fail(storeError(SecretStoreError::outcomeUnknown));
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

int SecretStore::callsWaitingForUser()
{
    const std::shared_ptr<Registry> shared = registry();
    const std::lock_guard lock(shared->mutex);
    return shared->waitingForUser;
}

LookupResult SecretStore::lookup(const Attributes& attributes, Unlock unlock, std::chrono::milliseconds deadline)
{
    const bool mayPrompt = unlock == Unlock::ask;
    return bounded<LookupResult>(
               deadline, "lookup",
               [attributes, mayPrompt](Worker& worker) { return lookupNow(attributes, mayPrompt, worker); })
        .result;
}

VoidResult SecretStore::store(const Attributes& attributes, const QString& label, const QString& text,
                              std::chrono::milliseconds deadline)
{
    return storeSecret(attributes, label, std::make_shared<const SecretBytes>(SecretBytes::fromText(text)), deadline);
}

VoidResult SecretStore::storeSecret(const Attributes& attributes, const QString& label, const SharedSecret& text,
                                    std::chrono::milliseconds deadline)
{
    const SharedSecret bytes = text ? text : std::make_shared<const SecretBytes>();
    auto attempt = bounded<VoidResult>(deadline, "store", [attributes, label, bytes](Worker& worker) {
        return storeNow(attributes, label, *bytes, worker);
    });
    return verifiedChange(
        std::move(attempt), attributes, deadline, "store",
        [&bytes](const std::optional<SecretBytes>& stored) { return stored.has_value() && stored->equals(*bytes); });
}

SecretStore::SecretLookup SecretStore::lookupSecret(const Attributes& attributes, Unlock unlock,
                                                    std::chrono::milliseconds deadline)
{
    const bool mayPrompt = unlock == Unlock::ask;
    auto found = bounded<SecretResult>(deadline, "lookup", [attributes, mayPrompt](Worker& worker) {
                     return lookupBytes(attributes, mayPrompt, worker);
                 }).result;
    if (!found) {
        return fail(found.error());
    }
    if (!found->has_value()) {
        return SharedSecret();
    }
    return SharedSecret(std::make_shared<const SecretBytes>(std::move(**found)));
}

VoidResult SecretStore::clear(const Attributes& attributes, std::chrono::milliseconds deadline)
{
    auto attempt =
        bounded<VoidResult>(deadline, "clear", [attributes](Worker& worker) { return clearNow(attributes, worker); });
    return verifiedChange(std::move(attempt), attributes, deadline, "clear",
                          [](const std::optional<SecretBytes>& stored) { return !stored.has_value(); });
}
