// Closing: QUIT (unless it went out behind the last text), its reply, then the end of the
// connection, without waiting for the server to close. Always ends with closed, followed by
// finished in a turn of the loop of its own, after which the owner may destroy the client; a
// negative reply to QUIT is only logged.
#pragma once

#include "platform/deferred_calls.h"
#include "smtp/smtp_phase.h"

class SMTP_Close : public SMTPPhase {
public:
    enum State : int { state_WAIT_QUIT_ACK = 1 };

    using SMTPPhase::SMTPPhase;

    void start();
    int dispatch(Connection::Event event, long arg) override;

private:
    // closed, then the socket closed and finished later.
    void end();

    plat::DeferredCalls later_;
};
