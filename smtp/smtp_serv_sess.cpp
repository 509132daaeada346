#include "smtp/smtp_serv_sess.h"

#include "platform/files.h"
#include "shared/debug.h"
#include "smtp/received_line.h"
#include "store/item_name.h"

#include <cctype>
#include <cstring>

using namespace plat;

namespace {

bool equalsNoCase(const std::string& a, const char* b) {
    std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool startsWithNoCase(const std::string& a, const char* prefix) {
    std::size_t n = std::strlen(prefix);
    return a.size() >= n && equalsNoCase(a.substr(0, n), prefix);
}

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The first blank-delimited word of text from pos on, empty if there is none.
std::string wordAt(const std::string& text, std::size_t pos) {
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    std::size_t end = pos;
    while (end < text.size() && !isBlank(text[end])) ++end;
    return text.substr(pos, end - pos);
}

// The word after the first word ("%*s %s").
std::string secondWord(const std::string& text) {
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    while (pos < text.size() && !isBlank(text[pos])) ++pos;
    return wordAt(text, pos);
}

const char kUnrecognised[] = "command unrecognised";

}  // namespace

// A command, the states in which it is read, and its handler; a handler that answers false
// refuses the command with 500 and leaves the state as it was.
struct SMTPServSess::Command {
    const char* word;
    int states;
    bool (SMTPServSess::*handler)(const std::string& line);
};

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
    : ServerSession(serverWindow, s), notice_(notice), queueDirectory_(queueDirectory) {
    reply(220, "LOCALHOST Service ready");
    setState(SESSION_ST_WAIT_HELO);
    armTimeout();
}

SMTPServSess::~SMTPServSess() {
    discardItem();
    closeSocket();
}

int SMTPServSess::dispatcher(int event, long) {
    if (state_ == SESSION_ST_CLOSING) {
        if (event == EV_LINE) lineBuffer().reset();
        return 1;
    }
    switch (event) {
    case EV_LINE:
        if (state_ == SESSION_ST_DATA) {
            onDataLine();
        } else {
            onCommandLine();
        }
        return 1;
    case EV_TIMEOUT:
    case EV_CLOSED:
        endSession();
        return 1;
    default:
        return 1;   // EV_WRITABLE: replies are sent at once
    }
}

void SMTPServSess::onCommandLine() {
    std::string line = lineBuffer().takeLine();
    if (line.size() > kMaxCommandLine) line.clear();
    std::string word = wordAt(line, 0);
    for (const Command& c : kCommands) {
        if (!(c.states & state_) || !equalsNoCase(word, c.word)) continue;
        if (!(this->*c.handler)(line)) reply(500, kUnrecognised);
        if (state_ != SESSION_ST_CLOSING) armTimeout();   // every command re-arms the timer
        return;
    }
    reply(500, kUnrecognised);
    armTimeout();
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
    endSession();
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
    itemFile_ = created.file;
    itemFileName_ = created.name;
    if (!itemFile_) {
        reply(451, "Unable to open file for incoming mail data");
        return true;
    }
    itemWriteFailed_ = false;
    std::string received = receivedLineNow();
    if (!received.empty()) {
        received += "\r\n";
        if (std::fwrite(received.data(), 1, received.size(), itemFile_) != received.size()) itemWriteFailed_ = true;
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
    if (std::fwrite(line.data(), 1, line.size(), itemFile_) != line.size()) itemWriteFailed_ = true;
    armTimeout();
}

void SMTPServSess::endOfData() {
    // The 250 tells the client the message is safe: item and routing file reach the disk first.
    bool written = !itemWriteFailed_ && syncFile(itemFile_) == 0;
    bool closed = std::fclose(itemFile_) == 0;
    itemFile_ = nullptr;
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
    std::fclose(itemFile_);
    itemFile_ = nullptr;
    deleteFile(itemFileName_);
    itemFileName_.clear();
}

void SMTPServSess::endSession() {
    // A connection lost in the middle of the data leaves no partial item behind.
    discardItem();
    finishSession();
}

void SMTPServSess::reply(int code, const std::string& text) {
    std::string line = std::to_string(code) + " " + text + "\r\n";
    if (sendBytes(line.data(), line.size()) != static_cast<long>(line.size()))
        DebugLine(LOG_NET, LOG_HIGH, "send() fail");
}
