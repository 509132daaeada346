// check_once: runs one account check in the working directory, as a cycle's check step would,
// without the engine: every account of the registry is checked, new items are moved into
// "accounts/<destmailbox>/", and each stored item's path is printed on its own line.
//
//   check_once [--timeout-ms N] [--connection-limit-s N]
//
// Exit status 0 when every account was checked completely, 1 when any failed.
#include "net/connection.h"
#include "platform/event_loop.h"
#include "pop3/check.h"
#include "log/debug.h"
#include "config/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Prints each stored item and remembers whether an account failed; quits the loop at the end.
class Printer : public CheckObserver {
public:
    bool failed = false;

    void accountStarted(const config::AccountRecord&) override {}
    void itemStored(const std::string& path) override {
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
    }
    void accountEnded(const config::AccountRecord& account, AccountOutcome outcome) override {
        if (outcome == AccountOutcome::Done) return;
        std::fprintf(stderr, "check_once: account failed: %s\n", account.title.c_str());
        failed = true;
    }
    void checkFinished() override { plat::postQuitMessage(failed ? 1 : 0); }
};

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--timeout-ms") == 0 && i + 1 < argc) {
            Connection::timeoutMs = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (std::strcmp(argv[i], "--connection-limit-s") == 0 && i + 1 < argc) {
            Connection::lifeLimitMs = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10)) * 1000;
        } else {
            std::fprintf(stderr, "usage: check_once [--timeout-ms N] [--connection-limit-s N]\n");
            return 2;
        }
    }
    DebugLogOpen();
    Printer printer;
    int status;
    {
        Check check(kAccountsKey, &printer);
        check.start("accounts/holding");
        status = plat::runMessageLoop();
    }
    DebugLogClose();
    return status;
}
