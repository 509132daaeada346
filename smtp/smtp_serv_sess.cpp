#include "smtp/smtp_serv_sess.h"

#include "net/base64.h"
#include "net/command_words.h"
#include "platform/files.h"
#include "log/debug.h"
#include "config/settings.h"
#include "smtp/received_line.h"
#include "store/item_name.h"

using namespace plat;

namespace {

using cmdline::equalsNoCase;
using cmdline::secondWord;
using cmdline::startsWithNoCase;
using cmdline::wordAt;

const char kUnrecognised[] = "command unrecognised";
const char kOwnerOnly[] = "5.7.0 Only the owner of this gateway may send here";
// The prompts of AUTH LOGIN: "Username:" and "Password:" in base64.
const char kLoginUserPrompt[] = "VXNlcm5hbWU6";
const char kLoginPasswordPrompt[] = "UGFzc3dvcmQ6";

// A SASL response: base64, or "=" for an empty one.
std::optional<std::string> decodeResponse(const std::string& word) {
    if (word == "=") return std::string();
    return base64Decode(word);
}

// A title as the log may show it: what a peer typed, with control characters made visible.
std::string loggable(const std::string& text) {
    std::string out = text.substr(0, 100);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return out;
}

}  // namespace

const SMTPServSess::Command SMTPServSess::kCommands[] = {
    {"HELO", SESSION_ST_WAIT_HELO, &SMTPServSess::helo},
    {"EHLO", SESSION_ST_WAIT_HELO, &SMTPServSess::ehlo},
    {"AUTH", SESSION_ST_READY, &SMTPServSess::auth},
    {"QUIT", SESSION_ST_WAIT_HELO | SESSION_ST_READY, &SMTPServSess::quit},
    {"MAIL", SESSION_ST_READY, &SMTPServSess::mail},
    {"RCPT", SESSION_ST_READY, &SMTPServSess::rcpt},
    {"DATA", SESSION_ST_READY, &SMTPServSess::data},
    {"RSET", SESSION_ST_READY, &SMTPServSess::rset},
};

SMTPServSess::SMTPServSess(HWND serverWindow, SOCKET s, const std::string& queueDirectory,
                           std::function<void()> onQueued, LocalSenders senders)
    : ServerSession(serverWindow, s, LOG_NET),
      onQueued_(std::move(onQueued)),
      queueDirectory_(queueDirectory),
      senders_(std::move(senders)),
      login_(senders_.accountsKey, senders_.throttle) {
    reply(220, "LOCALHOST Service ready");
    setState(SESSION_ST_WAIT_HELO);
    armTimeout();
}

SMTPServSess::~SMTPServSess() {
    login_.cancel();
    discardItem();
    closeSocket();
}

int SMTPServSess::dispatcher(Connection::Event event, long) {
    switch (event) {
    case EV_LINE:
        if (state_ == SESSION_ST_CLOSING) {
            lineBuffer().reset();  // nothing after QUIT is read
        } else if (loginWaiting_) {
            waitingLines_.push_back(lineBuffer().takeLine());
        } else {
            onLine(lineBuffer().takeLine());
        }
        break;
    case EV_WRITABLE: (void)writeWaiting(); break;
    case EV_LINE_TOO_LONG:
        // The connection closes after this reply; a partial item goes with it (EV_CLOSED).
        reply(500, "line too long");
        break;
    case EV_TIMEOUT:
    case EV_CLOSED: endSession(); return 1;
    default: break;
    }
    if (connectionBroken()) endSession();
    return 1;
}

void SMTPServSess::onLine(std::string line) {
    if (state_ == SESSION_ST_DATA) {
        onDataLine(std::move(line));
    } else if (state_ == SESSION_ST_AUTH) {
        onAuthResponse(line);
    } else if (state_ != SESSION_ST_CLOSING) {
        onCommandLine(std::move(line));
    }
}

void SMTPServSess::runWaitingLines() {
    while (!waitingLines_.empty() && !loginWaiting_ && state_ != SESSION_ST_CLOSING && !connectionBroken()) {
        std::string line = std::move(waitingLines_.front());
        waitingLines_.pop_front();
        onLine(std::move(line));
    }
}

void SMTPServSess::onCommandLine(std::string line) {
    // Too long, or holding a NUL byte: read as empty, so that it is refused. Only AUTH may
    // pass the common bound.
    bool fits = line.size() <= kMaxCommandLine || (line.size() <= kMaxAuthLine && startsWithNoCase(line, "AUTH "));
    if (!fits || line.find('\0') != std::string::npos) line.clear();
    const Command* c = findCommand(kCommands, line, state_);
    if (!c || !(this->*c->handler)(line)) reply(500, kUnrecognised);
    if (state_ != SESSION_ST_CLOSING) armTimeout();  // every command re-arms the timer
}

bool SMTPServSess::helo(const std::string& line) {
    std::string domain = secondWord(line);
    if (domain.empty()) return false;
    heloDomain_ = domain;
    reply(250, "HELO accepted");
    setState(SESSION_ST_READY);
    return true;
}

bool SMTPServSess::ehlo(const std::string& line) {
    std::string domain = secondWord(line);
    if (domain.empty()) return false;
    heloDomain_ = domain;
    (void)send("250-LOCALHOST\r\n250 AUTH PLAIN LOGIN\r\n");
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
    if (!maySend()) {
        reply(530, kOwnerOnly);
        return true;
    }
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
        if (std::fwrite(received.data(), 1, received.size(), itemFile_.get()) != received.size())
            itemWriteFailed_ = true;
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

void SMTPServSess::onDataLine(std::string line) {
    // Lines are stored whole, whatever their length, exactly as received (a leading dot the
    // client doubled stays doubled).
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
            if (onQueued_) onQueued_();
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
    login_.cancel();
    loginWaiting_ = false;
    waitingLines_.clear();
    // A connection lost in the middle of the data leaves no partial item behind.
    discardItem();
    finishSession();
}

void SMTPServSess::reply(int code, const std::string& text) {
    // A reply the socket cannot take at once waits and goes out in order; a broken
    // connection is logged by send and ends the session once the handler has returned.
    (void)send(std::to_string(code) + " " + text + "\r\n");
}

bool SMTPServSess::maySend() {
    if (authenticated_) return true;
    if (!peerOwner_) {
        peerOwner_ = senders_.ownerOf ? senders_.ownerOf(socket()) : plat::PeerOwner{};
        if (!senders_.ownerOf) peerOwner_->why = "no way to find it";
    }
    bool found = peerOwner_->status == plat::PeerOwner::Status::Found;
    if (found && peerOwner_->uid == senders_.ownerUid) return true;
    // Only now the registry: the owner's connections never wait for it.
    if (!everyone_) everyone_ = config::readSetting(config::kLocalSmtpUsers) == 1;
    if (*everyone_) return true;
    if (!refusalLogged_) {
        refusalLogged_ = true;
        std::string port = std::to_string(peerPort());
        if (found) {
            std::string text = "Local SMTP mail refused : uid " + std::to_string(peerOwner_->uid) +
                               " is not the owner, peer port " + port;
            DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
        } else {
            std::string text = "Local SMTP mail refused : the peer's user is unknown (" + peerOwner_->why +
                               "), peer port " + port;
            DebugLine(LOG_MAIL, LOG_MED, text.c_str());
        }
    }
    return false;
}

bool SMTPServSess::auth(const std::string& line) {
    std::vector<std::string> words = cmdline::words(line);
    if (words.size() < 2 || words.size() > 3) {
        reply(501, "5.5.4 Syntax: AUTH mechanism [initial-response]");
    } else if (authenticated_) {
        reply(503, "5.5.1 Already authenticated");
    } else if (envelope_.count() != 0) {
        reply(503, "5.5.1 Not within a mail transaction");
    } else if (equalsNoCase(words[1], "PLAIN")) {
        setState(SESSION_ST_AUTH);
        authStep_ = AuthStep::PlainResponse;
        if (words.size() == 2) {
            reply(334, "");
        } else {
            onAuthResponse(words[2]);
        }
    } else if (equalsNoCase(words[1], "LOGIN")) {
        setState(SESSION_ST_AUTH);
        authStep_ = AuthStep::LoginUser;
        if (words.size() == 2) {
            reply(334, kLoginUserPrompt);
        } else {
            onAuthResponse(words[2]);
        }
    } else {
        reply(504, "5.5.4 Unrecognised authentication type");
    }
    return true;
}

void SMTPServSess::onAuthResponse(const std::string& line) {
    if (line == "*") {
        endAuth();
        reply(501, "5.0.0 Authentication cancelled");
        return;
    }
    std::optional<std::string> decoded;
    if (line.size() <= kMaxAuthLine) decoded = decodeResponse(line);
    if (!decoded) {
        endAuth();
        reply(501, "5.5.2 Cannot decode response");
        return;
    }
    switch (authStep_) {
    case AuthStep::PlainResponse: plainResponse(*decoded); break;
    case AuthStep::LoginUser:
        authUser_ = *decoded;
        authStep_ = AuthStep::LoginPassword;
        reply(334, kLoginPasswordPrompt);
        break;
    case AuthStep::LoginPassword: checkLogin(authUser_, *decoded); break;
    case AuthStep::None: endAuth(); break;
    }
    armTimeout();
}

void SMTPServSess::plainResponse(const std::string& decoded) {
    // authorisation identity NUL title NUL password; the identity, when given, must be the title.
    std::size_t first = decoded.find('\0');
    std::size_t second = first == std::string::npos ? first : decoded.find('\0', first + 1);
    if (second == std::string::npos || decoded.find('\0', second + 1) != std::string::npos) {
        endAuth();
        reply(501, "5.5.2 Cannot decode response");
        return;
    }
    std::string identity = decoded.substr(0, first);
    std::string title = decoded.substr(first + 1, second - first - 1);
    std::string password = decoded.substr(second + 1);
    // A different identity is refused like a wrong password, after the same wait.
    checkLogin(title, identity.empty() || identity == title ? password : std::string());
}

void SMTPServSess::checkLogin(const std::string& title, const std::string& password) {
    // Nothing more is read from the peer until AUTH is answered.
    loginWaiting_ = true;
    setReading(false);
    login_.check(password.empty() ? std::string() : title, password,
                 [this, title](bool matches, bool fromLoop) { loginChecked(title, matches, fromLoop); });
}

void SMTPServSess::loginChecked(const std::string& title, bool matches, bool fromLoop) {
    std::string text = " : title '" + loggable(title) + "', peer port " + std::to_string(peerPort());
    if (matches) {
        authenticated_ = true;
        DebugLine(LOG_MAIL, LOG_MED, ("SMTP log-in accepted" + text).c_str());
        endAuth();
        reply(235, "2.7.0 Authentication successful");
        loginAnswered(fromLoop);
        return;
    }
    DebugLine(LOG_MAIL, LOG_MED, ("SMTP log-in failed" + text).c_str());
    login_.answerRefusal(fromLoop, [this](bool fromLoopNow) {
        endAuth();
        reply(535, "5.7.8 Authentication credentials invalid");
        loginAnswered(fromLoopNow);
    });
}

void SMTPServSess::loginAnswered(bool fromLoop) {
    loginWaiting_ = false;
    // While the reply waits for the socket, sending it resumes the reading.
    if (!outputWaiting()) setReading(true);
    if (!fromLoop) return;  // the handler that ran AUTH goes on by itself
    if (!connectionBroken()) {
        armTimeout();
        runWaitingLines();
    }
    if (connectionBroken()) endSession();
}

void SMTPServSess::endAuth() {
    authStep_ = AuthStep::None;
    authUser_.clear();
    if (state_ == SESSION_ST_AUTH) setState(SESSION_ST_READY);
}
