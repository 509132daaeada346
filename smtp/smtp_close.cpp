#include "smtp/smtp_close.h"

#include "net/connection.h"
#include "platform/socket.h"
#include "log/debug.h"
#include "smtp/smtp_client.h"

void SMTP_Close::start() {
    state_ = state_WAIT_QUIT_ACK;
    client_->armTimeout();
    // QUIT that went out behind the last text: its reply may already be held.
    if (smtp().takeAfterText() == SMTPClient::AfterText::Quit) return;
    client_->lineBuffer().reset();
    if (!sendCommand("QUIT")) end();
}

int SMTP_Close::dispatch(Connection::Event event, long) {
    // Inactive: the phase has reported its end once and says nothing more.
    if (state_ == 0) return 0;
    if (state_ == state_WAIT_QUIT_ACK && event == Connection::EV_LINE) {
        takeAnyReply();
        if (replyPositive()) {
            DebugLineStr(LOG_MAIL, LOG_LOW, "SMTP Client close : positive response", reply());
        } else {
            DebugLineStr(LOG_MAIL, LOG_HIGH, "SMTP Client close : negative response", reply());
        }
        // Nothing the server could still say matters: the connection ends here, without
        // waiting for the server to close its side.
        client_->shutdown();  // after TLS's closing notice, when there is TLS
        end();
        return 1;
    }
    // The QUIT may still be on its way out.
    if (state_ == state_WAIT_QUIT_ACK && event == Connection::EV_WRITABLE) return 1;
    if (event == Connection::EV_LINE) client_->lineBuffer().reset();
    end();
    return 0;
}

void SMTP_Close::end() {
    state_ = 0;
    if (owner()) owner()->closed();
    client_->closeSocket();
    client_->lineBuffer().reset();
    if (SMTPClientObserver* observer = owner()) later_.post([observer] { observer->finished(); });
}
