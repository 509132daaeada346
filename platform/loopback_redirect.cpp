#include "platform/loopback_redirect.h"

#include "platform/clock.h"
#include "platform/owned_handles.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace plat {
namespace {

constexpr std::size_t kLongestRequest = 8192;

// Reads the request head until its blank line, the limit or the deadline; empty on failure.
std::string readHead(int fd, long long deadline) {
    std::string head;
    char buf[1024];
    while (head.find("\r\n\r\n") == std::string::npos && head.find("\n\n") == std::string::npos) {
        long long left = deadline - monotonicMs();
        if (left <= 0 || head.size() > kLongestRequest) return {};
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) return {};
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return head;
        head.append(buf, static_cast<std::size_t>(n));
    }
    return head;
}

void answer(int fd, const std::string& page) {
    std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                        std::to_string(page.size()) + "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + page;
    std::size_t done = 0;
    while (done < reply.size()) {
        ssize_t n = ::send(fd, reply.data() + done, reply.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// The query of "GET /path?query HTTP/1.1", empty when there is none.
std::string queryOf(const std::string& head) {
    if (head.compare(0, 4, "GET ") != 0) return {};
    std::size_t end = head.find(' ', 4);
    std::string target = head.substr(4, end == std::string::npos ? std::string::npos : end - 4);
    std::size_t mark = target.find('?');
    return mark == std::string::npos ? std::string() : target.substr(mark + 1);
}

bool holdsAnswer(const std::string& query) {
    return query.compare(0, 5, "code=") == 0 || query.find("&code=") != std::string::npos ||
           query.compare(0, 6, "error=") == 0 || query.find("&error=") != std::string::npos;
}

}  // namespace

bool LoopbackRedirect::listen(std::string& why) {
    fd_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (!fd_.valid() || ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_.get(), 8) != 0 || ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        why = std::strerror(errno);
        return false;
    }
    port_ = ntohs(address.sin_port);
    return true;
}

std::string LoopbackRedirect::awaitQuery(int timeoutMs, const std::string& page) {
    long long deadline = monotonicMs() + timeoutMs;
    for (;;) {
        long long left = deadline - monotonicMs();
        if (left <= 0 || !fd_.valid()) return {};
        pollfd p{fd_.get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        Descriptor peer(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!peer.valid()) continue;
        // A browser that opens a connection and says nothing gets a few seconds, not all of it.
        std::string query = queryOf(readHead(peer.get(), std::min(deadline, monotonicMs() + 10000)));
        bool done = holdsAnswer(query);
        answer(peer.get(), done ? page : "<!DOCTYPE html><title>Tarnwick</title>");
        if (done) return query;
    }
}

}  // namespace plat
