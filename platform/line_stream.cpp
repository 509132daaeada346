#include "platform/line_stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace plat {
namespace {

constexpr std::size_t kLineLimit = 64 * 1024;

}  // namespace

LineStream::~LineStream() {
    close();
}

void LineStream::close() {
    if (tls_ && handshakeDone_) tls_->close();
    tls_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool LineStream::wait(bool forWrite, int timeoutMs, std::string& why) {
    pollfd p{fd_, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    for (;;) {
        int rc = ::poll(&p, 1, timeoutMs);
        if (rc > 0) return true;
        if (rc == 0) {
            why = "no answer within " + std::to_string(timeoutMs / 1000) + " s";
            failure_ = StreamFailure::TimedOut;
            return false;
        }
        if (errno != EINTR) {
            why = std::strerror(errno);
            failure_ = StreamFailure::Other;
            return false;
        }
    }
}

bool LineStream::connect(const std::string& host, std::uint16_t port, int timeoutMs, std::string& address,
                         std::string& why) {
    close();
    connectFailure_ = ConnectFailure::None;
    failure_ = StreamFailure::None;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_family = AF_UNSPEC;
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (rc != 0) {
        why = rc == EAI_NONAME ? "no such host" : ::gai_strerror(rc);
        connectFailure_ = rc == EAI_NONAME ? ConnectFailure::NoSuchHost : ConnectFailure::NameLookup;
        return false;
    }
    why = "no address";
    connectFailure_ = ConnectFailure::Other;
    for (addrinfo* a = list; a; a = a->ai_next) {
        int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        fd_ = fd;
        int err = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (err == EINPROGRESS && wait(true, timeoutMs, why)) {
            socklen_t len = sizeof err;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        } else if (err == EINPROGRESS) {
            connectFailure_ = ConnectFailure::TimedOut;
            ::close(fd);
            fd_ = -1;
            continue;
        }
        if (err == 0) {
            char text[INET6_ADDRSTRLEN] = "";
            const void* raw = a->ai_family == AF_INET6
                                  ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr)
                                  : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr);
            ::inet_ntop(a->ai_family, raw, text, sizeof text);
            address = text;
            connectFailure_ = ConnectFailure::None;
            failure_ = StreamFailure::None;
            ::freeaddrinfo(list);
            return true;
        }
        why = socketErrorWords(err);
        connectFailure_ = err == ECONNREFUSED                          ? ConnectFailure::Refused
                          : err == ETIMEDOUT                           ? ConnectFailure::TimedOut
                          : err == ENETUNREACH || err == EHOSTUNREACH ? ConnectFailure::Unreachable
                                                                       : ConnectFailure::Other;
        ::close(fd);
        fd_ = -1;
    }
    ::freeaddrinfo(list);
    failure_ = StreamFailure::None;  // a wait above may have set it; connectFailure_ tells why
    return false;
}

bool LineStream::startTls(const std::string& host, const std::string& caFile, int timeoutMs, std::string& why) {
    failure_ = StreamFailure::None;
    tls_ = TlsChannel::open(fd_, host, caFile, why);
    if (!tls_) return failure_ = StreamFailure::Other, false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        TlsChannel::Step step = tls_->handshake();
        if (step == TlsChannel::Step::Done) {
            handshakeDone_ = true;
            return true;
        }
        if (step == TlsChannel::Step::Failed) {
            why = tls_->failure();
            failure_ = StreamFailure::Other;
            return false;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !wait(tls_->wantsWrite(), static_cast<int>(left.count()), why)) {
            why = "TLS handshake with " + host + ": no answer within " + std::to_string(timeoutMs / 1000) + " s";
            failure_ = StreamFailure::TimedOut;
            return false;
        }
    }
}

bool LineStream::writeAll(std::string_view data, int timeoutMs, std::string& why) {
    failure_ = StreamFailure::None;
    while (!data.empty()) {
        long n = tls_ ? tls_->write(data.data(), data.size()) : sendSocket(fd_, data.data(), data.size());
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && socketError() == errorWouldBlock()) {
            if (!wait(tls_ ? tls_->wantsWrite() : true, timeoutMs, why)) return false;
            continue;
        }
        why = "the connection was closed";
        failure_ = StreamFailure::Closed;
        return false;
    }
    return true;
}

long LineStream::readSome(char* buffer, std::size_t length) {
    return tls_ ? tls_->read(buffer, length) : recvSocket(fd_, buffer, length);
}

bool LineStream::readLine(std::string& line, int timeoutMs, std::string& why) {
    failure_ = StreamFailure::None;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending_.erase(0, end + 1);
            return true;
        }
        if (pending_.size() > kLineLimit) {
            why = "a line longer than 64 KiB";
            failure_ = StreamFailure::LineTooLong;
            return false;
        }
        char buffer[4096];
        long n = readSome(buffer, sizeof buffer);
        if (n > 0) {
            pending_.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) {
            why = "the server closed the connection";
            failure_ = StreamFailure::Closed;
            return false;
        }
        if (socketError() != errorWouldBlock()) {
            why = "the connection failed: " + socketErrorWords(socketError());
            failure_ = StreamFailure::Broken;
            return false;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            why = "no answer within " + std::to_string(timeoutMs / 1000) + " s";
            failure_ = StreamFailure::TimedOut;
            return false;
        }
        if (!wait(tls_ && tls_->wantsWrite(), static_cast<int>(left.count()), why)) return false;
    }
}

}  // namespace plat
