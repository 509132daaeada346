// Identification: wait for the server's greeting, send HELO, and report
// MailClient::IDENT_COMPLETE or MailClient::IDENT_FAIL.
#pragma once

#include "smtp/smtp_phase.h"

class SMTP_Ident : public SMTPPhase {
public:
    enum State : int { state_WAIT_SMTP_GREETING = 1, state_WAIT_HELO_ACK = 2 };

    using SMTPPhase::SMTPPhase;

    // Drops what the client holds and waits for the greeting.
    void start();
    int dispatch(int event, long arg) override;
};
