#include "platform/http_post.h"

#include "platform/event_loop.h"
#include "platform/event_ptr.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <event2/event.h>
#include <openssl/ssl.h>

#include <map>
#include <memory>
#include <utility>

namespace plat {
namespace {

constexpr std::size_t kBodyLimit = 64 * 1024;

struct Transfer {
    int id = 0;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::string caFile;
    std::string body;
    bool bodyTooLong = false;
    char error[CURL_ERROR_SIZE] = {};
    HttpDone done;
    ~Transfer() {
        if (easy) curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
    }
};

// A refused URL, answered from the loop after the caller's turn.
struct Refusal {
    int id = 0;
    std::string why;
    HttpDone done;
    EventPtr ev;
};

struct Multi {
    CURLM* handle = nullptr;
    EventPtr timer;
    std::map<int, std::unique_ptr<Transfer>> transfers;
    std::map<int, std::unique_ptr<Refusal>> refusals;
    std::map<curl_socket_t, EventPtr> socketEvents;  // what the loop watches for curl, by socket
    int nextId = 1;
};

Multi& multi();

// Hands every finished transfer to its caller; done may start or cancel requests.
void reapFinished() {
    Multi& m = multi();
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m.handle, &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        char* privateData = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &privateData);
        int id = static_cast<int>(reinterpret_cast<std::intptr_t>(privateData));
        auto it = m.transfers.find(id);
        if (it == m.transfers.end()) continue;
        std::unique_ptr<Transfer> t = std::move(it->second);
        m.transfers.erase(it);
        curl_multi_remove_handle(m.handle, t->easy);
        HttpReply reply;
        if (msg->data.result == CURLE_OK) {
            reply.completed = true;
            curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &reply.status);
            reply.body = std::move(t->body);
        } else if (t->bodyTooLong) {
            reply.failure = "reply longer than 64 KiB";
        } else {
            reply.failure = t->error[0] ? t->error : curl_easy_strerror(msg->data.result);
        }
        HttpDone done = std::move(t->done);
        t.reset();
        done(reply);
    }
}

void onSocketReady(evutil_socket_t fd, short what, void*) {
    int flags = ((what & EV_READ) ? CURL_CSELECT_IN : 0) | ((what & EV_WRITE) ? CURL_CSELECT_OUT : 0);
    int running = 0;
    curl_multi_socket_action(multi().handle, fd, flags, &running);
    reapFinished();
}

void onTimeout(evutil_socket_t, short, void*) {
    int running = 0;
    curl_multi_socket_action(multi().handle, CURL_SOCKET_TIMEOUT, 0, &running);
    reapFinished();
}

int socketCallback(CURL*, curl_socket_t s, int what, void*, void*) {
    Multi& m = multi();
    if (what == CURL_POLL_REMOVE) {
        m.socketEvents.erase(s);
        return 0;
    }
    short events = EV_PERSIST;
    if (what & CURL_POLL_IN) events |= EV_READ;
    if (what & CURL_POLL_OUT) events |= EV_WRITE;
    EventPtr& ev = m.socketEvents[s];
    ev.reset(event_new(eventBase(), s, events, onSocketReady, nullptr));
    if (ev) event_add(ev.get(), nullptr);
    return 0;
}

int timerCallback(CURLM*, long timeoutMs, void*) {
    Multi& m = multi();
    if (timeoutMs < 0) {
        if (m.timer) evtimer_del(m.timer.get());
        return 0;
    }
    if (!m.timer) m.timer.reset(evtimer_new(eventBase(), onTimeout, nullptr));
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    evtimer_add(m.timer.get(), &tv);
    return 0;
}

Multi& multi() {
    static Multi m;
    if (!m.handle) {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        m.handle = curl_multi_init();
        curl_multi_setopt(m.handle, CURLMOPT_SOCKETFUNCTION, socketCallback);
        curl_multi_setopt(m.handle, CURLMOPT_TIMERFUNCTION, timerCallback);
    }
    return m;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* userp) {
    auto* t = static_cast<Transfer*>(userp);
    std::size_t n = size * count;
    if (t->body.size() + n > kBodyLimit) {
        t->bodyTooLong = true;
        return 0;  // aborts the transfer
    }
    t->body.append(data, n);
    return n;
}

// Adds the further trusted certificates to the system's store curl has already loaded.
CURLcode addCaFile(CURL*, void* sslContext, void* userp) {
    const auto* t = static_cast<const Transfer*>(userp);
    if (t->caFile.empty()) return CURLE_OK;
    if (SSL_CTX_load_verify_locations(static_cast<SSL_CTX*>(sslContext), t->caFile.c_str(), nullptr) != 1)
        return CURLE_SSL_CACERT_BADFILE;
    return CURLE_OK;
}

void onRefusal(evutil_socket_t, short, void* arg) {
    int id = static_cast<int>(reinterpret_cast<std::intptr_t>(arg));
    auto& refusals = multi().refusals;
    auto it = refusals.find(id);
    if (it == refusals.end()) return;
    std::unique_ptr<Refusal> r = std::move(it->second);
    refusals.erase(it);
    HttpReply reply;
    reply.failure = r->why;
    HttpDone done = std::move(r->done);
    done(reply);
}

int refuseLater(int id, const std::string& why, HttpDone done) {
    auto r = std::make_unique<Refusal>();
    r->id = id;
    r->why = why;
    r->done = std::move(done);
    r->ev.reset(evtimer_new(eventBase(), onRefusal, reinterpret_cast<void*>(static_cast<std::intptr_t>(id))));
    timeval now{0, 0};
    evtimer_add(r->ev.get(), &now);
    multi().refusals.emplace(id, std::move(r));
    return id;
}

}  // namespace

bool httpUrlAllowed(const std::string& url, std::string& why) {
    CURLU* parsed = curl_url();
    char* scheme = nullptr;
    char* host = nullptr;
    bool ok = false;
    if (url.empty()) {
        why = "no address set";
    } else if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
               curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK ||
               curl_url_get(parsed, CURLUPART_HOST, &host, 0) != CURLUE_OK) {
        why = "not a valid address";
    } else if (std::string(scheme) == "https") {
        ok = true;
    } else if (std::string(scheme) == "http") {
        in_addr address{};
        ok = inet_pton(AF_INET, host, &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
        if (!ok) why = "plain http is used only on this machine (127.0.0.0/8): use https";
    } else {
        why = "neither https nor http";
    }
    curl_free(scheme);
    curl_free(host);
    curl_url_cleanup(parsed);
    return ok;
}

int httpPostForm(const std::string& url, const std::string& form, const std::string& caFile, int timeoutMs,
                 HttpDone done) {
    Multi& m = multi();
    int id = m.nextId++;
    std::string why;
    if (!httpUrlAllowed(url, why)) return refuseLater(id, url.empty() ? why : url + ": " + why, std::move(done));

    auto t = std::make_unique<Transfer>();
    t->id = id;
    t->caFile = caFile;
    t->done = std::move(done);
    t->easy = curl_easy_init();
    if (!t->easy) return refuseLater(id, "no memory for the request", std::move(t->done));
    CURL* e = t->easy;
    t->headers = curl_slist_append(nullptr, "Accept: application/json");
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https,http");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(e, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
    curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, addCaFile);
    curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, t.get());
    // A proxy must never see a request meant for this machine.
    curl_easy_setopt(e, CURLOPT_NOPROXY, "127.0.0.0/8");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers);
    curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, form.c_str());
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->error);
    curl_easy_setopt(e, CURLOPT_PRIVATE, reinterpret_cast<void*>(static_cast<std::intptr_t>(id)));
    if (curl_multi_add_handle(m.handle, e) != CURLM_OK)
        return refuseLater(id, "the request could not be started", std::move(t->done));
    m.transfers.emplace(id, std::move(t));
    return id;
}

void cancelHttpRequest(int id) {
    Multi& m = multi();
    m.refusals.erase(id);
    auto it = m.transfers.find(id);
    if (it == m.transfers.end()) return;
    curl_multi_remove_handle(m.handle, it->second->easy);
    m.transfers.erase(it);
}

}  // namespace plat
