#include "smtp/smtp_phase.h"

#include "smtp/smtp_client.h"

SMTPPhase::SMTPPhase(SMTPClient* client) : StateHandler(client) {}

SMTPClient& SMTPPhase::smtp() const {
    return *static_cast<SMTPClient*>(client_);
}

void SMTPPhase::takeAnyReply() {
    // A reply line longer than the buffer arrives empty, so it reads as negative.
    client_->lineBuffer().takeLine(reply_, sizeof reply_ - 1);
}

bool SMTPPhase::takeFinalReply() {
    takeAnyReply();
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
    client_->closeSocket();
    client_->lineBuffer().reset();
}

void SMTPPhase::finish(int code, plat::LPARAM lParam) {
    state_ = 0;
    notify(code, lParam);
}
