// The POP3 close: QUIT (unless it went out behind the retrieval's last commands), wait for
// its reply, then closed, the socket closed, and finished in a turn of the loop of its own.
#pragma once

#include "platform/deferred_calls.h"
#include "pop3/pop_phase.h"

class POP_Close : public POPPhase {
public:
    using POPPhase::POPPhase;
    enum State { state_IDLE = 0, state_WAIT_QUIT_ACK = 1 };

    void start();
    int dispatch(Connection::Event event, long arg) override;

private:
    void finish();

    plat::DeferredCalls later_;
};
