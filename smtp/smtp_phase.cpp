#include "smtp/smtp_phase.h"

#include "smtp/smtp_client.h"

#include <cstring>

SMTPPhase::SMTPPhase(SMTPClient* client) : StateHandler(client) {}

SMTPClient& SMTPPhase::smtp() const {
    return *static_cast<SMTPClient*>(client_);
}

void SMTPPhase::takeAnyReply() {
    // A reply line longer than the buffer arrives empty, so it reads as negative.
    client_->lineBuffer().takeLine(reply_, sizeof reply_ - 1);
    keepLine(true);
}

void SMTPPhase::forgetReply() {
    replyLines_.clear();
    continuationLines_ = 0;
}

void SMTPPhase::keepLine(bool newReply) {
    if (newReply) replyLines_.clear();
    std::size_t length = std::strlen(reply_);
    if (replyLines_.size() + length + 2 <= kMaxKeptReply) replyLines_.append(reply_, length).append("\r\n");
}

bool SMTPPhase::takeFinalReply() {
    client_->lineBuffer().takeLine(reply_, sizeof reply_ - 1);
    // The first line of a reply starts its record afresh.
    keepLine(continuationLines_ == 0);
    if (reply_[0] && reply_[1] && reply_[2] && reply_[3] == ' ') {
        continuationLines_ = 0;
        return true;
    }
    if (++continuationLines_ > kMaxReplyLines) {
        // A reply that never ends would hold the phase for ever, each line re-arming the
        // timer: it ends here, as a negative reply that refuses nothing for good.
        continuationLines_ = 0;
        reply_[0] = '\0';
        return true;
    }
    // The read stopped the timer; the rest of the reply is awaited under a new one.
    client_->armTimeout();
    return false;
}

bool SMTPPhase::sendCommand(const std::string& text) {
    std::string line = text + "\r\n";
    return smtp().write(line.data(), line.size()) != SMTPClient::Output::Failed;
}

void SMTPPhase::dropConnection() {
    smtp().forgetAhead();
    client_->closeSocket();
    client_->lineBuffer().reset();
}

void SMTPPhase::finish(int code, plat::LPARAM lParam) {
    state_ = 0;
    notify(code, lParam);
}
