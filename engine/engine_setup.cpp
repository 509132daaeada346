#include "engine/engine_setup.h"

#include "engine/listen_failure.h"
#include "platform/console.h"
#include "platform/link.h"
#include "log/debug.h"
#include "link/engine_link.h"
#include "config/local_ports.h"
#include "pop3/pop_server.h"
#include "config/settings_keys.h"
#include "smtp/smtp_server.h"

#include <cstdlib>
#include <string>

namespace {

// A record another process may not deliver (only link messages and data records cross).
void reportLinkRecordDropped(const char* text) {
    DebugLineStr(LOG_APP, LOG_HIGH, "Link record refused :", text);
}

// A server that cannot listen says so in words a user can act on; the engine goes on.
void listenOrSayWhy(Server& server, const char* name, const char* portVariable, int standardPort) {
    int port = serverPort(portVariable, standardPort);
    if (server.listen(port)) return;
    DebugLine(LOG_NET, LOG_HIGH, listenFailureText(name, port, server.listenError(), portVariable).c_str());
}

}  // namespace

bool startControlWindow(ControlWindow& control) {
    if (!control.create()) {
        DebugLine(LOG_APP, LOG_HIGH, "Unable to create control window");
        plat::messageBox("Unable to create control window", "TRAWLEX");
        return false;
    }
    switch (plat::publishWindow(control.window(), kEngineClass, kEngineTitle, plat::kLinkMessage,
                                reportLinkRecordDropped)) {
    case plat::PublishResult::Published: return true;
    case plat::PublishResult::AlreadyRunning:
        plat::messageBox("Trawlex is already running for this user", "TRAWLEX");
        return false;
    case plat::PublishResult::Failed: break;
    }
    DebugLineStr(LOG_APP, LOG_HIGH,
                 "Unable to publish control window :", plat::linkSocketPath(kEngineClass, kEngineTitle).c_str());
    plat::messageBox("Unable to publish control window", "TRAWLEX");
    return false;
}

EngineServers::EngineServers() = default;
EngineServers::~EngineServers() = default;

void startServers(ControlWindow& control, EngineServers& servers) {
    servers.logins = std::make_unique<LoginThrottle>();
    // The local SMTP server; local-only is not a setting.
    servers.smtp = std::make_unique<SMTPServer>(
        control.window(), Peers::LocalOnly, kQueueDirectory, [&control] { control.newOutgoingQueued(); },
        servers.logins.get());
    listenOrSayWhy(*servers.smtp, "SMTP", "TRAWLEX_SMTP_PORT", 25);
    // The local POP3 server over the accounts' mailboxes, local-only as well.
    servers.pop3 = std::make_unique<POPServer>(control.window(), Peers::LocalOnly, kAccountsKey, servers.logins.get());
    listenOrSayWhy(*servers.pop3, "POP3", "TRAWLEX_POP3_PORT", 110);
}
