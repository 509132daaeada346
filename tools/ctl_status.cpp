#include "tools/ctl_status.h"
#include "config/account_values.h"

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/socket.h"
#include "link/engine_state.h"
#include "config/settings.h"
#include "config/settings_keys.h"
#include "log/day_logs.h"
#include "smtp/outgoing_accounts.h"
#include "smtp/outgoing_results.h"
#include "smtp/outgoing_routes.h"

#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kProbeMs = 2000;

void printServer(const char* name, const ServerState& server) {
    // The engine's own word decides: a port that answers may belong to another program.
    bool answers = server.listening && server.port > 0 &&
                   plat::loopbackPortAnswers(static_cast<std::uint16_t>(server.port), kProbeMs);
    std::printf("%s server: port %d, %s\n", name, server.port,
                answers            ? "listening"
                : server.listening ? "not answering"
                                   : "not listening (see the log)");
}

int queueSize(const std::string& dataDir) {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(dataDir) / "outgoing", ec)) {
        if (entry.path().extension() == ".rfc822") ++count;
    }
    return count;
}

std::string localTime(long long seconds) {
    std::tm t{};
    int offset = 0;
    char text[32] = "";
    if (!plat::localTimeAt(seconds, t, offset)) return std::to_string(seconds);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
    return text;
}

// The reverse path of a routing file (a count, then each address as its length and its bytes,
// little-endian); empty when it cannot be read.
std::string reversePath(const fs::path& routing) {
    std::ifstream in(routing, std::ios::binary);
    unsigned char head[8];
    if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return {};
    std::uint32_t count = head[0] | head[1] << 8 | head[2] << 16 | static_cast<std::uint32_t>(head[3]) << 24;
    std::uint32_t length = head[4] | head[5] << 8 | head[6] << 16 | static_cast<std::uint32_t>(head[7]) << 24;
    if (count < 1 || length < 1 || length > 4096) return {};
    std::string address(length, '\0');
    if (!in.read(address.data(), length)) return {};
    return address;
}

// Each outgoing host: the global one and every account's own, with the queued items its
// senders send through it (as the next cycle will group them) and its last result.
void printOutgoingHosts(const std::string& dataDir) {
    std::vector<outgoing::AccountRoute> routes = outgoing::readAccountRoutes();
    std::vector<std::string> senders;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(dataDir) / "outgoing", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 6 && name.compare(name.size() - 6, 6, ".route") == 0)
            senders.push_back(reversePath(entry.path()));
    }
    std::map<int, std::size_t> queued;  // by route, -1 the global host
    for (const outgoing::HostGroup& g : outgoing::groupByHost(routes, senders)) queued[g.route] += g.items.size();
    std::vector<outgoing::HostResult> results = outgoing::readHostResults();
    auto print = [&](const std::string& label, const std::string& owner, std::size_t count) {
        std::string last = "none yet";
        for (const outgoing::HostResult& r : results)
            if (r.label == label && r.owner == owner) last = r.result + " at " + localTime(r.when);
        std::printf("outgoing host %s (%s): %zu queued, last: %s\n", label.c_str(), owner.c_str(), count, last.c_str());
    };
    std::string global = config::readSetting(config::kOutHostName);
    auto port = config::readOutHostPort();
    print(global.empty() ? "(not set)" : global + ":" + std::to_string(port.value_or(0)), "the global outgoing host",
          queued[-1]);
    for (std::size_t i = 0; i < routes.size(); ++i) {
        if (routes[i].server.empty()) continue;
        print(routes[i].server + ":" + std::to_string(routes[i].port), "account " + routes[i].account,
              queued[static_cast<int>(i)]);
    }
}

// Read only: the accounts key is never created here.
void printAccounts() {
    plat::RegKey accounts;
    if (plat::regOpenKey(plat::Hive::CurrentUser, kAccountsKey, plat::KeyAccess::Read, accounts) !=
            plat::RegStatus::Ok ||
        config::accountCount(accounts) == 0) {
        std::printf("accounts: none\n");
        return;
    }
    std::string title;
    for (int i = 0; config::accountTitle(accounts, i, title); ++i) {
        auto last = config::accountDword(accounts, i, config::kLastCheckValue);
        std::printf("account %s: %s\n", title.c_str(),
                    last && *last ? ("last check " + localTime(*last)).c_str() : "never checked");
    }
}

}  // namespace

int printStatus(bool engineRuns) {
    std::optional<EngineState> state = engineRuns ? readEngineState() : std::nullopt;
    if (!engineRuns) {
        std::printf("engine: not running\n");
    } else if (!state) {
        std::printf("engine: running (it says nothing about itself: an older engine?)\n");
    } else {
        std::printf("engine: running, pid %d\n", state->pid);
        std::printf("data directory: %s\n", state->dataDir.c_str());
        printServer("SMTP", state->smtp);
        printServer("POP3", state->pop3);
        int queued = queueSize(state->dataDir);
        std::printf("queue: %d item%s\n", queued, queued == 1 ? "" : "s");
        printOutgoingHosts(state->dataDir);
    }
    printAccounts();
    if (state) {
        auto failure = lastHighLine(state->dataDir);
        std::printf("last failure: %s\n", failure ? failure->c_str() : "none");
    }
    return engineRuns ? 0 : 1;
}
