// The words a user reads when a local server cannot listen: the address and port, the reason
// and what to do about it.
#pragma once

#include <string>

// server: "SMTP" or "POP3"; error: the errno value of the failed bind or listen;
// portVariable: the environment variable that chooses another port.
// "SMTP server cannot listen on 127.0.0.1:25: address already in use (another mail server?);
// set TRAWLEX_SMTP_PORT or stop it".
std::string listenFailureText(const char* server, int port, int error, const char* portVariable);
