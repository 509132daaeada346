#include "net/connection.h"

#include "log/debug.h"

#include <cerrno>

using namespace plat;

namespace {
constexpr char kNetClass[] = "NETCLASS";
constexpr UINT WM_SOCKET = WM_USER;
constexpr UINT WM_LOOKUP = WM_USER + 1;
// Posted by abandon(): the connection was closed inside a call, and its phase hears EV_CLOSED
// from the loop, after that call has returned.
constexpr UINT WM_ABANDONED = WM_USER + 2;
constexpr WPARAM kTimeoutTimer = 0;
constexpr WPARAM kLifeTimer = 1;
// One read takes several messages of a retrieval at once: fewer wake-ups of the loop.
constexpr std::size_t kReceiveSize = 65536;
}  // namespace

unsigned Connection::timeoutMs = Connection::kDefaultTimeoutMs;
unsigned Connection::lifeLimitMs = Connection::kDefaultLifeLimitMs;

Connection::Connection(HWND owner, SOCKET s) {
    init(owner);
    socket_ = s;
    (void)peerEndpoint(s, &peer_);
    if (!window_) {
        // Nothing could ever be heard of this socket: the peer is let go at once.
        closeSocket();
        return;
    }
    if (!asyncSelect(socket_, window_, WM_SOCKET, FD_READ | FD_WRITE | FD_CLOSE)) {
        abandon("Unable to watch the socket (" + socketErrorWords(socketError()) + ")");
    } else if (!startLifeTimer()) {
        abandon("Unable to set the connection's time limit");
    }
}

Connection::Connection(HWND owner, const char* host, int port) : host_(host ? host : ""), port_(port) {
    init(owner);
}

void Connection::init(HWND owner) {
    started_ = socketStartup();
    if (!started_) return;
    if (!isClassRegistered(kNetClass) && !registerClass(kNetClass, &Connection::procedure)) {
        DebugLine(LOG_APP, LOG_HIGH, "Could not create network class");
    }
    window_ = createWindow(kNetClass, "netclient", owner);
    if (!window_) {
        DebugLine(LOG_APP, LOG_HIGH, "Could not create network window");
        return;
    }
    setWindowLongPtr(window_, reinterpret_cast<std::intptr_t>(this));
}

Connection::~Connection() {
    closeSocket();
    if (window_) {
        stopTimer();
        killTimer(window_, kLifeTimer);
        setWindowLongPtr(window_, 0);
        destroyWindow(window_);
    }
    unregisterClass(kNetClass);  // fails harmlessly while other connections have windows
    if (started_ && !socketCleanup()) DebugLineInt(LOG_APP, LOG_HIGH, "WSACleanup FAILED :", socketError());
}

void Connection::closeSocket() {
    dropConnection();
    if (window_) killTimer(window_, kLifeTimer);
}

void Connection::dropConnection() {
    // A look-up still under way would otherwise connect after the owner has given up.
    if (lookupHandle_) {
        cancelLookup(lookupHandle_);
        lookupHandle_ = 0;
        lookup_.reset();
    }
    if (tls_) tls_->close();
    tls_.reset();
    handshaking_ = writeWaitsForRead_ = readWaitsForWrite_ = false;
    if (socket_ != INVALID_SOCKET) plat::closeSocket(socket_);
    socket_ = INVALID_SOCKET;
    // Kept bytes belong to the connection they were written on.
    unsent_.clear();
    unsentFrom_ = 0;
}

long Connection::sendBytes(const char* data, std::size_t length) {
    if (socket_ == INVALID_SOCKET) return -1;
    if (!tls_) return sendSocket(socket_, data, length);
    if (handshaking_) {
        errno = ENOTCONN;  // nothing goes out before the handshake has ended
        return -1;
    }
    long n = tls_->write(data, length);
    writeWaitsForRead_ = n < 0 && socketError() == errorWouldBlock() && !tls_->wantsWrite();
    return n;
}

Connection::Output Connection::write(const char* data, std::size_t length) {
    if (socket_ == INVALID_SOCKET) return Output::Failed;
    if (unsentFrom_ < unsent_.size()) {
        unsent_.append(data, length);
        return Output::Waiting;
    }
    // Sent straight from the caller's bytes; only what the socket leaves is copied.
    std::size_t done = 0;
    while (done < length) {
        long n = sendBytes(data + done, length - done);
        if (n < 0) {
            if (socketError() != errorWouldBlock()) return Output::Failed;
            unsent_.assign(data + done, length - done);
            unsentFrom_ = 0;
            return Output::Waiting;
        }
        done += static_cast<std::size_t>(n);
    }
    return Output::Drained;
}

Connection::Output Connection::flush() {
    if (socket_ == INVALID_SOCKET) return Output::Failed;
    while (unsentFrom_ < unsent_.size()) {
        long n = sendBytes(unsent_.data() + unsentFrom_, unsent_.size() - unsentFrom_);
        if (n < 0 && socketError() == errorWouldBlock()) return Output::Waiting;
        if (n < 0) {
            unsent_.clear();
            unsentFrom_ = 0;
            return Output::Failed;
        }
        unsentFrom_ += static_cast<std::size_t>(n);
    }
    unsent_.clear();
    unsentFrom_ = 0;
    return Output::Drained;
}

void Connection::onWritable() {
    if (unsentFrom_ < unsent_.size()) {
        Output out = flush();
        if (out == Output::Waiting) return;
        if (out == Output::Failed) {
            // The handler waits for a reply that cannot come now: let it fail at once.
            closeSocket();
            dispatcher(EV_CLOSED, 0);
            return;
        }
    }
    dispatcher(EV_WRITABLE, 0);
}

void Connection::shutdown() {
    if (socket_ == INVALID_SOCKET) return;
    if (tls_ && !handshaking_) tls_->close();
    shutdownSocket(socket_);
}

bool Connection::startTls(const std::string& caFile) {
    tlsFailure_.clear();
    lines_.reset();
    std::string why;
    if (socket_ != INVALID_SOCKET) tls_ = TlsChannel::open(socket_, host_, caFile, why);
    else why = "no connection to " + host_;
    if (tls_) {
        handshaking_ = true;
        TlsChannel::Step step = tls_->handshake();
        if (step == TlsChannel::Step::WouldBlock) return true;
        if (step == TlsChannel::Step::Done) {
            handshaking_ = false;
            dispatcher(EV_SECURED, 1);
            return true;
        }
        why = tls_->failure();
    }
    dropTls(why);
    return false;
}

void Connection::continueHandshake() {
    switch (tls_->handshake()) {
    case TlsChannel::Step::WouldBlock: return;
    case TlsChannel::Step::Done:
        handshaking_ = false;
        dispatcher(EV_SECURED, 1);
        return;
    case TlsChannel::Step::Failed: failTls(tls_->failure()); return;
    }
}

void Connection::dropTls(const std::string& why) {
    tlsFailure_ = why;
    DebugLine(LOG_NET, LOG_HIGH, why.c_str());
    closeSocket();
}

void Connection::failTls(const std::string& why) {
    // The connection is given up before the phase hears of it: nothing more can go out.
    dropTls(why);
    dispatcher(EV_SECURED, 0);
}

void Connection::onTlsReadable(SOCKET s) {
    if (s != socket_) return;
    bool timing = timerRunning_;
    stopTimer();
    if (handshaking_) {
        continueHandshake();
        // A record that came in parts: the wait goes on, still timed.
        if (handshaking_ && timing) armTimeout();
        return;
    }
    char buf[kReceiveSize];
    std::size_t got = 0;
    bool ended = false;
    // Bounded, so one busy peer cannot hold the loop; unread records wait in the socket,
    // whose notification comes again.
    for (int i = 0; i < 64; ++i) {
        long n = tls_->read(buf, sizeof buf);
        if (n > 0) {
            lines_.append(buf, n);
            got += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && socketError() == errorWouldBlock()) {
            readWaitsForWrite_ = tls_->wantsWrite();
        } else {
            ended = true;
        }
        break;
    }
    if (got > 0) deliverLines();
    if (s != socket_) return;  // a handler closed the connection
    if (ended) {
        dispatcher(EV_CLOSED, 0);
        return;
    }
    if (writeWaitsForRead_) {
        writeWaitsForRead_ = false;
        onWritable();
        if (s != socket_) return;
    }
    if (got > 0) {
        afterRead(s);
    } else if (timing) {
        armTimeout();  // only part of a record came: the peer has still said nothing
    }
}

void Connection::watchReading(bool on) {
    if (socket_ == INVALID_SOCKET || !window_) return;
    unsigned events = on ? (FD_READ | FD_WRITE | FD_CLOSE) : (FD_WRITE | FD_CLOSE);
    if (!asyncSelect(socket_, window_, WM_SOCKET, events))
        abandon("Unable to watch the socket (" + socketErrorWords(socketError()) + ")");
}

void Connection::armTimeout() {
    idleTimedOut_ = false;
    ++timeoutArming_;
    if (!window_) return;
    killTimer(window_, kTimeoutTimer);
    timerRunning_ = setTimer(window_, kTimeoutTimer, timeoutMs);
    if (!timerRunning_) {
        // A wait that cannot be bounded is not begun: it ends as the bound would end it, from
        // the loop, and the phase's own time-out handling reports the failure.
        DebugLine(LOG_NET, LOG_HIGH,
                  ("Unable to set the inactivity timer of " + describe() + ", the wait ends as timed out").c_str());
        timerRunning_ = postMessage(window_, WM_TIMER, kTimeoutTimer, static_cast<LPARAM>(timeoutArming_));
    }
}

void Connection::stopTimer() {
    ++timeoutArming_;
    if (window_) killTimer(window_, kTimeoutTimer);
    timerRunning_ = false;
}

bool Connection::startLifeTimer() {
    return window_ && setTimer(window_, kLifeTimer, lifeLimitMs);
}

std::string Connection::describe() const {
    return host_.empty() ? "local session from port " + std::to_string(peer_.port)
                         : "connection to " + host_ + ":" + std::to_string(port_);
}

void Connection::abandon(const std::string& what) {
    DebugLine(LOG_NET, LOG_HIGH, (what + ", closing " + describe()).c_str());
    closeSocket();
    if (!postMessage(window_, WM_ABANDONED, 0, 0))
        DebugLine(LOG_NET, LOG_HIGH, ("The end of " + describe() + " cannot be reported").c_str());
}

void Connection::onLifeLimit() {
    killTimer(window_, kLifeTimer);
    if (socket_ == INVALID_SOCKET && !lookupHandle_) return;
    std::string text = "Connection time limit reached (" + std::to_string(lifeLimitMs / 1000) + " s), closing ";
    text += describe();
    DebugLine(LOG_NET, LOG_HIGH, text.c_str());
    // The inactivity timer keeps running: a phase that ignores EV_CLOSED still ends by it.
    closeSocket();
    dispatcher(EV_CLOSED, 0);
}

void Connection::open() {
    peer_ = Ipv4Endpoint{};
    openFailure_.clear();
    if (!window_) {
        // No notification could reach this connection: it would wait for ever.
        DebugLine(LOG_NET, LOG_HIGH, ("No window for the notifications of " + describe() + ", not connecting").c_str());
        failOpen("no window for its notifications");
        return;
    }
    if (!startLifeTimer()) {
        // However busy, a connection must end some day: one that could not be bounded is not made.
        DebugLine(LOG_NET, LOG_HIGH, ("Unable to set the time limit of " + describe() + ", not connecting").c_str());
        failOpen("its time limit could not be set");
        return;
    }
    std::uint32_t address = 0;
    if (parseDottedAddress(host_.c_str(), address)) {
        peer_.address = address;
        connect();
        return;
    }
    lookup_ = std::make_unique<HostLookupResult>();
    int error = 0;
    lookupHandle_ = asyncGetHostByName(window_, WM_LOOKUP, host_.c_str(), lookup_.get(), &error);
    if (lookupHandle_ == 0) {
        lookup_.reset();
        DebugLineInt(LOG_NET, LOG_HIGH, "WSAAsyncGetHostByName init error:", error);
        failOpen(lookupErrorWords(error));
    }
}

void Connection::connect() {
    peer_.port = static_cast<std::uint16_t>(port_);
    dropConnection();
    socket_ = tcpSocket();
    if (socket_ == INVALID_SOCKET) {
        std::string why = socketErrorWords(socketError());
        DebugLine(LOG_NET, LOG_HIGH, ("Unable to create a socket for " + describe() + " : " + why).c_str());
        failOpen(why);
        return;
    }
    if (!asyncSelect(socket_, window_, WM_SOCKET, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE)) {
        // Its outcome could never be heard: the socket is not connected at all.
        std::string why = "its socket could not be watched (" + socketErrorWords(socketError()) + ")";
        DebugLine(LOG_NET, LOG_HIGH, ("Unable to watch the socket of " + describe() + ", not connecting").c_str());
        failOpen(why);
        return;
    }
    int rc = connectSocket(socket_, peer_);
    if (rc != 0) {
        // In progress is the normal case of a non-blocking connect.
        DebugLineInt(LOG_NET, rc == EINPROGRESS ? LOG_LOW : LOG_MED, "connect error:", rc);
    }
    connectPending_ = false;
}

void Connection::afterRead(SOCKET s) {
    if (s != socket_ || lines_.length() == 0) return;
    if (streaming_ && lines_.length() >= kLinePart) {
        dispatcher(EV_LINE_PART, 0);
        if (s != socket_) return;
    }
    if (lines_.overlong()) {
        DebugLine(LOG_NET, LOG_HIGH, "Line too long, closing connection");
        lines_.reset();
        dispatcher(EV_LINE_TOO_LONG, 0);
        if (socket_ != INVALID_SOCKET) {
            closeSocket();
            dispatcher(EV_CLOSED, 0);
        }
        return;
    }
    // A peer that stops in the middle of a line is as silent as one that stops after it.
    armTimeout();
}

void Connection::deliverLines() {
    // A handler that closes the session empties the buffer, which ends this loop.
    while (lines_.hasLine()) dispatcher(EV_LINE, 0);
}

LRESULT Connection::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Connection*>(getWindowLongPtr(hwnd));
    if (!self) return defWindowProc(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_SOCKET: self->onSocket(wParam, lParam); return 0;
    case WM_LOOKUP: self->onLookup(wParam, lParam); return 0;
    case WM_ABANDONED: self->dispatcher(EV_CLOSED, 0); return 0;
    case WM_TIMER:
        if (wParam == kTimeoutTimer) {
            // An expiry queued before the timer was stopped, or one that stood in for a timer
            // and was overtaken by a later arming, ends nothing.
            if (!self->timerRunning_ || (lParam != 0 && static_cast<std::uint32_t>(lParam) != self->timeoutArming_))
                return 0;
            self->stopTimer();
            self->idleTimedOut_ = true;
            self->dispatcher(EV_TIMEOUT, 0);
        } else if (wParam == kLifeTimer) {
            self->onLifeLimit();
        }
        return 0;
    default: return defWindowProc(hwnd, msg, wParam, lParam);
    }
}

void Connection::onSocket(WPARAM wParam, LPARAM lParam) {
    auto s = static_cast<SOCKET>(wParam);
    switch (loWord(lParam)) {
    case FD_READ: {
        if (tls_) {
            onTlsReadable(s);
            return;
        }
        stopTimer();
        char buf[kReceiveSize];
        long n = recvSocket(s, buf, sizeof buf);
        if (n <= 0) {
            dispatcher(EV_CLOSED, 0);
            return;
        }
        lines_.append(buf, n);
        deliverLines();
        afterRead(s);
        return;
    }
    case FD_WRITE:
        if (connectPending_) {
            connectPending_ = false;
            return;
        }
        if (tls_ && handshaking_) {
            if (s == socket_) continueHandshake();
            return;
        }
        if (tls_ && readWaitsForWrite_) {
            readWaitsForWrite_ = false;
            onTlsReadable(s);
            if (s != socket_) return;
        }
        onWritable();
        return;
    case FD_CONNECT:
        if (hiWord(lParam) == 0) {
            dispatcher(EV_CONNECT, 1);
            connectPending_ = true;
        } else {
            failOpen(socketErrorWords(hiWord(lParam)));
        }
        return;
    case FD_CLOSE: {
        DebugLine(LOG_APP, LOG_LOW, "case FD_CLOSE");
        char buf[kReceiveSize];
        long n = recvSocket(s, buf, sizeof buf);
        if (n < 0) DebugLineInt(LOG_NET, LOG_LOW, "FD_CLOSE error", socketError());
        if (n > 0) {
            lines_.append(buf, n);
            deliverLines();
            if (lines_.overlong()) lines_.reset();
        }
        if (s == socket_) closeSocket();
        dispatcher(EV_CLOSED, 0);
        return;
    }
    default: return;
    }
}

void Connection::onLookup(WPARAM handle, LPARAM lParam) {
    if (handle != lookupHandle_) return;
    lookupHandle_ = 0;
    bool ok = hiWord(lParam) == 0 && lookup_ && lookup_->addressLength == 4;
    if (ok) peer_.address = lookup_->address;
    lookup_.reset();
    if (!ok) {
        failOpen(lookupErrorWords(hiWord(lParam) ? hiWord(lParam) : 1));
        return;
    }
    connect();
}

void Connection::failOpen(std::string why) {
    openFailure_ = std::move(why);
    closeSocket();  // never connected: nothing may be sent on it, not even QUIT
    dispatcher(EV_CONNECT, 0);
}
