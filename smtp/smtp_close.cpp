#include "smtp/smtp_close.h"

#include "net/client.h"
#include "net/mail_client_notices.h"
#include "platform/socket.h"
#include "shared/debug.h"

void SMTP_Close::start() {
    client_->lineBuffer().reset();
    state_ = state_WAIT_QUIT_ACK;
    client_->armTimeout();
    if (!sendCommand("QUIT")) end();
}

int SMTP_Close::dispatch(int event, long) {
    // Inactive: the phase has reported its end once and says nothing more.
    if (state_ == 0) return 0;
    if (state_ == state_WAIT_QUIT_ACK && event == Client::EV_LINE) {
        takeAnyReply();
        if (replyPositive()) {
            DebugLineStr(LOG_MAIL, LOG_LOW, "SMTP Client close : positive response", reply());
        } else {
            DebugLineStr(LOG_MAIL, LOG_HIGH, "SMTP Client close : negative response", reply());
        }
        state_ = state_WAIT_DISCONNECT;
        client_->armTimeout();
        client_->shutdown();   // after TLS's closing notice, when there is TLS
        client_->lineBuffer().reset();
        return 1;
    }
    // The QUIT may still be on its way out.
    if (state_ == state_WAIT_QUIT_ACK && event == Client::EV_WRITABLE) return 1;
    if (state_ == state_WAIT_DISCONNECT) {
        end();
        return 1;
    }
    if (event == Client::EV_LINE) client_->lineBuffer().reset();
    end();
    return 0;
}

void SMTP_Close::end() {
    finish(MailClient::CLOSE_COMPLETE);
    client_->closeSocket();
    client_->lineBuffer().reset();
    plat::postMessage(notifyWindow_, WM_MAILCLIENT, MailClient::FINISHED, 0);
}
