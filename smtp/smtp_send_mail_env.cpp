#include "smtp/smtp_send_mail_env.h"

#include "net/connection.h"
#include "log/debug.h"
#include "smtp/smtp_client.h"
#include "store/addr_list.h"

#include <string>

namespace {
constexpr ItemOutcome kPermanent = ItemOutcome::RefusedForGood;
constexpr ItemOutcome kTransient = ItemOutcome::Failed;
}  // namespace

void SMTP_SendMailEnv::start(const store::AddrList* list) {
    forgetReply();
    run_ = Run{};
    run_.list = list;
    if (!list || list->count() < 2) {
        DebugLine(LOG_APP, LOG_HIGH, list ? "ADDRLIST TOO SMALL" : "INVALID ADDRLIST");
        end(kPermanent);
        return;
    }
    run_.position = 1;
    run_.grouped = smtp().pipelining();
    if (run_.grouped) {
        sendGroup();
        return;
    }
    state_ = state_WAIT_RSET_ACK;
    client_->armTimeout();
    if (!sendCommand("RSET")) {
        DebugLine(LOG_MAIL, LOG_HIGH, ("Delivery to " + client_->host() + ": RSET could not be sent").c_str());
        end(kTransient);
    }
}

int SMTP_SendMailEnv::dispatch(Connection::Event event, long) {
    if (state_ == 0) return 0;
    if (event == Connection::EV_TIMEOUT || event == Connection::EV_CLOSED) {
        dropConnection();
        end(kTransient);
        return 0;
    }
    if (event != Connection::EV_LINE) return 0;
    if (!takeFinalReply()) return 1;
    if (!replyFits(state_ == state_WAIT_DATA_ACK ? Command::Data : Command::Envelope)) {
        outOfStep();
        return 1;
    }
    if (run_.grouped) {
        onGroupReply();
        return 1;
    }
    switch (state_) {
    case state_WAIT_RSET_ACK: onRsetReply(); return 1;
    case state_WAIT_MAIL_ACK: onMailReply(); return 1;
    default: return onRcptReply();
    }
}

bool SMTP_SendMailEnv::carriesData(const store::AddrList& list) {
    return list.count() == 2;
}

std::string SMTP_SendMailEnv::groupText(const store::AddrList& list, bool rset) {
    std::string group = rset ? "RSET\r\n" : "";
    group += "MAIL FROM: " + *list.address(1) + "\r\n";
    for (int i = 2; i <= list.count(); ++i) group += "RCPT TO: " + *list.address(i) + "\r\n";
    if (carriesData(list)) group += "DATA\r\n";
    return group;
}

void SMTP_SendMailEnv::sendGroup() {
    // An envelope that went out behind the last text's "." needed no RSET: the reply to that
    // "." ends its transaction. Only its replies are still to come.
    bool sentAhead = smtp().takeAfterText() == SMTPClient::AfterText::Envelope;
    bool rset = smtp().openTransaction() && !sentAhead;
    run_.dataAhead = carriesData(*run_.list);
    state_ = rset ? state_WAIT_RSET_ACK : state_WAIT_MAIL_ACK;
    client_->armTimeout();
    if (sentAhead) return;
    std::string group = groupText(*run_.list, rset);
    if (smtp().write(group.data(), group.size()) == SMTPClient::Output::Failed) {
        DebugLine(LOG_NET, LOG_HIGH, "Envelope TX fail");
        dropConnection();
        end(kTransient);
    }
}

void SMTP_SendMailEnv::onGroupReply() {
    client_->armTimeout();
    if (state_ == state_WAIT_DATA_ACK) {
        // DATA's reply after a refused envelope: a server that now waits for a text gets none.
        if (replyPositive()) {
            DebugLineStr(LOG_MAIL, LOG_HIGH, "DATA accepted after a refused envelope, connection closed :", reply());
            dropConnection();
        }
        endGroup();
        return;
    }
    if (!judgeGroupReplyInTurn(*run_.list, run_.position, run_.refusal)) return;
    if (run_.dataAhead && run_.refusal.refused) {
        state_ = state_WAIT_DATA_ACK;
        return;
    }
    endGroup();
}

void SMTP_SendMailEnv::outOfStep() {
    // Whatever was read before this reply may have answered another command than it seemed
    // to: nothing is judged from it, and the item waits for a new connection.
    DebugLineStr(LOG_MAIL, LOG_HIGH, "Reply out of step with the envelope, connection closed :", reply());
    dropConnection();
    end(kTransient);
}

void SMTP_SendMailEnv::endGroup() {
    if (run_.refusal.refused) {
        restoreReplyLines(run_.refusal.lines);
        end(run_.refusal.outcome);
        return;
    }
    // DATA's reply is the text phase's to read.
    smtp().setDataAhead(run_.dataAhead);
    end(ItemOutcome::Accepted);
}

void SMTP_SendMailEnv::onRsetReply() {
    if (!replyPositive()) {
        end(kTransient);
        return;
    }
    run_.position = 1;
    if (sendAddress("MAIL FROM: ")) state_ = state_WAIT_MAIL_ACK;
}

void SMTP_SendMailEnv::onMailReply() {
    if (!replyPositive()) {
        DebugLineStr(LOG_MAIL, LOG_HIGH, "MAILFROM failed:", reply());
        // "451 try again later" (greylisting, rate limits) must not cost the user the message.
        end(replyPermanent() ? kPermanent : kTransient);
        return;
    }
    run_.position = 2;
    if (sendAddress("RCPT TO: ")) state_ = state_WAIT_RCPT_ACK;
}

int SMTP_SendMailEnv::onRcptReply() {
    if (!replyPositive()) {
        std::string refused = *run_.list->address(run_.position);
        if (owner()) owner()->recipientRefused(refused);
        end(replyPermanent() ? kPermanent : kTransient);
        return 0;  // the recipients after this one are not tried
    }
    ++run_.position;
    if (run_.position > run_.list->count()) {
        end(ItemOutcome::Accepted);
    } else {
        sendAddress("RCPT TO: ");
    }
    return 1;
}

bool SMTP_SendMailEnv::sendAddress(const char* command) {
    if (!sendCommand(command + *run_.list->address(run_.position))) {
        dropConnection();
        end(kTransient);
        return false;
    }
    client_->armTimeout();
    return true;
}

void SMTP_SendMailEnv::end(ItemOutcome outcome) {
    run_.list = nullptr;
    state_ = 0;
    if (owner()) owner()->envelopeEnded(outcome);
}
