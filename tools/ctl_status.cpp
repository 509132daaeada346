#include "tools/ctl_status.h"

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/socket.h"
#include "link/engine_state.h"
#include "config/settings.h"
#include "config/settings_keys.h"
#include "log/day_logs.h"

#include <cstdio>
#include <filesystem>
#include <string>

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
        auto last = config::accountDword(accounts, i, "lastcheck");
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
    }
    printAccounts();
    if (state) {
        auto failure = lastHighLine(state->dataDir);
        std::printf("last failure: %s\n", failure ? failure->c_str() : "none");
    }
    return engineRuns ? 0 : 1;
}
