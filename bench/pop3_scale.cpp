// Scale benchmark of the retrieval: a POP3 server (a thread of this program) lists N unique
// identifiers, half of them recorded in the account's identifier file by an earlier check and
// half new (small messages), or all of them new with --new-only. One account check retrieves
// the new ones; the time per retrieved message and the peak resident memory of the check are
// printed for each N. Matching must stay hashed and recording must stay per message, so the
// cost per message should not grow with N, and memory should grow only with the listing.
//
//   pop3_scale [--new-only] [--dir DIR] [N ...]        (default: 2000 20000)
//
// Runs in a temporary working directory (under DIR, default /tmp) with its own registry hive.
// Every stored item and identifier is flushed to disk, so on a real disk the flushes dominate;
// under a memory file system (--dir /dev/shm) the figures are the engine's own cost.
#include "net/connection.h"
#include "platform/event_loop.h"
#include "platform/paths.h"
#include "pop3/check.h"
#include "pop3/uidl.h"
#include "log/debug.h"
#include "config/settings.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string uid(int n) {
    char text[32];
    std::snprintf(text, sizeof text, "uid-%08d", n);
    return text;
}

// Serves one session: every command answered at once, the listing in one write.
class ListingServer {
public:
    explicit ListingServer(int listed) : listed_(listed) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        ::listen(fd_, 1);
        socklen_t len = sizeof sa;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~ListingServer() {
        thread_.join();
        ::close(fd_);
    }
    int port() const { return port_; }

private:
    void put(int c, const std::string& s) {
        for (std::size_t off = 0; off < s.size();) {
            ssize_t n = ::send(c, s.data() + off, s.size() - off, MSG_NOSIGNAL);
            if (n <= 0) return;
            off += static_cast<std::size_t>(n);
        }
    }
    void serve() {
        int c = ::accept(fd_, nullptr, nullptr);
        put(c, "+OK ready\r\n");
        std::string in;
        char buf[4096];
        const std::string body =
            "Subject: small\r\nFrom: a@b\r\n\r\nA small message of a few lines.\r\n..dot\r\nend\r\n";
        for (;;) {
            std::size_t eol;
            while ((eol = in.find("\r\n")) == std::string::npos) {
                ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) {
                    ::close(c);
                    return;
                }
                in.append(buf, static_cast<std::size_t>(n));
            }
            std::string line = in.substr(0, eol);
            in.erase(0, eol + 2);
            if (line == "UIDL") {
                std::string listing = "+OK\r\n";
                for (int n = 1; n <= listed_; ++n) listing += std::to_string(n) + " " + uid(n) + "\r\n";
                put(c, listing + ".\r\n");
            } else if (line.rfind("RETR", 0) == 0) {
                put(c, "+OK\r\n" + body + ".\r\n");
            } else if (line == "QUIT") {
                put(c, "+OK bye\r\n");
                ::close(c);
                return;
            } else {
                put(c, "+OK\r\n");
            }
        }
    }

    int listed_;
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

bool g_finished = false;
bool g_newOnly = false;

// The process's peak resident memory in kB since the last resetPeak.
long peakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct FinishWatch : CheckObserver {
    void accountStarted(const config::AccountRecord&) override {}
    void itemStored(const std::string&) override {}
    void accountEnded(const config::AccountRecord&, AccountOutcome) override {}
    void checkFinished() override { g_finished = true; }
};

int newCount(int listed) {
    return g_newOnly ? listed : listed / 2;
}

// One check over `listed` identifiers, the odd ones recorded before unless all are new;
// answers ms per new item.
double run(int listed) {
    std::filesystem::remove_all("accounts");
    std::filesystem::create_directories("accounts/holding");
    std::filesystem::create_directories("accounts/box");
    std::remove("box.uidl");
    {
        UIDL known;
        known.load("box.uidl");
        for (int n = 1; n <= listed && !g_newOnly; n += 2) known.add(uid(n), 0, 0);
        if (!known.save()) std::printf("cannot write box.uidl\n");
    }
    ListingServer server(listed);
    plat::RegKey accounts;
    config::openAccountsKey(accounts);
    config::deleteAccountKey(accounts, "box");
    config::createAccountKey(accounts, "box");
    config::writeAccountString(accounts, "box", "server", "127.0.0.1");
    config::writeAccountDword(accounts, "box", "port", static_cast<std::uint32_t>(server.port()));
    config::writeAccountString(accounts, "box", "user", "bench");
    config::writeAccountString(accounts, "box", "pass", "pw");
    config::writeAccountString(accounts, "box", "uidlfile", "box.uidl");
    config::writeAccountString(accounts, "box", "destmailbox", "box");

    FinishWatch watch;
    g_finished = false;
    auto start = std::chrono::steady_clock::now();
    {
        Check check(kAccountsKey, &watch);
        check.start("accounts/holding");
        while (!g_finished) plat::pumpMessages(50);
    }
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    int stored = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("accounts/box")) ++stored;
    if (stored != newCount(listed)) std::printf("expected %d items, found %d\n", newCount(listed), stored);
    return ms / newCount(listed);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    std::string under = "/tmp";
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--new-only") {
            g_newOnly = true;
        } else if (std::string(argv[i]) == "--dir" && i + 1 < argc) {
            under = argv[++i];
        } else {
            sizes.push_back(std::atoi(argv[i]));
        }
    }
    if (sizes.empty()) sizes = {2000, 20000};

    std::string root = under + "/trawlex-scale-XXXXXX";
    if (!::mkdtemp(root.data())) return 1;
    std::string base = root;
    for (const char* sub : {"/run", "/config", "/work"}) ::mkdir((base + sub).c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", (base + "/run").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
    if (::chdir((base + "/work").c_str()) != 0) return 1;
    // The debug log copies every line to standard error: thousands of them here.
    if (!std::freopen("/dev/null", "w", stderr)) return 1;
    DebugLogOpen();

    std::printf("in %s\n%-10s %-10s %-16s %-14s\n", under.c_str(), "listed", "new", "ms per message", "peak RSS MB");
    double first = 0;
    for (int listed : sizes) {
        resetPeak();
        double perMessage = run(listed);
        if (first == 0) first = perMessage;
        std::printf("%-10d %-10d %-16.3f %-14.1f (%.2fx the first)\n", listed, newCount(listed), perMessage,
                    peakResidentKb() / 1024.0, perMessage / first);
        std::fflush(stdout);
    }
    DebugLogClose();
    std::filesystem::remove_all(base);
    return 0;
}
