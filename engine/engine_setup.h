// Start-up steps of the engine's main program.
#pragma once

#include "engine/control_window.h"

#include <memory>

class SMTPServer;
class POPServer;
class LoginThrottle;

// Creates the control window and publishes it as "APPCLASS"/"Trawlex". False (after telling
// the user why) when it cannot be created or another engine of this user already runs.
bool startControlWindow(ControlWindow& control);

// The local servers of the engine; they live until the process ends.
struct EngineServers {
    EngineServers();
    ~EngineServers();
    // Paces the log-ins of both servers together; it outlives their sessions.
    std::unique_ptr<LoginThrottle> logins;
    std::unique_ptr<SMTPServer> smtp;
    std::unique_ptr<POPServer> pop3;
};

// A server whose port is taken logs the failure and stays inert; start-up goes on.
void startServers(ControlWindow& control, EngineServers& servers);

// Where the local SMTP server queues what it takes in.
inline constexpr char kQueueDirectory[] = "outgoing/";
// Where retrieved items wait before they are moved into their account's mailbox.
inline constexpr char kHoldingDirectory[] = "accounts/holding/";
