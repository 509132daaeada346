#include "smtp/smtp_ident.h"

#include "net/client.h"
#include "net/mail_client_notices.h"
#include "smtp/smtp_client.h"

void SMTP_Ident::start() {
    client_->lineBuffer().reset();
    state_ = state_WAIT_SMTP_GREETING;
    client_->armTimeout();
}

int SMTP_Ident::dispatch(int event, long) {
    if (state_ == 0) return 0;
    if (event == Client::EV_TIMEOUT || event == Client::EV_CLOSED) {
        dropConnection();
        finish(MailClient::IDENT_FAIL);
        return 0;
    }
    if (event != Client::EV_LINE) return 0;
    if (!takeFinalReply()) return 1;

    if (state_ == state_WAIT_SMTP_GREETING) {
        if (!replyPositive()) {
            finish(MailClient::IDENT_FAIL);
        } else if (sendCommand("HELO " + smtp().heloName())) {
            state_ = state_WAIT_HELO_ACK;
            client_->armTimeout();
        } else {
            dropConnection();
            finish(MailClient::IDENT_FAIL);
        }
        return 1;
    }
    finish(replyPositive() ? MailClient::IDENT_COMPLETE : MailClient::IDENT_FAIL);
    return 1;
}
