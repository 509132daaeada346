#include "config/local_ports.h"

#include <cstdlib>

int serverPort(const char* envName, int standardPort) {
    const char* v = std::getenv(envName);
    if (!v || !*v) return standardPort;
    char* end = nullptr;
    long port = std::strtol(v, &end, 10);
    if (*end != '\0' || port < 1 || port > 65535) return standardPort;
    return static_cast<int>(port);
}

LocalPorts localPorts(const std::optional<EngineState>& published) {
    LocalPorts ports;
    ports.smtp = published && published->smtp.port > 0 ? published->smtp.port
                                                       : serverPort("TRAWLEX_SMTP_PORT", kStandardSmtpPort);
    ports.pop3 = published && published->pop3.port > 0 ? published->pop3.port
                                                       : serverPort("TRAWLEX_POP3_PORT", kStandardPop3Port);
    return ports;
}

LocalPorts currentLocalPorts() {
    return localPorts(readEngineState());
}
