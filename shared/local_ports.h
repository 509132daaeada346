// The ports of the two local servers, which the user's e-mail program must be given: what a
// running engine publishes, else what the environment would give an engine started now, else
// the standard ports.
#pragma once

#include "link/engine_state.h"

#include <optional>

inline constexpr int kStandardSmtpPort = 25;
inline constexpr int kStandardPop3Port = 110;

// The port in the environment variable envName (1 to 65535), or standardPort when it is unset
// or holds anything else.
int serverPort(const char* envName, int standardPort);

struct LocalPorts {
    int smtp = kStandardSmtpPort;
    int pop3 = kStandardPop3Port;
};

// The published port of each server where the engine gave one; TRAWLEX_SMTP_PORT and
// TRAWLEX_POP3_PORT, then 25 and 110, for the others.
LocalPorts localPorts(const std::optional<EngineState>& published);
// The same for the engine that runs now (or none).
LocalPorts currentLocalPorts();
