// What the phases of the SMTP client share: reading the server's replies, sending commands,
// and ending with a notice to the owner.
#pragma once

#include "net/mail_client_observer.h"
#include "net/state_handler.h"

#include <string>
#include <utility>

class SMTPClient;
class SMTPClientObserver;
namespace store {
class AddrList;
}

class SMTPPhase : public StateHandler {
public:
    explicit SMTPPhase(SMTPClient* client);

    // Every line of the last complete reply, each with its CRLF, as the server sent them (at
    // most kMaxKeptReply bytes; a line that no longer fits is left out); empty when the phase
    // took no reply since it began.
    const std::string& replyLines() const { return replyLines_; }
    static constexpr std::size_t kMaxKeptReply = 16 * 1024;
    // Of a longer reply line only this many first bytes are kept; the rest is read and
    // dropped. Sixteen times what mail standards allow a reply line, so a real provider's text
    // comes whole into the log and the owner's notice, while a peer cannot make it grow.
    static constexpr std::size_t kMaxReplyLine = 8 * 1024;

    // Whether line ends its reply: a code alone ("554") or anything with a blank as its fourth
    // character ("250 ok"). "250-..." and other lines are continuation lines.
    static bool isFinalReplyLine(const std::string& line);

    // The commands whose replies a phase checks against what could answer them.
    enum class Command { Envelope, Data, Text };

    // What the replies to an envelope sent in one write have decided so far: the first refusal
    // decides the item's outcome, with its lines; the replies after it only keep the
    // conversation in step.
    struct GroupedRefusal {
        bool refused = false;
        ItemOutcome outcome = ItemOutcome::Failed;
        std::string lines;
    };

protected:
    SMTPClient& smtp() const;

    // Takes the line the client holds (with any start taken before in parts) into reply(), at
    // most kMaxReplyLine bytes of it. False when it is not the last line of its reply (see
    // isFinalReplyLine): such a line is dropped and the phase waits for the next, timed again.
    // After kMaxReplyLines such lines in a row the reply counts as ended, empty (negative).
    bool takeFinalReply();
    static constexpr int kMaxReplyLines = 1000;
    // Takes the line whatever it holds, as a whole reply of its own.
    void takeAnyReply();
    // A phase that begins forgets the reply of the one before it.
    void forgetReply();
    // Puts back the lines of an earlier reply, the one that decided the phase's outcome.
    void restoreReplyLines(std::string lines) { replyLines_ = std::move(lines); }
    const char* reply() const { return reply_.c_str(); }
    // 2xx and 3xx replies are positive, anything else negative.
    bool replyPositive() const { return reply_[0] == '2' || reply_[0] == '3'; }
    // Only a reply beginning with "5" refuses for good; any other negative reply may pass.
    bool replyPermanent() const { return reply_[0] == '5'; }
    // Whether the reply could answer command: DATA takes 3xx, 4xx or 5xx; RSET, MAIL, RCPT
    // (Envelope) and the text's "." take 2xx, 4xx or 5xx. Any other reply, or one cut off
    // after kMaxReplyLines, means the
    // conversation is out of step (replies are matched to commands one for one): the caller
    // gives up the connection and keeps the item.
    bool replyFits(Command command) const;
    // Judges the reply to one command of an envelope sent in one write: RSET (position 0),
    // MAIL FROM (1), or the RCPT TO of list's address at position. A refused RSET fails the
    // item for now; a refused MAIL FROM is logged; a refused recipient is told to the owner.
    void judgeGroupedReply(const store::AddrList& list, int position, GroupedRefusal& refusal);
    // The states in which the replies to such an envelope are awaited, in their order.
    enum GroupState : int { kWaitGroupRset = 1, kWaitGroupMail = 2, kWaitGroupRcpt = 3 };
    // Judges the reply that is due in one of those states (the RCPT TO's of the address at
    // position) and moves on to the next. True once the last recipient's reply is judged.
    bool judgeGroupReplyInTurn(const store::AddrList& list, int& position, GroupedRefusal& refusal);

    // Sends text and CRLF. False when it could not be sent (no connection, or an error).
    bool sendCommand(const std::string& text);
    // The connection can no longer carry this conversation: close it, so that the phases
    // after this one fail at once instead of waiting for replies that cannot come.
    void dropConnection();
    // The owner's observer, or null.
    SMTPClientObserver* owner() const;

private:
    void takeLine();
    void keepLine(bool newReply);

    std::string reply_;
    int continuationLines_ = 0;
    std::string replyLines_;
};
