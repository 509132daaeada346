#include "smtp/smtp_serv_sess.h"

#include "net/command_words.h"
#include "platform/files.h"
#include "shared/debug.h"
#include "smtp/received_line.h"
#include "store/item_name.h"


using namespace plat;

namespace {

using cmdline::equalsNoCase;
using cmdline::secondWord;
using cmdline::startsWithNoCase;
using cmdline::wordAt;

const char kUnrecognised[] = "command unrecognised";

}  // namespace

const SMTPServSess::Command SMTPServSess::kCommands[] = {
    {"HELO", SESSION_ST_WAIT_HELO, &SMTPServSess::helo},
    {"QUIT", SESSION_ST_WAIT_HELO | SESSION_ST_READY, &SMTPServSess::quit},
    {"MAIL", SESSION_ST_READY, &SMTPServSess::mail},
    {"RCPT", SESSION_ST_READY, &SMTPServSess::rcpt},
    {"DATA", SESSION_ST_READY, &SMTPServSess::data},
    {"RSET", SESSION_ST_READY, &SMTPServSess::rset},
};

SMTPServSess::SMTPServSess(HWND serverWindow, SOCKET s, const std::string& queueDirectory,
                           const NewOutgoingNotice* notice)
    : ServerSession(serverWindow, s, LOG_NET), notice_(notice), queueDirectory_(queueDirectory) {
    reply(220, "LOCALHOST Service ready");
    setState(SESSION_ST_WAIT_HELO);
    armTimeout();
}

SMTPServSess::~SMTPServSess() {
    discardItem();
    closeSocket();
}

int SMTPServSess::dispatcher(int event, long) {
    switch (event) {
    case EV_LINE:
        if (state_ == SESSION_ST_CLOSING) {
            lineBuffer().reset();   // nothing after QUIT is read
        } else if (state_ == SESSION_ST_DATA) {
            onDataLine();
        } else {
            onCommandLine();
        }
        break;
    case EV_WRITABLE:
        (void)writeWaiting();
        break;
    case EV_LINE_TOO_LONG:
        // The connection closes after this reply; a partial item goes with it (EV_CLOSED).
        reply(500, "line too long");
        break;
    case EV_TIMEOUT:
    case EV_CLOSED:
        endSession();
        return 1;
    default:
        break;
    }
    if (connectionBroken()) endSession();
    return 1;
}

void SMTPServSess::onCommandLine() {
    std::string line = takeCommandLine(kMaxCommandLine);
    const Command* c = findCommand(kCommands, line, state_);
    if (!c || !(this->*c->handler)(line)) reply(500, kUnrecognised);
    if (state_ != SESSION_ST_CLOSING) armTimeout();   // every command re-arms the timer
}

bool SMTPServSess::helo(const std::string& line) {
    std::string domain = secondWord(line);
    if (domain.empty()) return false;
    heloDomain_ = domain;
    reply(250, "HELO accepted");
    setState(SESSION_ST_READY);
    return true;
}

bool SMTPServSess::quit(const std::string& line) {
    if (!equalsNoCase(line, "QUIT")) return false;
    setState(SESSION_ST_CLOSING);
    reply(221, "LOCALHOST Service closing transmission channel");
    finishWhenSent();
    return true;
}

bool SMTPServSess::mail(const std::string& line) {
    if (envelope_.count() != 0 || !startsWithNoCase(line, "MAIL FROM:")) return false;
    std::string path = wordAt(line, 10);
    if (path.empty()) return false;
    envelope_.append(path);
    reply(250, "Return-path '" + path + "' okay");
    return true;
}

bool SMTPServSess::rcpt(const std::string& line) {
    if (!startsWithNoCase(line, "RCPT TO:") || envelope_.count() == 0) return false;
    std::string recipient = wordAt(line, 8);
    if (recipient.empty()) return false;
    envelope_.append(recipient);
    reply(250, "Recipient '" + recipient + "' okay");
    return true;
}

bool SMTPServSess::data(const std::string& line) {
    if (envelope_.count() < 2 || !equalsNoCase(line, "DATA")) return false;
    // Created exclusively: an existing item with the same name is never overwritten.
    // The queue is checked too, so that the later move into it cannot meet a same-named item.
    store::NewItemFile created = store::createNewItemFile("", queueDirectory_);
    itemFile_ = std::move(created.file);
    itemFileName_ = created.name;
    if (!itemFile_) {
        reply(451, "Unable to open file for incoming mail data");
        return true;
    }
    itemWriteFailed_ = false;
    std::string received = receivedLineNow();
    if (!received.empty()) {
        received += "\r\n";
        if (std::fwrite(received.data(), 1, received.size(), itemFile_.get()) != received.size()) itemWriteFailed_ = true;
    }
    setState(SESSION_ST_DATA);
    reply(354, "Start mail input; end with <CRLF>.<CRLF>");
    return true;
}

bool SMTPServSess::rset(const std::string& line) {
    if (!equalsNoCase(line, "RSET")) return false;
    envelope_.clear();
    reply(250, "RSET okay");
    return true;
}

void SMTPServSess::onDataLine() {
    // Lines are stored whole, whatever their length, exactly as received (a leading dot the
    // client doubled stays doubled).
    std::string line = lineBuffer().takeLine();
    if (line == ".") {
        endOfData();
        return;
    }
    line += "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), itemFile_.get()) != line.size()) itemWriteFailed_ = true;
    armTimeout();
}

void SMTPServSess::endOfData() {
    // The 250 tells the client the message is safe: item and routing file reach the disk first.
    bool written = !itemWriteFailed_ && syncFile(itemFile_.get()) == 0;
    bool closed = closeFile(itemFile_);
    std::string routeName = itemFileName_ + ".route";
    if (!written || !closed) {
        DebugLine(LOG_MAIL, LOG_HIGH, "SMTP mail item failure (can't close file)");
        reply(554, "failure in closing of mail file");
        deleteFile(itemFileName_);
    } else {
        DebugLineStr(LOG_MAIL, LOG_MED, "Outgoing mail received :", itemFileName_.c_str());
        if (!envelope_.save(routeName)) {
            DebugLine(LOG_MAIL, LOG_HIGH, "SMTP mail item failure (routing failed)");
            reply(554, "failed writing routing file");
            deleteFile(itemFileName_);
            deleteFile(routeName);
        } else if (moveFileNoReplace(itemFileName_, queueDirectory_ + itemFileName_) != 0) {
            DebugLine(LOG_MAIL, LOG_HIGH, "SMTP mail item failure (can't move file into queue)");
            reply(451, "Unable to queue mail item");
            deleteFile(itemFileName_);
            deleteFile(routeName);
        } else if (moveFileNoReplace(routeName, queueDirectory_ + routeName) != 0) {
            // Without its routing file the item would never leave the queue: take it back.
            DebugLine(LOG_MAIL, LOG_HIGH, "SMTP mail item failure (can't move file into queue)");
            deleteFile(queueDirectory_ + itemFileName_);
            deleteFile(routeName);
            reply(451, "Unable to queue mail item");
        } else {
            syncDirectoryOf(queueDirectory_ + itemFileName_);
            if (notice_) postMessage(notice_->window, notice_->message, notice_->code, 0);
            reply(250, "okay mail item received");
        }
    }
    // The transaction is over: the next MAIL starts a new one.
    envelope_.clear();
    itemFileName_.clear();
    setState(SESSION_ST_READY);
    armTimeout();
}

void SMTPServSess::discardItem() {
    if (!itemFile_) return;
    itemFile_.reset();
    deleteFile(itemFileName_);
    itemFileName_.clear();
}

void SMTPServSess::endSession() {
    // A connection lost in the middle of the data leaves no partial item behind.
    discardItem();
    finishSession();
}

void SMTPServSess::reply(int code, const std::string& text) {
    // A reply the socket cannot take at once waits and goes out in order; a broken
    // connection is logged by send and ends the session once the handler has returned.
    (void)send(std::to_string(code) + " " + text + "\r\n");
}
