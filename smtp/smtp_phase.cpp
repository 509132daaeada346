#include "smtp/smtp_phase.h"

#include "smtp/smtp_client.h"


SMTPPhase::SMTPPhase(SMTPClient* client) : StateHandler(client) {}

SMTPClient& SMTPPhase::smtp() const {
    return *static_cast<SMTPClient*>(client_);
}

void SMTPPhase::takeLine() {
    reply_ = smtp().takeLineStart();
    std::string rest = client_->lineBuffer().takeLine();
    if (reply_.size() < kMaxReplyLine) reply_.append(rest, 0, kMaxReplyLine - reply_.size());
}

void SMTPPhase::takeAnyReply() {
    takeLine();
    keepLine(true);
}

void SMTPPhase::forgetReply() {
    replyLines_.clear();
    continuationLines_ = 0;
}

void SMTPPhase::keepLine(bool newReply) {
    if (newReply) replyLines_.clear();
    if (replyLines_.size() + reply_.size() + 2 <= kMaxKeptReply) replyLines_.append(reply_).append("\r\n");
}

bool SMTPPhase::takeFinalReply() {
    takeLine();
    // The first line of a reply starts its record afresh.
    keepLine(continuationLines_ == 0);
    if (reply_.size() >= 4 && reply_[3] == ' ') {
        continuationLines_ = 0;
        return true;
    }
    if (++continuationLines_ > kMaxReplyLines) {
        // A reply that never ends would hold the phase for ever, each line re-arming the
        // timer: it ends here, as a negative reply that refuses nothing for good.
        continuationLines_ = 0;
        reply_.clear();
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
    smtp().takeLineStart();
}

void SMTPPhase::finish(int code, plat::LPARAM lParam) {
    state_ = 0;
    notify(code, lParam);
}
