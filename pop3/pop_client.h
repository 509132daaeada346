// POPClient: the engine's POP3 client for one account and one check. It logs in with USER and
// PASS, lists the server's unique identifiers, retrieves every message not retrieved before into
// a file of its own in the item directory, deletes it on the server, records its identifier,
// and ends with QUIT. The owner drives it phase by phase (open, authorise, retrieve, close);
// each phase tells the owner's POPClientObserver how it ended, and the close ends with
// finished, after which the owner may delete the client.
#pragma once

#include "net/connection.h"
#include "net/mail_client_observer.h"
#include "net/transport_security.h"
#include "platform/window.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <string_view>

class StateHandler;
class POP_Open;
class POP_Auth;
class POP_Retrieve;
class POP_Close;

// The command kinds, one numbering for all four senders.
enum class POPCommand : int {
    NOOP = 0,
    USER = 1,
    PASS = 2,
    QUIT = 3,
    STAT = 4,
    LIST = 5,
    UIDL = 6,
    TOP = 7,
    RETR = 8,
    DELE = 9,
    STLS = 10,  // the upgrade to TLS; the plain sender formats it
    CAPA = 11,  // the plain sender formats it
    AUTH = 12,  // with the mechanism's name
};

// What becomes of a message on the server once it is stored here.
// DeleteAfterDays: left on the server, and deleted at the first check once it has been stored
// for the given number of days.
enum class AfterStoring { DeleteOnServer, KeepOnServer, DeleteAfterDays };

// A message the retrieval left on the server for the next check: its RETR was refused, or its
// text could not be stored. The rest of the check goes on.
struct SkippedMessage {
    std::string identifier;
    std::string reason;
};

// What the POP3 client's phases tell their owner. The references are valid during the call.
class POPClientObserver : public MailClientObserver {
public:
    virtual void loggedIn(bool ok) = 0;
    // A message received whole, its item file at path: true only once the owner has stored it
    // where it belongs. Anything else leaves the message on the server, neither recorded nor
    // deleted, to come again next time.
    virtual bool itemReceived(const std::string& path) = 0;
    // The items stored since the last call must now be on disk: true once they are. Their
    // DELEs go out only then.
    virtual bool storedItemsFlushed() = 0;
    virtual void messageSkipped(const SkippedMessage& skipped) = 0;
    virtual void retrievalEnded(bool ok) = 0;
};

class POPClient : public Connection {
public:
    // observer: the owner's, outliving the client (null: nobody is told). The texts are copied.
    POPClient(POPClientObserver* observer, const std::string& host, int port, const std::string& user,
              const std::string& password, const std::string& itemDirectory);
    ~POPClient() override;

    // Each makes its phase current and starts it.
    void open();
    void authorise();
    void retrieve(const std::string& uidlFile, AfterStoring afterStoring, std::uint32_t leaveDays = 0);
    void close();

    POPClientObserver* observer() const { return observer_; }

    int dispatcher(Connection::Event event, long arg) override;

    // The command senders. A kind a sender does not format sends "NOOP". True when the command
    // went to the socket or waits, whole, for it to take more; false, with "send() fail :"
    // logged, when the connection is gone or failed.
    bool sendCommand(POPCommand kind);
    bool sendCommand(POPCommand kind, const std::string& text);
    bool sendCommand(POPCommand kind, int number);
    bool sendCommand(POPCommand kind, int number, int second);

    // QUIT that went out behind the retrieval's last commands: the close only reads its reply.
    void setQuitAhead(bool on) { quitAhead_ = on; }
    bool takeQuitAhead() { return std::exchange(quitAhead_, false); }

    // PASS with the account's password.
    bool sendPassword() { return sendCommand(POPCommand::PASS, password_); }
    // USER and PASS in one write, for a server that takes commands in groups.
    bool sendUserAndPassword();
    // One line of a SASL exchange; logged, if at all, as "********".
    bool sendSaslResponse(const std::string& response) { return transmit(response, true); }

    // With OAuth 2.0 the login is AUTH OAUTHBEARER or XOAUTH2 over TLS only, and the password
    // is the access token. tokenRefused: the server refused the token, so a renewed one may do.
    void setOAuth(bool on) { oauth_ = on; }
    bool oauth() const { return oauth_; }
    const std::string& password() const { return password_; }
    void noteTokenRefused() { tokenRefused_ = true; }
    bool tokenRefused() const { return tokenRefused_; }

    // A reply is positive exactly when its first character is "+".
    static bool isPositive(std::string_view reply);
    // Takes the waiting line as a reply, cut to the 1022 characters a reply is logged with.
    std::string takeReply();

    const std::string& user() const { return user_; }

    // A capability listing longer than this fails the phase that asked for it.
    static constexpr std::size_t kMaxCapabilityLines = 1000;
    // Counts one more line of a CAPA listing in lines. Past the limit the listing is given up:
    // "CAPA listing too long" is logged and the connection closed, as the listing's rest would
    // pass for the replies to later commands; false then.
    bool countCapabilityLine(std::size_t& lines);

    // Whether the server listed PIPELINING in its answer to the login's CAPA: it takes
    // commands ahead of their replies. The login sets it.
    void setPipelining(bool on) { pipelining_ = on; }
    bool pipelining() const { return pipelining_; }

    // How the login protects the connection (STLS after the greeting, or TLS from the first
    // byte) and which further certificates it trusts (empty: none). Plain until set.
    void setSecurity(Security security, const std::string& caFile) {
        security_ = security;
        caFile_ = caFile;
    }
    Security security() const { return security_; }
    const std::string& caFile() const { return caFile_; }
    const std::string& itemDirectory() const { return itemDirectory_; }
    // "user@host": whose items these are, as their names say.
    std::string ownerTag() const { return user_ + "@" + host(); }
    StateHandler* currentHandler() const { return current_; }

private:
    struct CommandLine {
        std::string text;
        bool secret;  // logged as "********" after its first word
    };
    bool transmit(std::string command, bool secret) { return transmit({{std::move(command), secret}}); }
    // The lines go out in one write, whole and in order, or none goes.
    bool transmit(const std::vector<CommandLine>& lines);
    // Makes phase the one that hears the connection's events; a change of phase leaves one
    // LOW line naming the account and the old and new phase.
    void enterPhase(StateHandler* phase);
    const char* phaseName(const StateHandler* phase) const;

    POPClientObserver* observer_;
    std::unique_ptr<POP_Open> open_;
    std::unique_ptr<POP_Auth> auth_;
    std::unique_ptr<POP_Retrieve> retrieve_;
    std::unique_ptr<POP_Close> close_;
    StateHandler* current_ = nullptr;
    std::string itemDirectory_;
    std::string user_;
    std::string password_;
    Security security_ = Security::None;
    std::string caFile_;
    bool oauth_ = false;
    bool tokenRefused_ = false;
    bool quitAhead_ = false;
    bool pipelining_ = false;
};
