// One connection of the user's e-mail program to the local POP3 server: log-in with an
// account's title and password, a snapshot listing of the account's mailbox taken at PASS,
// STAT, LIST, UIDL, TOP, RETR, DELE, NOOP and QUIT, and at QUIT the deletion of the marked
// items. Items handed out whole by RETR are marked read.
//
// Commands are answered strictly in order: lines that arrive while a reply is still going
// out, or while a password waits for its check or its answer, wait in the session and are
// taken once the reply is complete.
//
// The password checked is the account's, or its local password when the account signs in to
// its provider with OAuth 2.0, wherever it is kept: a check that must ask the secret store
// answers when the store has; a store that cannot answer refuses the log-in (its HIGH line
// names the account).
//
// Passwords are checked in the turns a LoginThrottle gives, and a wrong one is answered only
// after its delay; each failure is logged (MAIL, MED) with the title tried and the peer's
// port, and a session that logged in leaves one line (MAIL, MED) when it ends.
#pragma once

#include "net/command_table.h"
#include "net/server.h"
#include "pop3/local_login.h"
#include "pop3/pop_item_reply.h"
#include "store/maildrop.h"

#include <deque>
#include <memory>
#include <string>

class POPServSess : public ServerSession {
public:
    enum State : int {
        ST_AUTHORISATION = 1,
        ST_TRANSACTION = 2,
        ST_SENDING_RETR = 4,
        ST_SENDING_TOP = 8,
        ST_UPDATE = 64,
    };

    // accountsKey: the registry key whose sub-keys are the accounts, by title. throttle: the
    // server's, outliving the session; null checks and answers every password at once.
    POPServSess(plat::HWND serverWindow, plat::SOCKET s, const std::string& accountsKey,
                LoginThrottle* throttle = nullptr);
    ~POPServSess() override;

    int dispatcher(Connection::Event event, long arg) override;

    int state() const { return state_; }

    // Longest command line that is read as a command; a longer one, or one holding a NUL
    // byte, counts as empty.
    static constexpr std::size_t kMaxCommandLine = 80;

private:
    using Command = SessionCommand<POPServSess>;
    static const Command kCommands[];

    void runWaitingLines();
    void onCommandLine(const std::string& line);
    // Each answers false when the command fails; replyText_ then holds the "-ERR" text.
    bool user(const std::string& line);
    bool pass(const std::string& line);
    // The outcome of PASS's check; a failure is answered after the throttle's delay.
    // matches: the password was right. fromTimer: called from the loop, not from PASS.
    void answerPassword(bool matches, bool fromTimer);
    // The answer to PASS is out: take the lines that waited (not when inside a command).
    void passAnswered(bool fromTimer);
    bool quit(const std::string& line);
    bool noop(const std::string& line);
    bool stat(const std::string& line);
    bool list(const std::string& line);
    bool uidl(const std::string& line);
    bool top(const std::string& line);
    bool retr(const std::string& line);
    bool dele(const std::string& line);

    // The item number of "CMD n": 1..count, or 0 (not a number or out of range).
    int itemNumber(const std::string& word) const;
    bool startItem(int number, std::optional<long> topLines, State sending);
    // Sends the item reply on from where it stands; piece: bytes to send before it.
    void sendItem(std::string piece = {});
    void endItem();
    void update();
    void endSession();

    void replyOk(const std::string& text);
    void replyErr(const std::string& text);

    std::string accountsKey_;
    LocalLogin login_;  // the check of PASS and its delayed refusal
    bool passWaiting_ = false;  // PASS is not answered yet
    std::string account_;  // the title logged in with
    int retrieved_ = 0;  // items handed out whole by RETR
    int deleted_ = 0;  // items deleted at QUIT
    State state_ = ST_AUTHORISATION;
    std::string userName_;
    std::string replyText_;
    std::unique_ptr<store::MailDrop> listing_;
    int retrItem_ = 0;
    std::unique_ptr<ItemReply> item_;
    bool itemComplete_ = false;  // the item's last piece, with its ".", is queued
    std::deque<std::string> waitingLines_;  // taken while a reply was going out
};
