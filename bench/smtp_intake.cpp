// SMTP intake benchmark: messages of 1 KB, 10 KB and 100 KB handed to an SMTP server (a running
// engine's local SMTP server, or a peer measured beside it) over 1, 4 and 16 concurrent
// sessions. Prints messages per second and MB per second.
//
//   smtp_intake PORT [MESSAGES_PER_RUN [SIZE_KB SESSIONS [ONE_PER_CONNECTION [IDLE_SOCKETS]]]]
//
// With SIZE_KB and SESSIONS only that one row is measured. ONE_PER_CONNECTION 1 opens a new
// connection for every message (what a connection costs the server shows there); IDLE_SOCKETS
// holds that many idle loopback connections open meanwhile, so that the machine's TCP table
// is as long as a busy machine's. bench/run_smtp_intake.sh starts a private engine (and, where
// Postfix is installed, a private Postfix) and runs this.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

class Session {
public:
    explicit Session(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ok_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    }
    ~Session() { ::close(fd_); }
    bool ok() const { return ok_; }

    std::string reply() {
        for (;;) {
            auto pos = buf_.find("\r\n");
            if (pos != std::string::npos) {
                std::string line = buf_.substr(0, pos);
                buf_.erase(0, pos + 2);
                return line;
            }
            char chunk[4096];
            ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) return "closed";
            buf_.append(chunk, static_cast<size_t>(n));
        }
    }
    bool send(const std::string& s) {
        size_t off = 0;
        while (off < s.size()) {
            ssize_t n = ::send(fd_, s.data() + off, s.size() - off, MSG_NOSIGNAL);
            if (n <= 0) return false;
            off += static_cast<size_t>(n);
        }
        return true;
    }
    bool command(const std::string& line, const char* expect) {
        return send(line + "\r\n") && reply().rfind(expect, 0) == 0;
    }

private:
    int fd_ = -1;
    bool ok_ = false;
    std::string buf_;
};

std::string makeBody(size_t bytes) {
    std::string body = "Subject: benchmark\r\n\r\n";
    std::string line(76, 'b');
    while (body.size() + line.size() + 2 < bytes) body += line + "\r\n";
    return body;
}

struct Result {
    double seconds;
    int delivered;
};

// Idle connections to a listener of our own on 127.0.0.1, held until destroyed (each is two
// entries of the kernel's TCP table).
class IdleSockets {
public:
    explicit IdleSockets(int count) {
        if (count <= 0) return;
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&sa), len) != 0 || ::listen(listener_, 4096) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
            return;
        for (int i = 0; i < count; ++i) {
            int c = ::socket(AF_INET, SOCK_STREAM, 0);
            if (c < 0 || ::connect(c, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
                if (c >= 0) ::close(c);
                break;
            }
            fds_.push_back(c);
            int a = ::accept(listener_, nullptr, nullptr);
            if (a >= 0) fds_.push_back(a);
        }
    }
    ~IdleSockets() {
        for (int fd : fds_) ::close(fd);
        if (listener_ >= 0) ::close(listener_);
    }
    std::size_t connections() const { return fds_.size() / 2; }

private:
    int listener_ = -1;
    std::vector<int> fds_;
};

Result run(int port, int sessions, int messages, const std::string& body, bool onePerConnection) {
    std::atomic<int> next{0};
    std::atomic<int> delivered{0};
    auto worker = [&] {
        std::string data = body + ".\r\n";
        while (next.load() < messages) {
            Session s(port);
            if (!s.ok() || s.reply().rfind("220", 0) != 0 || !s.command("HELO bench", "250")) return;
            while (next.fetch_add(1) < messages) {
                if (!s.command("RSET", "250") || !s.command("MAIL FROM:<bench@example.org>", "250") ||
                    !s.command("RCPT TO:<sink@example.net>", "250") || !s.command("DATA", "354"))
                    return;
                if (!s.send(data) || s.reply().rfind("250", 0) != 0) return;
                ++delivered;
                if (onePerConnection) break;
            }
            s.command("QUIT", "221");
        }
    };
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < sessions; ++i) threads.emplace_back(worker);
    for (auto& t : threads) t.join();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {took.count(), delivered.load()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(
            stderr,
            "usage: smtp_intake PORT [MESSAGES_PER_RUN [SIZE_KB SESSIONS [ONE_PER_CONNECTION [IDLE_SOCKETS]]]]\n");
        return 1;
    }
    int port = std::atoi(argv[1]);
    int messages = argc > 2 ? std::atoi(argv[2]) : 200;
    std::vector<std::size_t> sizes = {1024, 10 * 1024, 100 * 1024};
    std::vector<int> sessionCounts = {1, 4, 16};
    if (argc > 4) {
        sizes = {static_cast<std::size_t>(std::atoi(argv[3])) * 1024};
        sessionCounts = {std::atoi(argv[4])};
    }
    bool onePerConnection = argc > 5 && std::atoi(argv[5]) != 0;
    IdleSockets idle(argc > 6 ? std::atoi(argv[6]) : 0);
    if (onePerConnection || idle.connections())
        std::printf("(one message per connection: %s; idle loopback connections held: %zu)\n",
                    onePerConnection ? "yes" : "no", idle.connections());
    std::printf("%-8s %-9s %9s %10s %10s %8s\n", "size", "sessions", "messages", "msg/s", "MB/s", "seconds");
    for (std::size_t size : sizes) {
        std::string body = makeBody(size);
        for (int sessions : sessionCounts) {
            Result r = run(port, sessions, messages, body, onePerConnection);
            double mb = static_cast<double>(r.delivered) * static_cast<double>(body.size()) / 1e6;
            std::string label = std::to_string(size / 1024) + " KB";
            std::printf("%-8s %-9d %9d %10.1f %10.2f %8.2f\n", label.c_str(), sessions, r.delivered,
                        r.delivered / r.seconds, mb / r.seconds, r.seconds);
            std::fflush(stdout);
            if (r.delivered != messages) {
                std::fprintf(stderr, "only %d of %d messages were accepted\n", r.delivered, messages);
                return 1;
            }
        }
    }
    return 0;
}
