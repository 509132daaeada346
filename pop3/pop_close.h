// The POP3 close: QUIT, wait for the reply and for the server to close, then
// MailClient::CLOSE_COMPLETE, the socket closed, and MailClient::FINISHED posted.
#pragma once

#include "pop3/pop_phase.h"

class POP_Close : public POPPhase {
public:
    using POPPhase::POPPhase;
    enum State { state_IDLE = 0, state_WAIT_QUIT_ACK = 1, state_WAIT_DISCONNECT = 2 };

    void start();
    int dispatch(int event, long arg) override;

private:
    void finish();
};
