// check_once: runs one account check in the working directory, as a cycle's check step would,
// without the engine: every account of the registry is checked, new items are moved into
// "accounts/<destmailbox>/", and each stored item's path is printed on its own line.
//
//   check_once [--timeout-ms N] [--connection-limit-s N]
//
// Exit status 0 when every account was checked completely, 1 when any failed.
#include "net/client.h"
#include "platform/event_loop.h"
#include "platform/window.h"
#include "pop3/check.h"
#include "shared/debug.h"
#include "shared/registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const CheckNotices kNotices;

plat::LRESULT ownerProc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM code, plat::LPARAM lParam) {
    // The window's user data: whether an account failed.
    auto* failed = reinterpret_cast<bool*>(plat::getWindowLongPtr(hwnd));
    if (msg != kNotices.message || !failed) return plat::defWindowProc(hwnd, msg, code, lParam);
    int c = static_cast<int>(code);
    if (c == kNotices.newItem) {
        std::printf("%s\n", reinterpret_cast<const char*>(lParam));
        std::fflush(stdout);
    } else if (c == kNotices.accountFailed || c == kNotices.retrieveFailed) {
        std::fprintf(stderr, "check_once: account failed: %s\n",
                     reinterpret_cast<const config::AccountRecord*>(lParam)->title.c_str());
        *failed = true;
    } else if (c == kNotices.finished) {
        plat::postQuitMessage(*failed ? 1 : 0);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--timeout-ms") == 0 && i + 1 < argc) {
            Client::timeoutMs = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (std::strcmp(argv[i], "--connection-limit-s") == 0 && i + 1 < argc) {
            Client::lifeLimitMs = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10)) * 1000;
        } else {
            std::fprintf(stderr, "usage: check_once [--timeout-ms N] [--connection-limit-s N]\n");
            return 2;
        }
    }
    DebugLogOpen();
    if (!plat::registerClass("CHECKONCECLASS", ownerProc)) return 2;
    plat::HWND owner = plat::createWindow("CHECKONCECLASS", "check_once", 0);
    bool failed = false;
    if (owner) plat::setWindowLongPtr(owner, reinterpret_cast<std::intptr_t>(&failed));
    int status;
    {
        Check check(owner, kAccountsKey, &kNotices);
        check.start("accounts/holding");
        status = plat::runMessageLoop();
    }
    plat::destroyWindow(owner);
    DebugLogClose();
    return status;
}
