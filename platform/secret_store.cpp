#include "platform/secret_store.h"

#include "platform/event_loop.h"
#include "platform/fault_hooks.h"

#include <libsecret/secret.h>

#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace plat {
namespace {

using Clock = std::chrono::steady_clock;

// Calls into the Secret Service that may hang at once, each holding its thread: past this,
// requests are refused until one of them returns.
constexpr int kMaxHungCalls = 3;

enum class Op { Lookup, Store, Clear, Ready };

// One call to the store. The worker fills the answer; whoever finishes it first (the worker,
// or the watchdog at the deadline) decides what the caller hears.
struct Job {
    int id = 0;
    Op op = Op::Lookup;
    std::string account;
    SecretKind kind = SecretKind::Password;
    std::string secret;
    std::string label;
    Clock::time_point deadline;
    bool later = false;  // answered through the loop
    GCancellable* cancellable = nullptr;
    bool finished = false;
    bool running = false;  // a worker is inside the store's call for it
    bool hung = false;  // ended at its deadline while the call still runs
    SecretAnswer answer;

    ~Job() {
        if (cancellable) g_object_unref(cancellable);
    }
};
using JobPtr = std::shared_ptr<Job>;

// Shared between the caller's thread, the workers and the watchdog. Made once and never
// destroyed: the threads run until the process ends.
//
// The workers are made on demand. A call the store never answers keeps its worker for as long
// as it lasts; its job ends at its deadline all the same, and a fresh worker takes the jobs
// behind it. At most kMaxHungCalls workers are ever made (all of them would be hung), so a
// store that hangs every call costs a few threads, not one per request.
struct Shared {
    std::mutex mutex;
    std::condition_variable work;  // the workers: a job is queued
    std::condition_variable watch;  // the watchdog: a deadline is nearer
    std::condition_variable finished;  // blocking callers: a job is finished
    std::deque<JobPtr> queue;
    std::vector<JobPtr> pending;  // not finished yet, queued or running
    std::deque<JobPtr> answered;  // later jobs finished, for the loop
    int nextId = 1;
    int workers = 0;  // made so far; they never end
    int idle = 0;  // waiting for a job
    int hung = 0;  // inside a call whose job has ended at its deadline
    int wakeRead = -1;
    int wakeWrite = -1;
    bool started = false;
};

Shared& shared() {
    static Shared* s = new Shared;
    return *s;
}

// The loop's side, touched by the loop's thread only.
std::map<int, SecretDone>& callbacks() {
    static auto* m = new std::map<int, SecretDone>;
    return *m;
}
int g_wakeWatch = 0;

// ---- The store's calls, on the worker thread

const SecretSchema* schema() {
    static const SecretSchema s = {"org.tarnwick.Secret",
                                   SECRET_SCHEMA_DONT_MATCH_NAME,
                                   {{"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"kind", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                   0,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr};
    return &s;
}

struct Attributes {
    GHashTable* table;
    Attributes(const std::string& account, SecretKind kind) {
        table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
        g_hash_table_insert(table, g_strdup("application"), g_strdup("tarnwick"));
        g_hash_table_insert(table, g_strdup("account"), g_strdup(account.c_str()));
        g_hash_table_insert(table, g_strdup("kind"), g_strdup(secretKindName(kind)));
    }
    ~Attributes() { g_hash_table_unref(table); }
};

template <class T>
struct GRef {
    T* p = nullptr;
    ~GRef() {
        if (p) g_object_unref(p);
    }
};

struct ErrorHolder {
    GError* e = nullptr;
    ~ErrorHolder() {
        if (e) g_error_free(e);
    }
};

// Sorts an error of the bus or the service into the caller's terms.
SecretAnswer fromError(const GError* e, bool connecting) {
    SecretAnswer a;
    a.why = e && e->message ? e->message : "unknown error";
    if (e && g_error_matches(e, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        a.status = SecretStatus::TimedOut;
    } else if (e && g_error_matches(e, SECRET_ERROR, SECRET_ERROR_IS_LOCKED)) {
        a.status = SecretStatus::Locked;
    } else if (connecting || (e && (g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
                                    g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
                                    g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_NO_SERVER) ||
                                    g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD)))) {
        a.status = SecretStatus::Unavailable;
    } else {
        a.status = SecretStatus::Failed;
    }
    return a;
}

SecretAnswer okAnswer(std::string secret = {}) {
    SecretAnswer a;
    a.status = SecretStatus::Ok;
    a.secret = std::move(secret);
    return a;
}

SecretAnswer statusAnswer(SecretStatus status) {
    SecretAnswer a;
    a.status = status;
    return a;
}

// The default collection, checked for a lock; its status when it cannot be used.
SecretStatus defaultCollection(SecretService* service, GCancellable* c, SecretAnswer& failure) {
    ErrorHolder err;
    GRef<SecretCollection> col;
    col.p = secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, c, &err.e);
    if (err.e) {
        failure = fromError(err.e, false);
        return failure.status;
    }
    if (!col.p) {
        failure = statusAnswer(SecretStatus::Failed);
        failure.why = "the secret store has no default collection";
        return failure.status;
    }
    if (secret_collection_get_locked(col.p)) {
        failure = statusAnswer(SecretStatus::Locked);
        return failure.status;
    }
    return SecretStatus::Ok;
}

// Other items under the same attributes (left by another program, or by a store that kept
// an older one beside the new) would answer lookups in any order: after a store only the
// items holding the stored secret stay.
void removeOtherSecrets(SecretService* service, const Job& job, GHashTable* attrs) {
    ErrorHolder err;
    GList* items = secret_service_search_sync(
        service, schema(), attrs, static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS),
        job.cancellable, &err.e);
    for (GList* l = items; l; l = l->next) {
        auto* item = static_cast<SecretItem*>(l->data);
        SecretValue* value = secret_item_get_locked(item) ? nullptr : secret_item_get_secret(item);
        if (!value) continue;
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        bool same = std::string(bytes ? bytes : "", bytes ? length : 0) == job.secret;
        secret_value_unref(value);
        if (same) continue;
        ErrorHolder gone;
        secret_item_delete_sync(item, job.cancellable, &gone.e);
    }
    g_list_free_full(items, g_object_unref);
}

SecretAnswer runLookup(SecretService* service, const Job& job) {
    Attributes attrs(job.account, job.kind);
    ErrorHolder err;
    // No unlocking: a locked item is reported, not prompted for.
    GList* items = secret_service_search_sync(service, schema(), attrs.table, SECRET_SEARCH_LOAD_SECRETS,
                                              job.cancellable, &err.e);
    if (err.e) return fromError(err.e, false);
    SecretAnswer answer;
    if (!items) {
        // A locked collection may hide what it holds.
        SecretAnswer failure;
        if (defaultCollection(service, job.cancellable, failure) == SecretStatus::Locked) return failure;
        return statusAnswer(SecretStatus::NotFound);
    }
    auto* item = static_cast<SecretItem*>(items->data);
    SecretValue* value = secret_item_get_locked(item) ? nullptr : secret_item_get_secret(item);
    if (!value) {
        answer = statusAnswer(SecretStatus::Locked);
    } else {
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        answer = okAnswer(std::string(bytes ? bytes : "", bytes ? length : 0));
        secret_value_unref(value);
    }
    g_list_free_full(items, g_object_unref);
    return answer;
}

SecretAnswer runStore(SecretService* service, const Job& job) {
    SecretAnswer failure;
    if (defaultCollection(service, job.cancellable, failure) != SecretStatus::Ok) return failure;
    Attributes attrs(job.account, job.kind);
    SecretValue* value = secret_value_new(job.secret.data(), static_cast<gssize>(job.secret.size()), "text/plain");
    ErrorHolder err;
    gboolean ok = secret_service_store_sync(service, schema(), attrs.table, SECRET_COLLECTION_DEFAULT,
                                            job.label.c_str(), value, job.cancellable, &err.e);
    secret_value_unref(value);
    if (!ok || err.e) return fromError(err.e, false);
    removeOtherSecrets(service, job, attrs.table);
    return okAnswer();
}

SecretAnswer runClear(SecretService* service, const Job& job) {
    Attributes attrs(job.account, job.kind);
    ErrorHolder err;
    secret_service_clear_sync(service, schema(), attrs.table, job.cancellable, &err.e);
    if (err.e) return fromError(err.e, false);
    return okAnswer();
}

SecretAnswer runJob(const Job& job) {
    ErrorHolder err;
    GRef<SecretService> service;
    // A proxy of its own each time: a shared one would keep talking to a store that has since
    // been restarted (its signals would arrive in a context nobody turns).
    service.p = secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_NONE, job.cancellable, &err.e);
    if (!service.p) return fromError(err.e, true);
    switch (job.op) {
    case Op::Lookup: return runLookup(service.p, job);
    case Op::Store: return runStore(service.p, job);
    case Op::Clear: return runClear(service.p, job);
    case Op::Ready: {
        SecretAnswer failure;
        return defaultCollection(service.p, job.cancellable, failure) == SecretStatus::Ok ? okAnswer() : failure;
    }
    }
    return statusAnswer(SecretStatus::Failed);
}

// ---- Threads

// Under the lock: the first answer counts; later ones are dropped.
void finishLocked(Shared& s, const JobPtr& job, SecretAnswer answer) {
    if (job->finished) return;
    job->finished = true;
    job->answer = std::move(answer);
    job->secret.clear();
    std::erase(s.pending, job);
    if (job->later) {
        s.answered.push_back(job);
        char byte = 1;
        [[maybe_unused]] ssize_t n = write(s.wakeWrite, &byte, 1);
    }
    s.finished.notify_all();
}

SecretAnswer refusal(const Shared& s) {
    SecretAnswer a = statusAnswer(SecretStatus::Failed);
    a.why = std::to_string(s.hung) +
            " earlier calls to the Secret Service have not returned; no further call is "
            "made until one does";
    return a;
}

void workerMain();

// Under the lock: makes sure the queued jobs have a worker that is not hung, making one when
// needed. When none may be made, the queued jobs are refused.
void staffQueueLocked(Shared& s) {
    if (s.queue.empty() || s.idle > 0 || s.workers - s.hung > 0) return;
    bool made = false;
    if (s.hung < kMaxHungCalls) {
        try {
            std::thread(workerMain).detach();
            made = true;
        } catch (const std::system_error&) {}
    }
    if (made) {
        ++s.workers;
        return;
    }
    SecretAnswer answer = s.hung < kMaxHungCalls ? statusAnswer(SecretStatus::Failed) : refusal(s);
    if (answer.why.empty()) answer.why = "no thread for the secret store";
    std::deque<JobPtr> refused;
    refused.swap(s.queue);
    for (const JobPtr& j : refused) finishLocked(s, j, answer);
}

// Under the lock: ends a job at its deadline. A call still running for it is cancelled; if it
// does not return, its worker counts as hung and the jobs behind it get another.
void timeOutLocked(Shared& s, const JobPtr& job) {
    if (job->finished) return;
    g_cancellable_cancel(job->cancellable);
    if (job->running && !job->hung) {
        job->hung = true;
        ++s.hung;
    }
    finishLocked(s, job, statusAnswer(SecretStatus::TimedOut));
    staffQueueLocked(s);
}

void workerMain() {
    Shared& s = shared();
    for (;;) {
        JobPtr job;
        {
            std::unique_lock lock(s.mutex);
            ++s.idle;
            s.work.wait(lock, [&] { return !s.queue.empty(); });
            --s.idle;
            job = s.queue.front();
            s.queue.pop_front();
            if (job->finished) continue;  // timed out or cancelled while queued
            job->running = true;
        }
        faults::secretCallStarts(job->account);
        SecretAnswer answer = runJob(*job);
        std::lock_guard lock(s.mutex);
        job->running = false;
        if (job->hung) --s.hung;  // back from a call given up on: free for work again
        finishLocked(s, job, std::move(answer));
    }
}

// Ends each job at its deadline, cancelling what the store is still doing for it.
void watchdogMain() {
    Shared& s = shared();
    std::unique_lock lock(s.mutex);
    for (;;) {
        if (s.pending.empty()) {
            s.watch.wait(lock);
            continue;
        }
        Clock::time_point nearest = s.pending.front()->deadline;
        for (const JobPtr& j : s.pending) nearest = std::min(nearest, j->deadline);
        if (Clock::now() < nearest) {
            s.watch.wait_until(lock, nearest);
            continue;
        }
        std::vector<JobPtr> due;
        for (const JobPtr& j : s.pending)
            if (j->deadline <= Clock::now()) due.push_back(j);
        for (const JobPtr& j : due) timeOutLocked(s, j);
    }
}

// Under the lock: the watchdog and the wake-up pipe, made on first use (the workers are made
// as jobs come).
bool startLocked(Shared& s) {
    if (s.started) return true;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    try {
        std::thread(watchdogMain).detach();
    } catch (const std::system_error&) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    s.wakeRead = fds[0];
    s.wakeWrite = fds[1];
    s.started = true;
    return true;
}

JobPtr makeJob(Op op, const std::string& account, SecretKind kind, int limitMs) {
    if (limitMs <= 0) limitMs = secretLimitMs();
    auto job = std::make_shared<Job>();
    job->op = op;
    job->account = account;
    job->kind = kind;
    job->cancellable = g_cancellable_new();
    job->deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    return job;
}

// Queues job; false when the threads cannot be started. A job that no worker may take (too
// many calls hang) is finished at once with the refusal.
bool submit(const JobPtr& job) {
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    if (!startLocked(s)) return false;
    job->id = s.nextId++;
    if (s.nextId <= 0) s.nextId = 1;
    s.queue.push_back(job);
    s.pending.push_back(job);
    staffQueueLocked(s);
    s.work.notify_one();
    s.watch.notify_one();
    return true;
}

SecretAnswer waitFor(const JobPtr& job) {
    if (!submit(job)) {
        SecretAnswer a = statusAnswer(SecretStatus::Failed);
        a.why = "no thread for the secret store";
        return a;
    }
    Shared& s = shared();
    std::unique_lock lock(s.mutex);
    // The watchdog ends the job at its deadline; the extra second only guards against a
    // watchdog that could not run.
    if (!s.finished.wait_until(lock, job->deadline + std::chrono::seconds(1), [&] { return job->finished; }))
        timeOutLocked(s, job);
    return job->answer;
}

// The loop's side: hands each finished later job to its done.
void deliverAnswers() {
    Shared& s = shared();
    char buf[64];
    while (read(s.wakeRead, buf, sizeof buf) > 0) {}
    std::deque<JobPtr> ready;
    {
        std::lock_guard lock(s.mutex);
        ready.swap(s.answered);
    }
    for (const JobPtr& job : ready) {
        auto it = callbacks().find(job->id);
        if (it == callbacks().end()) continue;  // cancelled
        SecretDone done = std::move(it->second);
        callbacks().erase(it);
        done(job->answer);
    }
}

int submitLater(const JobPtr& job, SecretDone done) {
    job->later = true;
    if (!submit(job)) {
        // Answered from the loop all the same, once the pipe is there; without it, at once.
        SecretAnswer a = statusAnswer(SecretStatus::Failed);
        a.why = "no thread for the secret store";
        done(a);
        return 0;
    }
    if (!g_wakeWatch) g_wakeWatch = watchReadable(shared().wakeRead, deliverAnswers);
    callbacks()[job->id] = std::move(done);
    return job->id;
}

}  // namespace

int secretLimitMs() {
    static const int limit = [] {
        const char* v = std::getenv("TRAWLEX_SECRET_LIMIT_MS");
        char* end = nullptr;
        long ms = v && *v ? std::strtol(v, &end, 10) : 0;
        return v && *v && *end == '\0' && ms >= 100 && ms <= 600000 ? static_cast<int>(ms) : 10000;
    }();
    return limit;
}

const char* secretKindName(SecretKind kind) {
    switch (kind) {
    case SecretKind::Password: return "password";
    case SecretKind::Refresh: return "refresh";
    case SecretKind::LocalPass: return "localpass";
    case SecretKind::SmtpPass: return "smtppass";
    }
    return "password";
}

std::string secretStatusText(const SecretAnswer& answer) {
    switch (answer.status) {
    case SecretStatus::Ok: return "done";
    case SecretStatus::NotFound: return "the secret store holds none";
    case SecretStatus::Locked: return "the secret store is locked";
    case SecretStatus::Unavailable: return "no secret store answers";
    case SecretStatus::TimedOut: return "the secret store did not answer in time";
    case SecretStatus::Failed: break;
    }
    return "the secret store failed: " + answer.why;
}

SecretAnswer lookupSecret(const std::string& account, SecretKind kind, int limitMs) {
    return waitFor(makeJob(Op::Lookup, account, kind, limitMs));
}

SecretAnswer storeSecret(const std::string& account, SecretKind kind, const std::string& secret,
                         const std::string& label, int limitMs) {
    JobPtr job = makeJob(Op::Store, account, kind, limitMs);
    job->secret = secret;
    job->label = label;
    return waitFor(job);
}

SecretAnswer clearSecret(const std::string& account, SecretKind kind, int limitMs) {
    return waitFor(makeJob(Op::Clear, account, kind, limitMs));
}

SecretAnswer secretStoreReady(int limitMs) {
    return waitFor(makeJob(Op::Ready, "", SecretKind::Password, limitMs));
}

int lookupSecretLater(const std::string& account, SecretKind kind, SecretDone done) {
    return submitLater(makeJob(Op::Lookup, account, kind, 0), std::move(done));
}

int storeSecretLater(const std::string& account, SecretKind kind, const std::string& secret, const std::string& label,
                     SecretDone done) {
    JobPtr job = makeJob(Op::Store, account, kind, 0);
    job->secret = secret;
    job->label = label;
    return submitLater(job, std::move(done));
}

void cancelSecretRequest(int id) {
    callbacks().erase(id);
}

}  // namespace plat
