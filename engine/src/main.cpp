// Trawlex, the transport engine: a background process with one thread and no visible window.
// It publishes its control window for the front end, runs the two local servers and then
// its message loop until it is told to shut down (LINK_SHUTDOWN, SIGTERM or SIGINT).
#include "engine/control_window.h"
#include "engine/cycle.h"
#include "engine/engine_setup.h"
#include "engine/net_timeout.h"
#include "engine/private_folders.h"
#include "engine/startup_cleanup.h"
#include "platform/console.h"
#include "platform/event_loop.h"
#include "platform/paths.h"
#include "platform/signals.h"
#include "pop3/pop_server.h"
#include "shared/day_log_retention.h"
#include "shared/debug.h"
#include "shared/settings_keys.h"
#include "shared/engine_state.h"
#include "shared/program_info.h"
#include "smtp/smtp_server.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr int kExitCannotStart = 1;
constexpr int kExitUsage = 64;

const char kUsage[] =
    "usage: trawlex [--data-dir DIR]\n"
    "       trawlex --help | --version\n"
    "\n"
    "The mail gateway engine. It runs the local SMTP server (port 25, or $TRAWLEX_SMTP_PORT)\n"
    "and POP3 server (port 110, or $TRAWLEX_POP3_PORT) for the user's e-mail program, and on\n"
    "request (trawlexctl cycle, or the front end tarnwick) a cycle that delivers the outgoing\n"
    "queue to the provider and fetches new mail from every POP3 account. Its settings are in\n"
    "$XDG_CONFIG_HOME/tarnwick/user.reg (default ~/.config/tarnwick/user.reg).\n"
    "\n"
    "  --data-dir DIR  work in DIR (made, mode 0700, when missing): the queue outgoing/, the\n"
    "                  mailboxes under accounts/ and the day logs YYYYMMDD.log are there.\n"
    "                  Default: the current directory.\n"
    "  --help          print this text and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "SIGTERM and SIGINT end the engine as `trawlexctl shutdown` does: a running cycle is\n"
    "stopped and a line it dialled is hung up.\n"
    "\n"
    "Exit status: 0 after a shutdown; 1 when it cannot start (another engine of this user\n"
    "runs, the data directory cannot be used); 64 on bad usage.\n";

// Reads the options; dataDir stays empty without --data-dir. False on bad usage.
bool parseArgs(int argc, char** argv, std::string& dataDir) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data-dir") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
            dataDir = argv[++i];
        } else if (std::strncmp(argv[i], "--data-dir=", 11) == 0 && argv[i][11] != '\0') {
            dataDir = argv[i] + 11;
        } else {
            std::fprintf(stderr, "trawlex: unknown or incomplete option '%s'\n", argv[i]);
            return false;
        }
    }
    return true;
}

// What the tools (trawlexctl status) learn about this engine.
void publishState(const EngineServers& servers) {
    EngineState state;
    state.pid = plat::processId();
    state.dataDir = plat::currentDirectory();
    state.smtp = {servers.smtp->port(), servers.smtp->listening()};
    state.pop3 = {servers.pop3->port(), servers.pop3->listening()};
    if (!writeEngineState(state))
        DebugLineStr(LOG_APP, LOG_HIGH, "Unable to write the engine's state file :", engineStatePath().c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (answerHelpOrVersion(argc, argv, "trawlex", kUsage)) return 0;
    std::string dataDir;
    if (!parseArgs(argc, argv, dataDir)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    // Every path of the engine, the log's included, is relative to its working directory.
    if (!dataDir.empty()) {
        if (int err = plat::enterDirectory(dataDir)) {
            std::fprintf(stderr, "trawlex: cannot work in %s: %s\n", dataDir.c_str(), std::strerror(err));
            return kExitCannotStart;
        }
    }

    // Before any file is made: the day log too is the user's alone.
    plat::prepareProcess();
    // The log mutex comes first, so that every later line is serialised with the front end.
    DebugLogOpen();
    // The banner of the day log.
    DebugLine(LOG_APP, LOG_LOW, "Welcome to trawlex.exe");
    DebugLineStr(LOG_APP, LOG_LOW, "Main program compile date: ", __DATE__);
    DebugLineStr(LOG_APP, LOG_LOW, "File: ", "src/main");
    applyNetTimeoutSetting();

    // The hidden control window, published for the front end.
    ControlWindow control;
    if (!startControlWindow(control)) {
        DebugLogClose();
        return kExitCannotStart;
    }
    // A service manager's stop (SIGTERM) or Ctrl-C ends the engine as LINK_SHUTDOWN does.
    plat::onTerminateSignal([&control](int signal) {
        DebugLineStr(LOG_APP, LOG_MED, "Shutting down on", plat::signalName(signal));
        control.shutdown();
    });

    // The folders the servers and cycles write into exist and are private before either runs.
    prepareWorkingFolders(kQueueDirectory, kHoldingDirectory, kAccountsKey);

    // What a killed run left half-done goes before anything new comes in. Only the engine that
    // published its window gets here, so no other engine is writing these files.
    removeStartupLeftovers("", kQueueDirectory);

    // Old day logs go at start-up and with the first cycle of each day.
    DayLogKeeper dayLogs;
    dayLogs.atStartup(std::time(nullptr));
    control.setCycleStartHook([&dayLogs] { dayLogs.atCycleStart(std::time(nullptr)); });

    // A LINK_START_CYCLE creates a cycle after the three registry reads.
    control.setCycleFactory(startCycle);

    // The local SMTP and POP3 servers.
    EngineServers servers;
    startServers(control, servers);
    publishState(servers);

    // The cycle notices are filled in by ControlWindow; run until LINK_SHUTDOWN.
    int exitCode = plat::runMessageLoop();

    // A running cycle is destroyed; the servers' sockets close with the process.
    control.endCycle();
    removeEngineState();
    DebugLogClose();
    return exitCode;
}
