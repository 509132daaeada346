// Trawlex, the transport engine: a background process with one thread and no visible window.
// It publishes its control window for the front end, runs the two local servers and then
// its message loop until it is told to shut down (LINK_SHUTDOWN, SIGTERM or SIGINT).
#include "engine/command_line.h"
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
#include "log/day_log_retention.h"
#include "log/debug.h"
#include "link/engine_state.h"
#include "config/settings_keys.h"
#include "smtp/smtp_server.h"

#include <ctime>

namespace {

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
    // --help, --version and --data-dir come before anything is opened or logged.
    if (int code = applyCommandLine(argc, argv); code != kGoOn) return code;

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
        return 1;
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
    removeHoldingLeftovers(kHoldingDirectory, kAccountsKey);

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

    // A running cycle is destroyed and open local sessions are ended; the servers' sockets close
    // with the process.
    control.endCycle();
    servers.smtp->endSessions();
    servers.pop3->endSessions();
    removeEngineState();
    DebugLogClose();
    return exitCode;
}
