#include "pop3/pop_open.h"

#include "net/connection.h"
#include "net/mail_client_open.h"
#include "log/debug.h"

void POP_Open::start() {
    startOpeningPhase(state_, *client_);
}

int POP_Open::dispatch(Connection::Event event, long arg) {
    if (state_ != state_WAIT_CONNECT) return 0;
    bool connected = event == Connection::EV_CONNECT && arg == 1;
    // A host that never answers the connect ends the phase at the inactivity time-out, rather
    // than whenever the operating system gives up on it.
    bool failed = (event == Connection::EV_CONNECT && arg == 0) || event == Connection::EV_TIMEOUT ||
                  event == Connection::EV_CLOSED;
    if (!connected && !failed) return 0;
    if (event == Connection::EV_TIMEOUT) {
        DebugLine(LOG_NET, LOG_HIGH, "Timed out opening connection");
        client_->closeSocket();  // the look-up or the connect is abandoned
    }
    state_ = state_IDLE;
    if (connected) {
        if (observer_) observer_->opened(true);
    } else {
        logConnectFailure("POP3", *client_, event);
        DebugLineStr(LOG_MAIL, LOG_LOW, "Host: ", client_->host().c_str());
        DebugLineInt(LOG_MAIL, LOG_LOW, "Port: ", client_->port());
        if (observer_) observer_->opened(false);
    }
    return 1;
}
