// The POP3 client's opening phase: connect, then the owner is told whether it opened.
#pragma once

#include "pop3/pop_phase.h"

class POP_Open : public POPPhase {
public:
    using POPPhase::POPPhase;
    enum State { state_IDLE = 0, state_WAIT_CONNECT = 1 };

    void start();
    int dispatch(Connection::Event event, long arg) override;
};
