#include "net/mail_client_open.h"

#include "net/connection.h"
#include "log/debug.h"

#include <string>

void startOpeningPhase(int& state, Connection& client) {
    state = 1;
    client.armTimeout();
    client.open();
}

void logConnectFailure(const char* server, const Connection& client, int event) {
    std::string why = event == Connection::EV_TIMEOUT ? std::string("timed out")
                      : !client.openFailure().empty() ? client.openFailure()
                                                      : std::string("the connection closed");
    std::string line = std::string("Cannot connect to ") + server + " server " + client.host() + ":" +
                       std::to_string(client.port()) + ": " + why;
    DebugLine(LOG_NET, LOG_HIGH, line.c_str());
}

void MailClient_Open::start() {
    startOpeningPhase(state_, *client_);
}

void MailClient_Open::logOpenFailure() {
    // Built in a string: a host name of any length gives a whole message.
    std::string message = "Error in opening connection to SMTP server. Verify that hostname '" + client_->host() +
                          "' is correct.";
    DebugLine(LOG_NET, LOG_HIGH, message.c_str());
}

int MailClient_Open::dispatch(Connection::Event event, long arg) {
    if (state_ != 1) return 0;
    if (event == Connection::EV_TIMEOUT) {
        // No result of the look-up or the connect within the time-out: give up on both, so
        // that the owner always hears how the opening ended.
        DebugLine(LOG_NET, LOG_HIGH, "Timed out opening connection");
        client_->closeSocket();
        arg = 0;
    } else if (event != Connection::EV_CONNECT) {
        return 0;
    }
    state_ = 0;
    if (arg == 1) {
        if (observer_) observer_->opened(true);
    } else {
        logConnectFailure("SMTP", *client_, event);
        logOpenFailure();
        DebugLineStr(LOG_MAIL, LOG_LOW, "host", client_->host().c_str());
        DebugLineInt(LOG_MAIL, LOG_LOW, "port", client_->port());
        if (observer_) observer_->opened(false);
    }
    return 1;
}
