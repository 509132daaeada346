// Trawlex, the transport engine: a background process with one thread and no visible window.
// It publishes its control window for the front end, runs the two local servers and then
// its message loop until it is told to shut down (LINK_SHUTDOWN, SIGTERM or SIGINT).
#include "engine/command_line.h"
#include "engine/control_window.h"
#include "engine/cycle.h"
#include "engine/engine_setup.h"
#include "engine/net_timeout.h"
#include "engine/startup_cleanup.h"
#include "platform/console.h"
#include "platform/event_loop.h"
#include "platform/paths.h"
#include "platform/signals.h"
#include "pop3/pop_server.h"
#include "shared/debug.h"
#include "shared/engine_state.h"
#include "smtp/smtp_server.h"

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

    // 1. The log mutex comes first, so that every later line is serialised with the front end.
    DebugLogOpen();
    // 2.
    DebugLine(LOG_APP, LOG_LOW, "Welcome to trawlex.exe");
    DebugLineStr(LOG_APP, LOG_LOW, "Main program compile date: ", __DATE__);
    DebugLineStr(LOG_APP, LOG_LOW, "File: ", "src/main");
    plat::prepareProcess();
    applyNetTimeoutSetting();

    // 3. The hidden control window, published for the front end.
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

    // What a killed run left half-done goes before anything new comes in. Only the engine that
    // published its window gets here, so no other engine is writing these files.
    removeStartupLeftovers("", kQueueDirectory);

    // A LINK_START_CYCLE creates a cycle after the three registry reads.
    control.setCycleFactory(startCycle);

    // 4-6. The local servers.
    EngineServers servers;
    startServers(control, servers);
    publishState(servers);

    // 7-8. The cycle notices are filled in by ControlWindow; run until LINK_SHUTDOWN.
    int exitCode = plat::runMessageLoop();

    // 9. A running cycle is destroyed; the servers' sockets close with the process.
    control.endCycle();
    removeEngineState();
    DebugLogClose();
    return exitCode;
}
