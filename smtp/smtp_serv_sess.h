// One connection of the user's e-mail program to the local SMTP server. It takes HELO (or
// EHLO), MAIL, RCPT, DATA, RSET, AUTH and QUIT, writes each message (after a "Received:" line)
// into a new item file, saves the envelope beside it as a routing file, moves both into the
// queue directory (routing file last) and tells the engine.
//
// Mail is taken only from the owner's programs: MAIL gets 530 unless the peer's socket belongs
// to the user the engine runs as, the session logged in with AUTH (PLAIN or LOGIN, an
// account's title and the password the local POP3 server checks), or "localsmtpusers" lets
// every user send. The peer's user is looked up once, at the first MAIL that needs it, and the
// setting is read only for a peer that is not the owner's; a refusal is logged (MAIL, HIGH) naming the uid and the peer's port, or (MAIL, MED) when the
// user could not be found.
#pragma once

#include "net/command_table.h"
#include "net/server.h"
#include "platform/owned_handles.h"
#include "platform/peer_owner.h"
#include "pop3/local_login.h"
#include "store/addr_list.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>

enum SessionState : int {
    SESSION_ST_WAIT_HELO = 1,
    SESSION_ST_READY = 4,
    SESSION_ST_DATA = 16,
    SESSION_ST_CLOSING = 32,
    SESSION_ST_AUTH = 64,  // AUTH waits for the client's next response line
};

using PeerOwnerLookup = std::function<plat::PeerOwner(plat::SOCKET)>;

// Who may hand mail in through a session.
struct LocalSenders {
    std::uint32_t ownerUid = 0;  // the user the engine runs as
    PeerOwnerLookup ownerOf;  // finds the user of the peer's socket; empty: never found
    std::string accountsKey;  // the accounts AUTH checks titles and passwords against
    LoginThrottle* throttle = nullptr;  // paces AUTH's checks; not owned, may be null
};

class SMTPServSess : public ServerSession {
public:
    SMTPServSess(plat::HWND serverWindow, plat::SOCKET s, const std::string& queueDirectory,
                 std::function<void()> onQueued, LocalSenders senders = {});
    ~SMTPServSess() override;

    int dispatcher(Connection::Event event, long arg) override;

    int state() const { return state_; }

    // Longest command line that is read as a command; a longer one, or one holding a NUL
    // byte, counts as empty.
    static constexpr std::size_t kMaxCommandLine = 80;
    // AUTH's lines carry a title and a password in base64: they may be longer.
    static constexpr std::size_t kMaxAuthLine = 1024;

private:
    using Command = SessionCommand<SMTPServSess>;
    static const Command kCommands[];

    // Every line goes through here, also one that waited for a log-in's answer.
    void onLine(std::string line);
    void runWaitingLines();
    void onCommandLine(std::string line);
    void onDataLine(std::string line);
    void endOfData();
    void endSession();
    void discardItem();

    bool helo(const std::string& line);
    bool ehlo(const std::string& line);
    bool auth(const std::string& line);
    bool quit(const std::string& line);
    bool mail(const std::string& line);
    bool rcpt(const std::string& line);
    bool data(const std::string& line);
    bool rset(const std::string& line);

    // Whether this session may start a transaction; logs a refusal once per session.
    bool maySend();
    enum class AuthStep { None, PlainResponse, LoginUser, LoginPassword };
    void onAuthResponse(const std::string& line);
    void plainResponse(const std::string& decoded);
    void checkLogin(const std::string& title, const std::string& password);
    void loginChecked(const std::string& title, bool matches, bool fromLoop);
    void loginAnswered(bool fromLoop);
    void endAuth();

    void reply(int code, const std::string& text);
    void setState(SessionState next) { state_ = next; }

    std::function<void()> onQueued_;  // an item has joined the queue
    SessionState state_ = SESSION_ST_WAIT_HELO;
    std::string heloDomain_;
    store::AddrList envelope_;
    plat::FilePtr itemFile_;
    bool itemWriteFailed_ = false;
    std::string itemFileName_;
    std::string queueDirectory_;

    LocalSenders senders_;
    std::optional<plat::PeerOwner> peerOwner_;  // looked up once, when first needed
    std::optional<bool> everyone_;  // "localsmtpusers" 1, read once when needed
    bool refusalLogged_ = false;
    LocalLogin login_;
    bool authenticated_ = false;
    bool loginWaiting_ = false;  // AUTH is not answered yet; lines wait
    AuthStep authStep_ = AuthStep::None;
    std::string authUser_;  // the title of AUTH LOGIN, until its password
    std::deque<std::string> waitingLines_;  // taken while a log-in was being checked
};
