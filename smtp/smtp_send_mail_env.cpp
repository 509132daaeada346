#include "smtp/smtp_send_mail_env.h"

#include "net/client.h"
#include "net/mail_client_notices.h"
#include "shared/debug.h"
#include "store/addr_list.h"

#include <string>

namespace {
constexpr plat::LPARAM kPermanent = 0;
constexpr plat::LPARAM kTransient = 1;
}  // namespace

void SMTP_SendMailEnv::start(const store::AddrList* list) {
    forgetReply();
    list_ = list;
    if (!list || list->count() < 2) {
        DebugLine(LOG_APP, LOG_HIGH, list ? "ADDRLIST TOO SMALL" : "INVALID ADDRLIST");
        end(MailClient::SENDMAILENV_FAIL, kPermanent);
        return;
    }
    position_ = 1;
    state_ = state_WAIT_RSET_ACK;
    client_->armTimeout();
    if (!sendCommand("RSET")) {
        DebugLine(LOG_MAIL, LOG_HIGH, "RSET command TX fail");
        DebugLine(LOG_NET, LOG_HIGH, "RSET command TX fail");
        end(MailClient::SENDMAILENV_FAIL, kTransient);
    }
}

int SMTP_SendMailEnv::dispatch(int event, long) {
    if (state_ == 0) return 0;
    if (event == Client::EV_TIMEOUT || event == Client::EV_CLOSED) {
        dropConnection();
        end(MailClient::SENDMAILENV_FAIL, kTransient);
        return 0;
    }
    if (event != Client::EV_LINE) return 0;
    if (!takeFinalReply()) return 1;
    switch (state_) {
    case state_WAIT_RSET_ACK:
        onRsetReply();
        return 1;
    case state_WAIT_MAIL_ACK:
        onMailReply();
        return 1;
    default:
        return onRcptReply();
    }
}

void SMTP_SendMailEnv::onRsetReply() {
    if (!replyPositive()) {
        end(MailClient::SENDMAILENV_FAIL, kTransient);
        return;
    }
    position_ = 1;
    if (sendAddress("MAIL FROM: ")) state_ = state_WAIT_MAIL_ACK;
}

void SMTP_SendMailEnv::onMailReply() {
    if (!replyPositive()) {
        DebugLineStr(LOG_MAIL, LOG_HIGH, "MAILFROM failed:", reply());
        // "451 try again later" (greylisting, rate limits) must not cost the user the message.
        end(MailClient::SENDMAILENV_FAIL, replyPermanent() ? kPermanent : kTransient);
        return;
    }
    position_ = 2;
    if (sendAddress("RCPT TO: ")) state_ = state_WAIT_RCPT_ACK;
}

int SMTP_SendMailEnv::onRcptReply() {
    if (!replyPositive()) {
        std::string refused = *list_->address(position_);
        notify(MailClient::SENDMAILENV_ERROR, reinterpret_cast<plat::LPARAM>(refused.c_str()));
        end(MailClient::SENDMAILENV_FAIL, replyPermanent() ? kPermanent : kTransient);
        return 0;   // the recipients after this one are not tried
    }
    ++position_;
    if (position_ > list_->count()) {
        end(MailClient::SENDMAILENV_COMPLETE);
    } else {
        sendAddress("RCPT TO: ");
    }
    return 1;
}

bool SMTP_SendMailEnv::sendAddress(const char* command) {
    if (!sendCommand(command + *list_->address(position_))) {
        dropConnection();
        end(MailClient::SENDMAILENV_FAIL, kTransient);
        return false;
    }
    client_->armTimeout();
    return true;
}

void SMTP_SendMailEnv::end(int code, plat::LPARAM lParam) {
    list_ = nullptr;
    finish(code, lParam);
}
