#include "smtp/smtp_phase.h"

#include "log/debug.h"
#include "smtp/smtp_client.h"
#include "store/addr_list.h"

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

namespace {
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

bool SMTPPhase::isFinalReplyLine(const std::string& line) {
    // "250 ok", and the code alone ("554"), which a reply line may be.
    return (line.size() == 3 && isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2])) ||
           (line.size() >= 4 && line[3] == ' ');
}

bool SMTPPhase::replyFits(Command command) const {
    switch (reply_[0]) {
    case '4':
    case '5': return true;
    case '2': return command != Command::Data;
    case '3': return command == Command::Data;
    default: return false;
    }
}

void SMTPPhase::judgeGroupedReply(const store::AddrList& list, int position, GroupedRefusal& refusal) {
    if (refusal.refused || replyPositive()) return;
    if (position == 1) DebugLineStr(LOG_MAIL, LOG_HIGH, "MAILFROM failed:", reply());
    if (position >= 2 && owner()) owner()->recipientRefused(*list.address(position));
    refusal.refused = true;
    refusal.outcome = position > 0 && replyPermanent() ? ItemOutcome::RefusedForGood : ItemOutcome::Failed;
    refusal.lines = replyLines();
}

bool SMTPPhase::judgeGroupReplyInTurn(const store::AddrList& list, int& position, GroupedRefusal& refusal) {
    switch (state_) {
    case kWaitGroupRset:
        judgeGroupedReply(list, 0, refusal);
        state_ = kWaitGroupMail;
        return false;
    case kWaitGroupMail:
        judgeGroupedReply(list, 1, refusal);
        position = 2;
        state_ = kWaitGroupRcpt;
        return false;
    default: judgeGroupedReply(list, position, refusal); return ++position > list.count();
    }
}

bool SMTPPhase::takeFinalReply() {
    takeLine();
    // The first line of a reply starts its record afresh.
    keepLine(continuationLines_ == 0);
    if (isFinalReplyLine(reply_)) {
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

SMTPClientObserver* SMTPPhase::owner() const {
    return smtp().observer();
}
