// trawlexctl: drives the engine without the desktop front end (scripts, cron, a headless
// machine, tests). While it runs it is the engine's controller: link messages that would go
// to the front end come here instead.
#include "platform/console.h"
#include "platform/event_loop.h"
#include "platform/link.h"
#include "platform/signals.h"
#include "platform/window.h"
#include "link/engine_link.h"
#include "link/engine_state.h"
#include "shared/program_info.h"
#include "tools/ctl_account.h"
#include "tools/ctl_authorize.h"
#include "tools/ctl_probe.h"
#include "tools/ctl_secrets.h"
#include "tools/ctl_status.h"
#include "log/day_logs.h"
#include "log/debug.h"
#include "platform/files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>
#include <unistd.h>

using namespace plat;

namespace {

constexpr char kCtlClass[] = "TRAWLEXCTLCLASS";
constexpr WPARAM kTimeoutTimer = 1;
constexpr WPARAM kShutdownPollTimer = 2;
constexpr WPARAM kEngineGoneTimer = 3;
// A data record's line, printed in its turn behind the messages that arrived before it.
constexpr UINT kPrintRecord = WM_USER + 1;
constexpr int kExitNoEngine = 1;
constexpr int kExitTimedOut = 2;
constexpr int kExitCycleFailed = 3;
constexpr int kExitUsage = 64;  // EX_USAGE
constexpr int kExitInterrupted = 130;
// The front end's window, which is the engine's controller whenever trawlexctl is not.
constexpr char kFrontEndClass[] = "TARNWICKCLASS";
constexpr char kFrontEndTitle[] = "Tarnwick";

enum class Command { Cycle, Watch, Shutdown, Look, Status };

// What the window of a running command keeps; reached through the window's user data.
struct Controller {
    Command command = Command::Watch;
    bool cycleFailed = false;  // set by CYCLE_FAILURE: the cycle ends with kExitCycleFailed
    std::deque<std::string> recordLines;  // data records' lines waiting for their turn
};

const char kUsage[] =
    "usage: trawlexctl [--timeout SECONDS] cycle|watch|status|shutdown|look\n"
    "       trawlexctl authorize ACCOUNT|outgoing [--preset NAME] [--client-id ID]\n"
    "                            [--client-secret SECRET] [--timeout SECONDS] [--print-tokens]\n"
    "       trawlexctl secrets migrate\n"
    "       trawlexctl account add ADDRESS [options] | list | show T | set T KEY VALUE | remove T\n"
    "       trawlexctl outgoing set [options]\n"
    "       trawlexctl probe TITLE|HOST:PORT [--protocol pop3|imap|smtp] [--security ...] [--login]\n"
    "       trawlexctl --help | --version\n"
    "\n"
    "  cycle     ask the engine for a cycle and print its link messages until CYCLE_FINISHED;\n"
    "            the HIGH lines the day log got meanwhile follow on standard error\n"
    "  watch     register with the engine and print its link messages until interrupted\n"
    "  status    print whether the engine runs, its data directory, its two ports and whether\n"
    "            each listens, the queue's size, each outgoing host with its queued items\n"
    "            and last result, each account's last check and the last\n"
    "            failure (the newest HIGH line of the day logs)\n"
    "  shutdown  tell the engine to end, and wait until it has gone\n"
    "  look      only look whether the engine runs (exit status 0) or not (1)\n"
    "  authorize sign ACCOUNT (or the outgoing host) in with OAuth 2.0: prints the provider's\n"
    "            address to open (and runs $BROWSER with it), waits for the answer on a port of\n"
    "            127.0.0.1 (--timeout, 300 seconds unless told), and stores the refresh token;\n"
    "            --preset google|microsoft fills the provider's addresses and scope; the client\n"
    "            id is the one you registered with the provider (--auth-url, --token-url and\n"
    "            --scope give another provider's). No engine is needed.\n"
    "            --print-tokens prints the tokens (refresh_token=, access_token=, expires_in=)\n"
    "            instead of storing them, for an account not made yet\n"
    "  account add ADDRESS\n"
    "            add an account from its address: the provider's settings are looked up (the\n"
    "            provider table, the domain's settings file over HTTPS, SRV and MX records),\n"
    "            shown and, once confirmed (--yes for scripts), written to user.reg; the\n"
    "            password comes from the terminal or, with --password-stdin, standard input.\n"
    "            Options: --title T --protocol pop3|imap --server H --port N\n"
    "            --security none|starttls|tls --user U --oauth PRESET --client-id ID\n"
    "            --leave no|yes|DAYS --no-lookup (the shipped table only, no network)\n"
    "  account list|show TITLE|set TITLE KEY VALUE|remove TITLE\n"
    "            the accounts in user.reg (passwords are never shown; a password is set with\n"
    "            VALUE - and read from standard input)\n"
    "  outgoing set\n"
    "            the outgoing host (--server --port --security --user --password-stdin\n"
    "            --oauth PRESET --client-id ID), or with --account T that account's own\n"
    "            outgoing server and the sender --addresses it is used for\n"
    "  probe TITLE|HOST:PORT\n"
    "            connect as the account (or the outgoing host, \"outgoing\") would and report the\n"
    "            greeting, TLS, the certificate, the capabilities and, with --login, whether\n"
    "            the log-in works, with the time of each step\n"
    "  secrets migrate\n"
    "            move every password, local password and refresh token of user.reg into the\n"
    "            desktop's secret store and mark them so (\"secretstore\" 1). No engine is needed\n"
    "\n"
    "  --timeout SECONDS  give up after that long (cycle, watch, shutdown; shutdown waits\n"
    "                     10 seconds unless told otherwise)\n"
    "  --help             print this text and exit\n"
    "  --version          print the version and exit\n"
    "\n"
    "While cycle or watch runs, trawlexctl is the engine's controller: the link messages\n"
    "go to it instead of the front end. When it ends (also on Ctrl-C) it hands the role\n"
    "back to the front end, if one runs.\n"
    "\n"
    "Exit status:\n"
    "  0    done; for cycle: the cycle finished without a failure\n"
    "  1    no engine runs for this user, or it ended or stopped answering\n"
    "  2    timed out (--timeout)\n"
    "  3    cycle: the cycle finished and reported a failure (CYCLE_FAILURE); probe: a step\n"
    "       failed\n"
    "  4    authorize: the sign-in failed or was refused; secrets migrate: something was\n"
    "       left in user.reg (no secret store, or it is locked); account, outgoing: no settings\n"
    "       found, or user.reg could not be written\n"
    "  1    account add: the settings were not confirmed (nothing written)\n"
    "  64   bad usage\n"
    "  130  interrupted (SIGINT or SIGTERM)\n";

LRESULT procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Controller*>(getWindowLongPtr(hwnd));
    if (!self) return defWindowProc(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_ENGINE_LINK: {
        const char* name = linkNoticeName(static_cast<int>(wParam));
        if (name) {
            std::printf("%s\n", name);
        } else {
            std::printf("LINK_%lu\n", static_cast<unsigned long>(wParam));
        }
        std::fflush(stdout);
        if (wParam == static_cast<WPARAM>(CYCLE_FAILURE)) self->cycleFailed = true;
        if (self->command == Command::Cycle && wParam == static_cast<WPARAM>(CYCLE_FINISHED))
            postQuitMessage(self->cycleFailed ? kExitCycleFailed : 0);
        return 0;
    }
    case WM_COPYDATA: {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!cds) return 1;
        std::string path;
        if (cds->lpData && cds->cbData > 0) {
            path.assign(static_cast<const char*>(cds->lpData), cds->cbData);
            path = path.c_str();  // up to the terminating NUL
        }
        // A data record is sent and handled at once, while link messages the engine posted
        // before it may still wait in our queue: its line waits its turn behind them.
        const char* name = copyDataName(static_cast<int>(cds->dwData));
        self->recordLines.push_back((name ? std::string(name) : "COPYDATA_" + std::to_string(cds->dwData)) + " " +
                                    path);
        postMessage(hwnd, kPrintRecord, 0, 0);
        return 1;
    }
    case kPrintRecord:
        if (!self->recordLines.empty()) {
            std::printf("%s\n", self->recordLines.front().c_str());
            std::fflush(stdout);
            self->recordLines.pop_front();
        }
        return 0;
    case WM_TIMER:
        if (wParam == kTimeoutTimer) {
            std::fprintf(stderr, "trawlexctl: timed out\n");
            postQuitMessage(kExitTimedOut);
        } else if (wParam == kShutdownPollTimer && !findWindow(kEngineClass, kEngineTitle)) {
            postQuitMessage(0);
        } else if (wParam == kEngineGoneTimer && !findWindow(kEngineClass, kEngineTitle)) {
            // Nothing more can come: the engine was stopped or died.
            std::fprintf(stderr, "trawlexctl: the engine has ended\n");
            postQuitMessage(kExitNoEngine);
        }
        return 0;
    default: return defWindowProc(hwnd, msg, wParam, lParam);
    }
}

bool parseArgs(int argc, char** argv, Command& command, double& timeoutSeconds) {
    bool haveCommand = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--timeout" && i + 1 < argc) {
            char* end = nullptr;
            timeoutSeconds = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(timeoutSeconds > 0) || timeoutSeconds > 1e6) return false;
        } else if (!haveCommand && (a == "cycle" || a == "watch" || a == "shutdown" || a == "look" || a == "status")) {
            command = a == "cycle"    ? Command::Cycle
                      : a == "watch"  ? Command::Watch
                      : a == "look"   ? Command::Look
                      : a == "status" ? Command::Status
                                      : Command::Shutdown;
            haveCommand = true;
        } else {
            return false;
        }
    }
    return haveCommand;
}

// The HIGH lines the log got since mark, on standard error: why a cycle failed, for cron's mail.
void printHighLines(const std::optional<EngineState>& state, const LogMark& mark) {
    if (!state) return;
    for (const std::string& line : highLinesSince(state->dataDir, mark)) std::fprintf(stderr, "%s\n", line.c_str());
}

// The engine has one controller and we took the role: give it back to the front end.
void handBackController(HWND engine) {
    if (HWND frontEnd = findWindow(kFrontEndClass, kFrontEndTitle))
        postMessage(engine, WM_ENGINE_LINK, LINK_REGISTER, static_cast<LPARAM>(frontEnd));
}

// trawlexctl may be started anywhere: its log lines join the engine's day log in the engine's
// data folder, or, while there is none yet, only standard error, never the current directory.
void logIntoEngineFolder() {
    std::string dir = engineDataDirectory();
    DebugLogSetFolder(plat::fileExists(dir) ? std::optional<std::string>(dir) : std::nullopt);
}

}  // namespace

int main(int argc, char** argv) {
    if (answerHelpOrVersion(argc, argv, "trawlexctl", kUsage)) return 0;
    logIntoEngineFolder();
    if (argc >= 2 && std::string(argv[1]) == "authorize") {
        prepareProcess();
        return runAuthorize(std::vector<std::string>(argv + 2, argv + argc));
    }
    if (argc >= 2 && std::string(argv[1]) == "account") {
        prepareProcess();
        return runAccount(std::vector<std::string>(argv + 2, argv + argc));
    }
    if (argc >= 2 && std::string(argv[1]) == "probe") {
        prepareProcess();
        return runProbe(std::vector<std::string>(argv + 2, argv + argc));
    }
    if (argc >= 2 && std::string(argv[1]) == "outgoing") {
        prepareProcess();
        return runOutgoing(std::vector<std::string>(argv + 2, argv + argc));
    }
    if (argc >= 2 && std::string(argv[1]) == "secrets") {
        prepareProcess();
        return runSecrets(std::vector<std::string>(argv + 2, argv + argc));
    }
    Controller controller;
    double timeoutSeconds = 0;
    if (!parseArgs(argc, argv, controller.command, timeoutSeconds)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    prepareProcess();

    HWND engine = findWindow(kEngineClass, kEngineTitle);
    const Command command = controller.command;
    if (command == Command::Status) return printStatus(engine != 0);
    if (!engine) {
        std::fprintf(stderr, "trawlexctl: no engine found (is trawlex running for this user?)\n");
        return kExitNoEngine;
    }
    if (command == Command::Look) return 0;  // nothing registered, nothing posted
    if (!registerClass(kCtlClass, procedure)) return kExitNoEngine;
    HWND self = createWindow(kCtlClass, "trawlexctl", 0);
    if (self) setWindowLongPtr(self, reinterpret_cast<std::intptr_t>(&controller));
    std::string title = "trawlexctl-" + std::to_string(::getpid());
    if (!self || publishWindow(self, kCtlClass, title.c_str()) != PublishResult::Published) {
        std::fprintf(stderr, "trawlexctl: cannot publish a window for the engine's answers\n");
        return kExitNoEngine;
    }
    if (timeoutSeconds > 0) setTimer(self, kTimeoutTimer, static_cast<unsigned>(timeoutSeconds * 1000));

    // Where the log stands before the cycle, so that its HIGH lines can be shown afterwards.
    std::optional<EngineState> state = readEngineState();
    LogMark mark = state ? markDayLogs(state->dataDir) : LogMark{};

    bool posted = false;
    switch (command) {
    case Command::Cycle:
        posted = postMessage(engine, WM_ENGINE_LINK, LINK_START_CYCLE, static_cast<LPARAM>(self));
        break;
    case Command::Watch: posted = postMessage(engine, WM_ENGINE_LINK, LINK_REGISTER, static_cast<LPARAM>(self)); break;
    case Command::Shutdown:
        posted = postMessage(engine, WM_ENGINE_LINK, LINK_SHUTDOWN, 0);
        if (timeoutSeconds <= 0) setTimer(self, kTimeoutTimer, 10000);
        setTimer(self, kShutdownPollTimer, 50);
        break;
    case Command::Look:
    case Command::Status: break;  // answered before anything was published
    }
    if (!posted) {
        std::fprintf(stderr, "trawlexctl: the engine does not answer\n");
        return kExitNoEngine;
    }
    bool tookControl = command == Command::Cycle || command == Command::Watch;
    if (tookControl) {
        quitOnInterrupt(kExitInterrupted);
        setTimer(self, kEngineGoneTimer, 1000);
    }
    int code = runMessageLoop();
    if (tookControl) handBackController(engine);
    destroyWindow(self);
    if (command == Command::Cycle) printHighLines(state, mark);
    return code;
}
