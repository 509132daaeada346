#include "pop3/pop_close.h"

#include "net/connection.h"
#include "platform/socket.h"
#include "log/debug.h"

void POP_Close::start() {
    DebugLine(LOG_APP, LOG_LOW, "POP_Close::start");
    bool sentAhead = pop().takeQuitAhead();
    // A server that let the last wait run out, or whose connection is gone, is not waited for
    // again. QUIT still goes out, so that a server that is only slow removes what was deleted.
    bool stalled = client_->idleTimedOut();
    if (client_->socket() == plat::INVALID_SOCKET) {
        client_->lineBuffer().reset();
        finish();
        return;
    }
    waitIn(state_WAIT_QUIT_ACK);
    // A QUIT sent behind the last DELEs may have its reply held already.
    if (sentAhead && !stalled) return;
    client_->lineBuffer().reset();
    if (sentAhead || !pop().sendCommand(POPCommand::QUIT) || stalled) finish();
}

int POP_Close::dispatch(Connection::Event event, long) {
    if (state_ == state_IDLE) return 0;
    if (state_ == state_WAIT_QUIT_ACK && event == Connection::EV_LINE) {
        std::string reply = pop().takeReply();
        if (POPClient::isPositive(reply)) {
            DebugLineStr(LOG_MAIL, LOG_LOW, "POP Client close : positive response", reply.c_str());
        } else {
            DebugLineStr(LOG_MAIL, LOG_HIGH, "POP Client close : negative response", reply.c_str());
        }
        // Both directions: nothing more is wanted from the server, which has committed its
        // deletions before this reply; its own close is not waited for.
        client_->shutdown();  // after TLS's closing notice, when there is TLS
        finish();
        return 1;
    }
    // Any other event ends the close, in either state; a waiting line is dropped with it.
    if (event == Connection::EV_LINE) client_->lineBuffer().reset();
    finish();
    return 1;
}

void POP_Close::finish() {
    if (owner()) owner()->closed();
    DebugLine(LOG_APP, LOG_LOW, "POP_Close::end");
    client_->closeSocket();
    client_->lineBuffer().reset();
    state_ = state_IDLE;
    if (POPClientObserver* observer = owner()) later_.post([observer] { observer->finished(); });
}
