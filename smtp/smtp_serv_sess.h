// One connection of the user's e-mail program to the local SMTP server. It takes HELO, MAIL,
// RCPT, DATA, RSET and QUIT, writes each message (after a "Received:" line) into a new item
// file, saves the envelope beside it as a routing file, moves both into the queue directory
// (routing file last) and tells the engine.
#pragma once

#include "net/command_table.h"
#include "net/server.h"
#include "platform/owned_handles.h"
#include "store/addr_list.h"
#include "store/new_outgoing_notice.h"

#include <cstdio>
#include <string>

enum SessionState : int {
    SESSION_ST_WAIT_HELO = 1,
    SESSION_ST_READY = 4,
    SESSION_ST_DATA = 16,
    SESSION_ST_CLOSING = 32,
};

class SMTPServSess : public ServerSession {
public:
    SMTPServSess(plat::HWND serverWindow, plat::SOCKET s, const std::string& queueDirectory,
                 const NewOutgoingNotice* notice);
    ~SMTPServSess() override;

    int dispatcher(int event, long arg) override;

    int state() const { return state_; }

    // Longest command line that is read as a command; a longer one, or one holding a NUL
    // byte, counts as empty.
    static constexpr std::size_t kMaxCommandLine = 80;

private:
    using Command = SessionCommand<SMTPServSess>;
    static const Command kCommands[];

    void onCommandLine();
    void onDataLine();
    void endOfData();
    void endSession();
    void discardItem();

    bool helo(const std::string& line);
    bool quit(const std::string& line);
    bool mail(const std::string& line);
    bool rcpt(const std::string& line);
    bool data(const std::string& line);
    bool rset(const std::string& line);

    void reply(int code, const std::string& text);
    void setState(SessionState next) { state_ = next; }

    const NewOutgoingNotice* notice_;
    SessionState state_ = SESSION_ST_WAIT_HELO;
    std::string heloDomain_;
    store::AddrList envelope_;
    plat::FilePtr itemFile_;
    bool itemWriteFailed_ = false;
    std::string itemFileName_;
    std::string queueDirectory_;
};
