#include "pop3/pop_serv_sess.h"

#include "net/command_words.h"
#include "platform/files.h"
#include "pop3/pop_serv_uid.h"
#include "log/debug.h"
#include "config/settings.h"
#include "store/item_lock.h"

using namespace plat;
using cmdline::equalsNoCase;
using cmdline::restAfterFirstWord;
using cmdline::secondWord;

namespace {

const char kAuthFailed[] = "Authentication failed";
const char kBadParameters[] = "invalid number of paramters";  // the text clients have seen
const char kBadItemNumber[] = "invalid mail item number";
const char kOpenFailed[] = "failed to open mail item";

// "dropdir" names a directory with its trailing separator; the listing wants it without.
std::string withoutTrailingSeparator(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

}  // namespace

const POPServSess::Command POPServSess::kCommands[] = {
    {"USER", ST_AUTHORISATION, &POPServSess::user},
    {"PASS", ST_AUTHORISATION, &POPServSess::pass},
    {"QUIT", ST_AUTHORISATION | ST_TRANSACTION, &POPServSess::quit},
    {"NOOP", ST_TRANSACTION, &POPServSess::noop},
    {"STAT", ST_TRANSACTION, &POPServSess::stat},
    {"LIST", ST_TRANSACTION, &POPServSess::list},
    {"UIDL", ST_TRANSACTION, &POPServSess::uidl},
    {"TOP", ST_TRANSACTION, &POPServSess::top},
    {"RETR", ST_TRANSACTION, &POPServSess::retr},
    {"DELE", ST_TRANSACTION, &POPServSess::dele},
};

POPServSess::POPServSess(HWND serverWindow, SOCKET s, const std::string& accountsKey, LoginThrottle* throttle)
    : ServerSession(serverWindow, s, LOG_MAIL),
      accountsKey_(accountsKey),
      login_(accountsKey, throttle) {
    DebugLine(LOG_APP, LOG_LOW, "POPServSess::POPServSess");
    replyOk("POP3 server ready");
    state_ = ST_AUTHORISATION;
    armTimeout();
}

POPServSess::~POPServSess() {
    DebugLine(LOG_APP, LOG_LOW, "POPServSess::~POPServSess");
    login_.cancel();
    if (!account_.empty()) {
        // When the e-mail program collected mail, for the user who reads the log.
        std::string text = "POP3 session of " + account_ + " ended : " + std::to_string(retrieved_) + " retrieved, " +
                           std::to_string(deleted_) + " deleted";
        DebugLine(LOG_MAIL, LOG_MED, text.c_str());
    }
    closeSocket();
    item_.reset();
    listing_.reset();
}

int POPServSess::dispatcher(Connection::Event event, long) {
    switch (event) {
    case EV_LINE: {
        std::string line = takeCommandLine(kMaxCommandLine);
        if (state_ == ST_UPDATE) break;  // nothing after QUIT is read
        waitingLines_.push_back(std::move(line));
        runWaitingLines();
        break;
    }
    case EV_WRITABLE:
        if (writeWaiting() != Output::Sent) break;
        if (state_ == ST_SENDING_RETR || state_ == ST_SENDING_TOP) sendItem();
        runWaitingLines();
        break;
    case EV_LINE_TOO_LONG:
        // The connection closes after this reply.
        replyErr("line too long");
        break;
    case EV_TIMEOUT:
    case EV_CLOSED:
        // Without QUIT nothing is deleted; a reply being sent is abandoned unfinished.
        endSession();
        return 1;
    default: break;
    }
    if (connectionBroken()) endSession();
    return 1;
}

void POPServSess::runWaitingLines() {
    // One command at a time: the next is read only when the previous reply has gone out.
    while (!waitingLines_.empty() && !outputWaiting() && !connectionBroken() && !passWaiting_ &&
           (state_ == ST_AUTHORISATION || state_ == ST_TRANSACTION)) {
        std::string line = std::move(waitingLines_.front());
        waitingLines_.pop_front();
        onCommandLine(line);
    }
}

void POPServSess::onCommandLine(const std::string& line) {
    replyText_.clear();
    if (const Command* c = findCommand(kCommands, line, state_)) {
        if (!(this->*c->handler)(line)) replyErr(replyText_);
    } else {
        replyErr(replyText_);
    }
    // Every command restarts the timer, so that no command leaves a silent client connected
    // for ever.
    if (state_ != ST_UPDATE) armTimeout();
}

bool POPServSess::user(const std::string& line) {
    std::string name = secondWord(line);
    if (name.empty()) return false;
    userName_ = name;
    replyOk("USER accepted");
    return true;
}

bool POPServSess::pass(const std::string& line) {
    // The whole argument: a password may hold blanks, and its first word alone must not do.
    std::string password = restAfterFirstWord(line);
    if (password.empty()) return false;
    // Nothing more is read from the peer until PASS is answered.
    passWaiting_ = true;
    setReading(false);
    login_.check(userName_, password, [this](bool matches, bool fromTimer) { answerPassword(matches, fromTimer); });
    return true;
}

void POPServSess::answerPassword(bool matches, bool fromTimer) {
    std::optional<std::string> dropDir;
    bool ok = matches && (dropDir = config::accountDropDir(userName_, accountsKey_)).has_value();
    if (ok) {
        listing_ = std::make_unique<store::MailDrop>(withoutTrailingSeparator(*dropDir));
        account_ = userName_;
        replyOk("Maildrop accessed");
        state_ = ST_TRANSACTION;
        passAnswered(fromTimer);
        return;
    }
    std::string text = "POP3 log-in failed : title '" + userName_ + "', peer port " + std::to_string(peerPort());
    DebugLine(LOG_MAIL, LOG_MED, text.c_str());
    userName_.clear();
    login_.answerRefusal(fromTimer, [this](bool fromLoop) {
        replyErr(kAuthFailed);
        passAnswered(fromLoop);
    });
}

void POPServSess::passAnswered(bool fromTimer) {
    passWaiting_ = false;
    // While the reply waits for the socket, sending it resumes the reading.
    if (!outputWaiting()) setReading(true);
    if (!fromTimer) return;  // the command loop that ran PASS goes on by itself
    if (connectionBroken()) {
        endSession();
        return;
    }
    armTimeout();
    runWaitingLines();
    if (connectionBroken()) endSession();
}

bool POPServSess::quit(const std::string& line) {
    if (!equalsNoCase(line, "QUIT")) return false;
    update();
    return true;
}

bool POPServSess::noop(const std::string& line) {
    if (!equalsNoCase(line, "NOOP")) return false;
    replyOk("NOOP");
    return true;
}

bool POPServSess::stat(const std::string& line) {
    if (!equalsNoCase(line, "STAT")) return false;
    // Items marked for deletion still count until QUIT.
    replyOk(std::to_string(listing_->count()) + " " + std::to_string(listing_->totalSize()));
    return true;
}

bool POPServSess::list(const std::string& line) {
    if (equalsNoCase(line, "LIST")) {
        std::string reply = "+OK \r\n";
        for (int i = 1; i <= listing_->count(); ++i) {
            if (listing_->deletionMark(i)) continue;
            reply += std::to_string(i) + " " + std::to_string(listing_->itemSize(i)) + "\r\n";
        }
        reply += ".\r\n";
        (void)send(reply);
        return true;
    }
    int n = itemNumber(secondWord(line));
    if (n == 0) return false;
    replyOk(std::to_string(n) + " " + std::to_string(listing_->itemSize(n)));
    return true;
}

bool POPServSess::uidl(const std::string& line) {
    if (equalsNoCase(line, "UIDL")) {
        std::string reply = "+OK \r\n";
        for (int i = 1; i <= listing_->count(); ++i) {
            reply += std::to_string(i) + " " + uidlReplyId(listing_->itemId(i), listing_->itemFileName(i)) + "\r\n";
        }
        reply += ".\r\n";
        (void)send(reply);
        return true;
    }
    int n = itemNumber(secondWord(line));
    if (n == 0) return false;
    replyOk(std::to_string(n) + " " + uidlReplyId(listing_->itemId(n), listing_->itemFileName(n)));
    return true;
}

bool POPServSess::top(const std::string& line) {
    std::vector<std::string> words = cmdline::words(line);
    std::optional<long> number = words.size() == 3 ? cmdline::decimal(words[1]) : std::nullopt;
    std::optional<long> lines = words.size() == 3 ? cmdline::decimal(words[2]) : std::nullopt;
    if (!number || !lines) {
        replyText_ = kBadParameters;
        return false;
    }
    if (*number < 1 || *number > listing_->count()) {
        replyText_ = kBadItemNumber;
        return false;
    }
    return startItem(static_cast<int>(*number), lines, ST_SENDING_TOP);
}

bool POPServSess::retr(const std::string& line) {
    std::optional<long> number = cmdline::decimal(secondWord(line));
    if (!number) {
        replyText_ = kBadParameters;
        return false;
    }
    if (*number < 1 || *number > listing_->count()) {
        replyText_ = kBadItemNumber;
        return false;
    }
    return startItem(static_cast<int>(*number), std::nullopt, ST_SENDING_RETR);
}

bool POPServSess::dele(const std::string& line) {
    int n = itemNumber(secondWord(line));
    if (n == 0) return false;
    listing_->mark(n);
    replyOk("Item marked for deletion");
    return true;
}

int POPServSess::itemNumber(const std::string& word) const {
    std::optional<long> n = cmdline::decimal(word);
    if (!n || *n < 1 || *n > listing_->count()) return 0;
    return static_cast<int>(*n);
}

bool POPServSess::startItem(int number, std::optional<long> topLines, State sending) {
    item_ = ItemReply::open(listing_->itemPath(number), topLines);
    if (!item_) {
        replyText_ = kOpenFailed;
        return false;
    }
    retrItem_ = number;
    itemComplete_ = false;
    state_ = sending;
    sendItem("+OK \r\n");
    return true;
}

void POPServSess::sendItem(std::string piece) {
    // Reads the next piece only when the previous one has gone out whole. The first piece
    // carries the positive reply, so that a small item leaves in one send.
    while (!outputWaiting() && !connectionBroken()) {
        if (itemComplete_) {
            endItem();
            return;
        }
        ItemReply::Piece p = item_->next(piece);
        if (p == ItemReply::Piece::Error) {
            // The client must not take a truncated item for the whole one: no final ".".
            DebugLineStr(LOG_MAIL, LOG_HIGH, "failed to read mail item", listing_->itemPath(retrItem_).c_str());
            endSession();
            return;
        }
        itemComplete_ = p == ItemReply::Piece::Last;
        (void)send(piece);
        piece.clear();
    }
}

void POPServSess::endItem() {
    // Only an item whose reply, final "." included, went out whole counts as read.
    item_.reset();
    if (state_ == ST_SENDING_RETR) {
        listing_->setRead(retrItem_, store::ReadState::Read);
        ++retrieved_;
    }
    state_ = ST_TRANSACTION;
    armTimeout();
}

void POPServSess::update() {
    state_ = ST_UPDATE;
    lineBuffer().reset();
    waitingLines_.clear();
    bool allDeleted = true;
    for (int i = 1; listing_ && i <= listing_->count(); ++i) {
        if (!listing_->deletionMark(i)) continue;
        store::MailItemLock lock(LOG_APP, LOG_HIGH, "Unable to create MAILITEMREAD mutex");
        // A read item is read-only; it is made unread so that it can be deleted.
        listing_->setRead(i, store::ReadState::Unread);
        std::string path = listing_->itemPath(i);
        if (deleteFile(path) == 0) {
            DebugLineStr(LOG_APP, LOG_LOW, "DELETED :", path.c_str());
            listing_->unmark(i);
            ++deleted_;
        } else {
            DebugLineStr(LOG_APP, LOG_HIGH, "NOT DELETED :", path.c_str());
            allDeleted = false;
        }
    }
    if (allDeleted) {
        replyOk("connection closing");
    } else {
        replyErr("connection closing");
    }
    finishWhenSent();
}

void POPServSess::endSession() {
    login_.cancel();
    item_.reset();
    waitingLines_.clear();
    finishSession();
}

void POPServSess::replyOk(const std::string& text) {
    (void)send("+OK " + text + "\r\n");
}

void POPServSess::replyErr(const std::string& text) {
    (void)send("-ERR " + text + "\r\n");
}
