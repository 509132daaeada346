#include "platform/link.h"

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/link_record.h"
#include "platform/loop_internal.h"
#include "platform/owned_handles.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>
#include <unordered_map>

namespace plat {
namespace {

using link::Record;

// A window of another process, reached by connecting to its socket on first use.
struct Remote {
    std::string ref;
    Descriptor fd;
};

// A local window that other processes can reach.
struct Published {
    std::string ref;
    std::string path;
    Descriptor listenFd;
    int watchId = 0;
    ino_t inode = 0;
    UINT linkMessage = 0;  // the one message number peers may post
    LinkReporter reporter = nullptr;
};

// An accepted connection: records from it are delivered to its published window.
struct Connection {
    HWND target = 0;
    int watchId = 0;
    std::string buffer;
    Descriptor fd;  // the key it is found by
};

struct LinkState {
    std::unordered_map<HWND, Remote> remotes;
    std::map<std::string, HWND> remoteByRef;
    std::unordered_map<HWND, Published> published;
    std::unordered_map<int, Connection> connections;
};

LinkState& links() {
    static LinkState s;
    return s;
}

void linkLog(const char* text) {
    std::fprintf(stderr, "link: %s\n", text);
}

HWND remoteFor(const std::string& ref);

void reportDropped(const Record& r, LinkReporter reporter) {
    char text[96];
    std::snprintf(text, sizeof text, "%s of message %u from a peer dropped",
                  r.kind == link::Kind::Send ? "send" : "post", r.msg);
    if (reporter) reporter(text);
    else linkLog(text);
}

// Whether a peer may deliver this record to a window published for linkMessage.
bool allowedFromPeer(const Record& r, UINT linkMessage) {
    if (r.kind == link::Kind::Post) return r.msg == linkMessage;
    if (r.kind == link::Kind::Send) return r.msg == WM_COPYDATA;
    return false;
}

// A value from a peer: a reference becomes the handle of that window of another process; a
// bare number stays a number. Neither ever names one of our own windows (a controller that is
// our own window would have us command ourselves).
std::uint64_t peerValue(std::uint64_t value, bool isRef, const std::string& ref) {
    HWND h = isRef ? remoteFor(ref) : static_cast<HWND>(value);
    bool ours = isWindow(h) && !isRemoteWindow(h);
    if (isRef) return ours ? 0 : h;
    return isWindow(h) ? 0 : value;
}

std::string refName(const char* className, const char* title) {
    return std::string(className ? className : "") + "." + (title ? title : "");
}

bool makeAddress(const std::string& path, sockaddr_un& sa) {
    std::memset(&sa, 0, sizeof sa);
    sa.sun_family = AF_UNIX;
    if (path.size() >= sizeof sa.sun_path) return false;
    std::memcpy(sa.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool peerIsSameUser(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::getuid();
}

// Writes everything within the deadline; works on blocking and non-blocking descriptors.
bool writeAll(int fd, const std::string& data, int timeoutMs) {
    long long deadline = monotonicMs() + timeoutMs;
    std::size_t off = 0;
    while (off < data.size()) {
        ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            off += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        long long left = deadline - monotonicMs();
        if (left <= 0) return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(left));
    }
    return true;
}

int connectTo(const std::string& path) {
    sockaddr_un sa{};
    if (!makeAddress(path, sa)) return -1;
    Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return -1;
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || !peerIsSameUser(fd.get())) return -1;
    return fd.release();
}

std::string socketPathOf(const std::string& ref) {
    return runtimeDir() + "/" + ref + ".sock";
}

HWND remoteFor(const std::string& ref) {
    auto& s = links();
    for (const auto& [h, p] : s.published) {
        if (p.ref == ref) return h;  // one of our own windows
    }
    auto it = s.remoteByRef.find(ref);
    if (it != s.remoteByRef.end()) return it->second;
    HWND h = detail::allocateHandle();
    s.remotes[h] = Remote{ref, {}};
    s.remoteByRef[ref] = h;
    return h;
}

// A window handle travels as the name of its published window; anything else as a number.
bool refFor(std::uint64_t value, std::string& ref) {
    auto& s = links();
    auto p = s.published.find(static_cast<HWND>(value));
    if (p != s.published.end()) {
        ref = p->second.ref;
        return true;
    }
    auto r = s.remotes.find(static_cast<HWND>(value));
    if (r != s.remotes.end()) {
        ref = r->second.ref;
        return true;
    }
    return false;
}

Record makeRecord(link::Kind kind, UINT msg, WPARAM wParam, LPARAM lParam) {
    Record r;
    r.kind = kind;
    r.msg = msg;
    r.wParam = wParam;
    r.lParam = lParam;
    if (wParam != 0 && refFor(wParam, r.wRef)) r.flags |= link::kWParamRef;
    if (msg == WM_COPYDATA) {
        r.lParam = 0;
        r.flags |= link::kCopyData;
        if (const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam)) {
            r.dwData = cds->dwData;
            if (cds->lpData && cds->cbData > 0) r.copyData.assign(static_cast<const char*>(cds->lpData), cds->cbData);
        }
    } else if (lParam != 0 && refFor(static_cast<std::uint64_t>(lParam), r.lRef)) {
        r.flags |= link::kLParamRef;
    }
    return r;
}

// Sends the record to the remote window, reconnecting once if the old connection broke.
bool deliver(Remote& remote, const std::string& bytes, bool& reconnected) {
    reconnected = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!remote.fd.valid()) {
            remote.fd.reset(connectTo(socketPathOf(remote.ref)));
            if (!remote.fd.valid()) return false;
            reconnected = true;
        }
        if (writeAll(remote.fd.get(), bytes, kLinkSendTimeoutMs)) return true;
        remote.fd.reset();
        if (reconnected) return false;
    }
    return false;
}

void closeConnection(int fd) {
    auto& s = links();
    auto it = s.connections.find(fd);
    if (it == s.connections.end()) return;
    unwatch(it->second.watchId);
    s.connections.erase(it);  // closes it
}

bool reply(int fd, UINT msg, LRESULT result) {
    Record answer;
    answer.kind = link::Kind::Reply;
    answer.msg = msg;
    answer.lParam = result;
    return writeAll(fd, link::encode(answer), kLinkSendTimeoutMs);
}

// Delivers one record that arrived for a published window; answers false to drop the peer.
// The window's procedure may unpublish it: what the record needs of its entry comes by value.
bool handleRecord(int fd, HWND target, UINT linkMessage, LinkReporter reporter, Record& r) {
    if (r.kind == link::Kind::Reply) return false;  // nobody asked this peer a question here
    if ((r.flags & link::kCopyData) && (r.msg != WM_COPYDATA || r.kind != link::Kind::Send)) return false;
    if (!(r.flags & link::kCopyData) && r.msg == WM_COPYDATA) return false;
    if (!allowedFromPeer(r, linkMessage)) {
        reportDropped(r, reporter);
        return r.kind == link::Kind::Send ? reply(fd, r.msg, 0) : true;
    }
    WPARAM wParam = static_cast<WPARAM>(peerValue(r.wParam, r.flags & link::kWParamRef, r.wRef));
    LPARAM lParam = static_cast<LPARAM>(
        peerValue(static_cast<std::uint64_t>(r.lParam), r.flags & link::kLParamRef, r.lRef));
    COPYDATASTRUCT cds{};
    if (r.flags & link::kCopyData) {
        cds.dwData = static_cast<std::uintptr_t>(r.dwData);
        cds.cbData = static_cast<std::uint32_t>(r.copyData.size());
        cds.lpData = r.copyData.empty() ? nullptr : r.copyData.data();
        lParam = reinterpret_cast<LPARAM>(&cds);  // our own copy, valid during the call
    }
    if (r.kind == link::Kind::Post) {
        postMessage(target, r.msg, wParam, lParam);  // a window that has gone drops it
        return true;
    }
    return reply(fd, r.msg, sendMessage(target, r.msg, wParam, lParam));
}

void onConnectionReadable(int fd) {
    char chunk[65536];
    for (;;) {
        auto it = links().connections.find(fd);
        if (it == links().connections.end()) return;
        ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            closeConnection(fd);
            return;
        }
        if (n < 0) return;
        it->second.buffer.append(chunk, static_cast<std::size_t>(n));
        for (;;) {
            auto conn = links().connections.find(fd);
            if (conn == links().connections.end()) return;
            Record r;
            std::size_t used = 0;
            auto res = link::decode(conn->second.buffer, r, used);
            if (res == link::DecodeResult::NeedMore) break;
            if (res == link::DecodeResult::Malformed) {
                linkLog("malformed record, connection closed");
                closeConnection(fd);
                return;
            }
            conn->second.buffer.erase(0, used);
            HWND target = conn->second.target;
            auto pub = links().published.find(target);
            if (pub == links().published.end() ||
                !handleRecord(fd, target, pub->second.linkMessage, pub->second.reporter, r)) {
                closeConnection(fd);
                return;
            }
        }
    }
}

// Out of descriptors, a waiting connection would wake the loop again at once, for ever: take it
// with the descriptor held in reserve and close it. Its peer sees the link fail, as it would
// for an engine that is gone.
void dropPendingConnection(int listenFd) {
    releaseSpareDescriptor();
    int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) ::close(fd);
    holdSpareDescriptor();
    linkLog("out of descriptors, connection dropped");
}

void onListenerReadable(HWND hwnd) {
    auto& s = links();
    auto it = s.published.find(hwnd);
    if (it == s.published.end()) return;
    Descriptor accepted(::accept4(it->second.listenFd.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!accepted.valid()) {
        if (errno == EMFILE || errno == ENFILE) dropPendingConnection(it->second.listenFd.get());
        return;
    }
    if (!peerIsSameUser(accepted.get())) {
        linkLog("connection from another user refused");
        return;
    }
    int fd = accepted.get();
    int watchId = watchReadable(fd, [fd] { onConnectionReadable(fd); });
    if (watchId == 0) return;
    s.connections[fd] = Connection{hwnd, watchId, {}, std::move(accepted)};
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

std::string linkSocketPath(const char* className, const char* title) {
    return socketPathOf(refName(className, title));
}

PublishResult publishWindow(HWND hwnd, const char* className, const char* title, UINT linkMessage,
                            LinkReporter reporter) {
    std::string ref = refName(className, title);
    if (!link::validRefName(ref) || !isWindow(hwnd) || isRemoteWindow(hwnd)) return PublishResult::Failed;
    std::string path = socketPathOf(ref);
    sockaddr_un sa{};
    if (!makeAddress(path, sa)) return PublishResult::Failed;
    if (Descriptor(connectTo(path)).valid()) return PublishResult::AlreadyRunning;
    ::unlink(path.c_str());  // stale: nobody answers on it
    Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return PublishResult::Failed;
    mode_t old = ::umask(0177);
    int rc = ::bind(fd.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::umask(old);
    if (rc != 0 || ::listen(fd.get(), 16) != 0) return PublishResult::Failed;
    ::chmod(path.c_str(), 0600);
    holdSpareDescriptor();
    int watchId = watchReadable(fd.get(), [hwnd] { onListenerReadable(hwnd); });
    if (watchId == 0) {
        ::unlink(path.c_str());
        return PublishResult::Failed;
    }
    links().published[hwnd] = Published{ref, path, std::move(fd), watchId, inodeOf(path), linkMessage, reporter};
    return PublishResult::Published;
}

HWND findWindow(const char* className, const char* title) {
    std::string ref = refName(className, title);
    if (!link::validRefName(ref)) return 0;
    auto& s = links();
    for (const auto& [h, p] : s.published) {
        if (p.ref == ref) return h;
    }
    int fd = connectTo(socketPathOf(ref));
    if (fd < 0) return 0;
    HWND h = remoteFor(ref);
    Remote& remote = s.remotes[h];
    remote.fd.reset(fd);
    return h;
}

bool isRemoteWindow(HWND hwnd) {
    return links().remotes.count(hwnd) != 0;
}

namespace detail {

bool isRemote(HWND hwnd) {
    return isRemoteWindow(hwnd);
}

bool postRemote(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto it = links().remotes.find(hwnd);
    if (it == links().remotes.end()) return false;
    bool reconnected = false;
    return deliver(it->second, link::encode(makeRecord(link::Kind::Post, msg, wParam, lParam)), reconnected);
}

LRESULT sendRemote(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto it = links().remotes.find(hwnd);
    if (it == links().remotes.end()) return 0;
    Remote& remote = it->second;
    bool reconnected = false;
    if (!deliver(remote, link::encode(makeRecord(link::Kind::Send, msg, wParam, lParam)), reconnected)) return 0;
    std::string buf;
    long long deadline = monotonicMs() + kLinkSendTimeoutMs;
    for (;;) {
        Record reply;
        std::size_t used = 0;
        auto res = link::decode(buf, reply, used);
        if (res == link::DecodeResult::Complete && reply.kind == link::Kind::Reply) return reply.lParam;
        if (res != link::DecodeResult::NeedMore) break;
        long long left = deadline - monotonicMs();
        if (left <= 0) {
            linkLog("no reply within 10 s");
            break;
        }
        pollfd p{remote.fd.get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char chunk[4096];
        ssize_t n = ::recv(remote.fd.get(), chunk, sizeof chunk, MSG_DONTWAIT);
        if (n <= 0 && !(n < 0 && (errno == EAGAIN || errno == EINTR))) break;
        if (n > 0) buf.append(chunk, static_cast<std::size_t>(n));
    }
    // The conversation is out of step: start afresh next time.
    remote.fd.reset();
    return 0;
}

void unpublish(HWND hwnd) {
    auto& s = links();
    auto it = s.published.find(hwnd);
    if (it == s.published.end()) return;
    Published p = std::move(it->second);
    s.published.erase(it);
    unwatch(p.watchId);
    p.listenFd.reset();
    if (inodeOf(p.path) == p.inode) ::unlink(p.path.c_str());
}

}  // namespace detail
}  // namespace plat
