#include "net/server.h"

#include "platform/files.h"
#include "log/debug.h"

#include <cerrno>
#include <climits>
#include <string>
#include <vector>

using namespace plat;

namespace {
constexpr char kServerClass[] = "NETSERVCLASS";
constexpr UINT WM_ACCEPT = WM_USER;
// The system clamps the backlog to its own maximum (net.core.somaxconn), so this asks for
// that maximum: a burst of connections waits for accept instead of being dropped.
constexpr int kBacklog = INT_MAX;
constexpr std::uint32_t kLoopback = 0x7F000001;  // 127.0.0.1
constexpr WPARAM kAcceptBackoffTimer = 1;
constexpr unsigned kAcceptBackoffMs = 250;
// A shortage episode ends after this long without a failed accept.
constexpr WPARAM kShortageEndTimer = 2;
constexpr unsigned kShortageEndMs = 1000;

// Failures that only mean "not now": the connection stays queued until resources return.
bool isResourceShortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}
}  // namespace

Server::Server(HWND owner, Peers peers) : peers_(peers) {
    started_ = socketStartup();
    if (!started_) return;
    if (!isClassRegistered(kServerClass) && !registerClass(kServerClass, &Server::procedure)) {
        DebugLine(LOG_APP, LOG_HIGH, "Unable to register network server class");
    }
    window_ = createWindow(kServerClass, "", owner);
    if (!window_) {
        DebugLine(LOG_APP, LOG_HIGH, "Unable to create network server window");
        return;
    }
    setWindowLongPtr(window_, reinterpret_cast<std::intptr_t>(this));
}

Server::~Server() {
    endSessions();
    if (listening_ != INVALID_SOCKET) closeSocket(listening_);
    if (listening6_ != INVALID_SOCKET) closeSocket(listening6_);
    if (window_) {
        killTimer(window_, kAcceptBackoffTimer);
        killTimer(window_, kShortageEndTimer);
        setWindowLongPtr(window_, 0);
        destroyWindow(window_);
    }
    unregisterClass(kServerClass);
    if (started_) (void)socketCleanup();
}

bool Server::listen(int port) {
    port_ = port;
    listenError_ = 0;
    DebugLine(LOG_NET, LOG_LOW, "Server::listen");
    listening_ = openListener(Family::Ipv4, port);
    if (listening_ == INVALID_SOCKET) return false;
    listening6_ = openListener(Family::Ipv6, port);
    holdSpareDescriptor();
    return true;
}

SOCKET Server::openListener(Family family, int port) {
    bool ipv6 = family == Family::Ipv6;
    SOCKET s = ipv6 ? tcpSocketIpv6() : tcpSocket();
    if (s == INVALID_SOCKET) {
        int error = socketError();
        // A machine without IPv6 simply has no ::1 to serve.
        if (ipv6 && error == EAFNOSUPPORT) return INVALID_SOCKET;
        DebugLineInt(LOG_NET, LOG_HIGH, "FAILED - socket() :", error);
        if (!ipv6) listenError_ = error;
        return INVALID_SOCKET;
    }
    const char* failure = nullptr;
    int error = 0;
    auto local = static_cast<std::uint16_t>(port);
    if ((error = ipv6 ? bindIpv6Loopback(s, local) : bindTo(s, Ipv4Endpoint{kLoopback, local})) != 0) {
        failure = "FAILED - bind() :";
    } else if ((error = listenSocket(s, kBacklog)) != 0) {
        failure = "FAILED - listen() :";
    } else if (!asyncSelect(s, window_, WM_ACCEPT, FD_ACCEPT)) {
        failure = "FAILED - WSAAsyncSelect() :";
        error = socketError();
    }
    if (failure) {
        closeSocket(s);
        // No IPv6 loopback address on this machine: nothing to listen on there.
        if (ipv6 && error == EADDRNOTAVAIL) return INVALID_SOCKET;
        DebugLineInt(LOG_NET, LOG_HIGH, ipv6 ? (std::string(failure) + " [::1]").c_str() : failure, error);
        if (!ipv6) listenError_ = error;
        return INVALID_SOCKET;
    }
    return s;
}

LRESULT Server::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Server*>(getWindowLongPtr(hwnd));
    if (!self) return defWindowProc(hwnd, msg, wParam, lParam);
    if (msg == WM_ACCEPT && loWord(lParam) == FD_ACCEPT) {
        self->onAccept(static_cast<SOCKET>(wParam));
        return 0;
    }
    if (msg == WM_TIMER && wParam == kAcceptBackoffTimer) {
        self->resumeAccepting();
        return 0;
    }
    if (msg == WM_TIMER && wParam == kShortageEndTimer) {
        killTimer(hwnd, kShortageEndTimer);
        self->shortOfResources_ = false;
        return 0;
    }
    return defWindowProc(hwnd, msg, wParam, lParam);
}

void Server::onAccept(SOCKET listening) {
    DebugLine(LOG_APP, LOG_LOW, "case FD_ACCEPT");
    if (listening != listening_ && listening != listening6_) return;
    Ipv4Endpoint peer;
    SOCKET s = acceptSocket(listening, &peer);
    if (s == INVALID_SOCKET) {
        int error = socketError();
        if (!isResourceShortage(error)) {
            DebugLineInt(LOG_NET, LOG_HIGH, "FAILED - accept() :", error);
            return;
        }
        // One line per episode: the retries of a shortage would otherwise flood the log. The
        // spare descriptor makes room for the log file.
        killTimer(window_, kShortageEndTimer);
        if (!shortOfResources_) {
            releaseSpareDescriptor();
            DebugLineInt(LOG_NET, LOG_HIGH, "FAILED - accept() :", error);
            holdSpareDescriptor();
        }
        shortOfResources_ = true;
        pauseAccepting();
        return;
    }
    // Connections are taken again; the episode ends once they have been for a while.
    if (shortOfResources_) {
        killTimer(window_, kShortageEndTimer);
        if (!setTimer(window_, kShortageEndTimer, kShortageEndMs)) {
            // Left open, the episode would hide the first failure of every later shortage.
            DebugLine(LOG_NET, LOG_HIGH, "Unable to set the shortage timer, shortage of resources taken as over");
            shortOfResources_ = false;
        }
    }
    if (peers_ == Peers::LocalOnly && (peer.address >> 24) != 127) {
        DebugLine(LOG_NET, LOG_HIGH, "DENYING EXTERNAL CONNECTION");
        closeSocket(s);
        return;
    }
    createSession(s);
}

void Server::pauseAccepting() {
    if (acceptPaused_) return;
    if (!setTimer(window_, kAcceptBackoffTimer, kAcceptBackoffMs)) {
        // A pause nothing would end leaves the server deaf for good: accepting goes on, and
        // the shortage is retried at the loop's pace. Said once per shortage.
        if (!backoffRefusalLogged_)
            DebugLine(LOG_NET, LOG_HIGH, "Unable to set the accept back-off timer, accepting goes on without a pause");
        backoffRefusalLogged_ = true;
        return;
    }
    backoffRefusalLogged_ = false;
    acceptPaused_ = true;
    selectAccept(0);
}

void Server::resumeAccepting() {
    if (!acceptPaused_) return;
    acceptPaused_ = false;
    killTimer(window_, kAcceptBackoffTimer);
    selectAccept(FD_ACCEPT);
}

void Server::selectAccept(unsigned events) {
    for (SOCKET s : {listening_, listening6_}) {
        if (s != INVALID_SOCKET && !asyncSelect(s, window_, WM_ACCEPT, events) && events)
            DebugLineInt(LOG_NET, LOG_HIGH, "FAILED - WSAAsyncSelect() :", socketError());
    }
}

void Server::adoptSession(std::unique_ptr<ServerSession> session, const char* label) {
    ++sessionCount_;
    Connection* key = session.get();
    session->whenFinished([this, key] {
        if (sessions_.count(key)) removeSession(key);
    });
    sessions_.emplace(key, std::move(session));
    std::string text = std::string("Creating ") + label + " server session";
    DebugLineInt(LOG_APP, LOG_LOW, text.c_str(), sessionCount_);
}

void Server::endSessions() {
    std::vector<Connection*> open;
    for (const auto& entry : sessions_) open.push_back(entry.first);
    for (Connection* session : open) dropSession(session, "remaining");
}

void Server::dropSession(Connection* session, const char* label) {
    auto it = sessions_.find(session);
    if (it == sessions_.end()) return;
    std::unique_ptr<Connection> owned = std::move(it->second);
    sessions_.erase(it);
    --sessionCount_;
    std::string text = std::string("Removing ") + label + " server session (" + std::to_string(sessionCount_) +
                       " in-progress)";
    DebugLine(LOG_APP, LOG_LOW, text.c_str());
    owned.reset();
    // The session's descriptor is free again: a connection held back by a shortage may fit.
    resumeAccepting();
}

ServerSession::ServerSession(HWND serverWindow, SOCKET s, int sendFailCategory)
    : Connection(serverWindow, s),
      serverWindow_(serverWindow),
      sendFailCategory_(sendFailCategory) {
    if (!window()) {
        // Nothing could be heard of this session (its socket is closed already): it ends now.
        finishSession();
        return;
    }
    // Replies are handed over whole, so holding back their tails only adds delay.
    if (socket() != INVALID_SOCKET) (void)setNoDelay(s);
}

void ServerSession::finishSession() {
    closeSocket();
    lineBuffer().reset();
    outbox_.clear();
    outboxSent_ = 0;
    if (!closeReported_) {
        closeReported_ = true;
        if (onFinished_) later_.post(onFinished_);
    }
}

void ServerSession::whenFinished(std::function<void()> onFinished) {
    onFinished_ = std::move(onFinished);
    if (closeReported_) later_.post(onFinished_);
}

ServerSession::Output ServerSession::send(std::string_view bytes) {
    if (broken_ || socket() == INVALID_SOCKET) return Output::Failed;
    if (!outputWaiting()) {
        outbox_.clear();
        outboxSent_ = 0;
    }
    outbox_.append(bytes);
    return pushOut();
}

ServerSession::Output ServerSession::writeWaiting() {
    if (broken_ || socket() == INVALID_SOCKET) return Output::Failed;
    return pushOut();
}

ServerSession::Output ServerSession::pushOut() {
    bool progress = false;
    while (outputWaiting()) {
        long n = sendBytes(outbox_.data() + outboxSent_, outbox_.size() - outboxSent_);
        if (n > 0) {
            outboxSent_ += static_cast<std::size_t>(n);
            progress = true;
            continue;
        }
        int error = socketError();
        if (n < 0 && error == errorWouldBlock()) break;
        if (n < 0 && error == EINTR) continue;
        DebugLine(sendFailCategory_, LOG_HIGH, "send() fail");
        broken_ = true;
        outbox_.clear();
        outboxSent_ = 0;
        return Output::Failed;
    }
    // A peer that takes our bytes is not idle, however long the reply.
    if (progress) armTimeout();
    if (outputWaiting()) {
        setReading(false);
        return Output::Waiting;
    }
    outbox_.clear();
    outboxSent_ = 0;
    setReading(true);
    if (finishWhenSent_) finishSession();
    return Output::Sent;
}

void ServerSession::setReading(bool on) {
    if (reading_ == on || socket() == INVALID_SOCKET) return;
    reading_ = on;
    watchReading(on);
}

void ServerSession::finishWhenSent() {
    finishWhenSent_ = true;
    if (!outputWaiting()) finishSession();
}

std::string ServerSession::takeCommandLine(std::size_t maxLength) {
    std::string line = lineBuffer().takeLine();
    if (line.size() > maxLength || line.find('\0') != std::string::npos) line.clear();
    return line;
}
