// The envelope of one item: RSET, MAIL FROM with address 1, RCPT TO with each further address.
// Reports MailClient::SENDMAILENV_COMPLETE when every recipient was accepted; otherwise
// MailClient::SENDMAILENV_FAIL with lParam 0 (refused for good: the item can never be sent)
// or 1 (may pass later), after MailClient::SENDMAILENV_ERROR with the address of a refused
// recipient (lParam, valid during the call). Recipients after a refused one are not tried.
#pragma once

#include "smtp/smtp_phase.h"

namespace store {
class AddrList;
}

class SMTP_SendMailEnv : public SMTPPhase {
public:
    enum State : int { state_WAIT_RSET_ACK = 1, state_WAIT_MAIL_ACK = 2, state_WAIT_RCPT_ACK = 3 };

    using SMTPPhase::SMTPPhase;

    // list is the owner's and must live until the phase has reported; null or fewer than two
    // addresses fail at once, with nothing sent.
    void start(const store::AddrList* list);
    int dispatch(int event, long arg) override;

private:
    void onRsetReply();
    void onMailReply();
    int onRcptReply();
    // Sends the command for the address at position_ ("MAIL FROM: " or "RCPT TO: ").
    bool sendAddress(const char* command);
    void end(int code, plat::LPARAM lParam = 0);

    const store::AddrList* list_ = nullptr;
    int position_ = 0;   // 1-based index of the address last sent
};
