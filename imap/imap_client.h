// IMAPClient: the engine's IMAP client for one account and one check, on the same connection,
// TLS and log-in layers as the POP3 client, and telling its owner through the same
// POPClientObserver (opened, logged in, items received, the batch flushed, skipped messages,
// the retrieval's end, closed, finished), so that the account check runs both alike.
//
// The owner drives it phase by phase: open, authorise (IMAP_Auth), retrieve (IMAP_Fetch),
// close (LOGOUT). Every byte the server sends goes through one IMAPParser; whole responses
// (IMAPResponse) reach the current phase, tagged ones the handler of the command they
// complete. Commands may be sent ahead of their replies; each carries a tag "T<n>".
#pragma once

#include "imap/imap_parser.h"
#include "net/connection.h"
#include "net/state_handler.h"
#include "net/transport_security.h"
#include "platform/deferred_calls.h"
#include "pop3/pop_client.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

// One part of a response as the parser read it. Streamed literals leave a Streamed token.
struct IMAPToken {
    enum class Type { Atom, String, ListBegin, ListEnd, Streamed };
    Type type;
    std::string text;
};

// A whole response. A response of more than kMaxTokens tokens keeps only its first ones
// (truncated): SEARCH results, the only long ones this client asks for, reach the phase number
// by number instead.
struct IMAPResponse {
    static constexpr std::size_t kMaxTokens = 4096;
    IMAPResponseSink::Kind kind = IMAPResponseSink::Kind::Untagged;
    std::string tag;
    std::vector<IMAPToken> tokens;
    std::string code;  // a status response's bracketed code, without brackets
    std::string text;  // a status response's text, or a continuation's
    bool truncated = false;

    // The first token as an upper-case word: "OK", "BYE", "CAPABILITY", or a number.
    std::string word(std::size_t index) const;
    bool isStatus(const char* status) const;
};

class IMAPClient;

// What every IMAP phase hears besides the connection's events.
class IMAPPhase : public StateHandler {
public:
    explicit IMAPPhase(IMAPClient* client);
    IMAPClient& imap() const;
    POPClientObserver* owner() const;
    virtual void onUntagged(const IMAPResponse&) {}
    virtual void onContinuation(const IMAPResponse&) {}
    // A literal is about to come in the response read so far: Stream to have it in pieces.
    virtual IMAPResponseSink::LiteralUse onLiteralBegin(const IMAPResponse&, std::uint64_t) {
        return IMAPResponseSink::LiteralUse::Keep;
    }
    virtual void onLiteralData(std::string_view) {}
    virtual void onLiteralEnd() {}
    // One number of an untagged SEARCH response.
    virtual void onSearchNumber(std::uint32_t) {}
    // The connection failed, closed, went silent or sent what cannot be read.
    virtual void onBroken(const std::string& why) = 0;
    int dispatch(Connection::Event event, long arg) override;
    // Enters a state that waits for the server, the inactivity timer running.
    void waitIn(int state);
    // Logs a failure (MAIL, HIGH) naming the mailbox: "IMAP ann at imap.example.net: ...".
    void logFailure(const std::string& what) const;
};

class IMAP_Open;
class IMAP_Auth;
class IMAP_Fetch;

// What the retrieval does with the account's mail, from its settings.
struct IMAPFetchOptions {
    std::string recordFile;  // the account's identifier file
    std::string folders = "INBOX";  // "," separated; "ALL" every folder
    std::uint32_t leaveMail = 0;  // 0 delete, 1 leave, 2 leave for leaveDays
    std::uint32_t leaveDays = 0;
    std::string moveFolder;  // with leaveMail 0: moved there instead
};

class IMAPClient : public Connection, private IMAPResponseSink {
public:
    using Done = std::function<void(const IMAPResponse& tagged)>;

    IMAPClient(POPClientObserver* observer, const std::string& host, int port, const std::string& user,
               const std::string& password, const std::string& itemDirectory);
    ~IMAPClient() override;

    void open();
    void authorise();
    void retrieve(const IMAPFetchOptions& options);
    void close();

    POPClientObserver* observer() const { return observer_; }
    int dispatcher(Connection::Event event, long arg) override;

    // Sends "<tag> <text>"; done hears the tagged reply (or nothing, when the connection ends
    // first). False, logged, when it could not go out; a line end in text is refused.
    bool command(const std::string& text, Done done, bool secret = false);
    // A line that answers a continuation (a SASL response); logged, if at all, as "********".
    bool sendContinuation(const std::string& text);
    // Commands whose tagged replies are still to come.
    std::size_t outstanding() const { return pending_.size(); }
    // Puts TLS on the connection; what the server sent after the reply that allowed it is dropped.
    bool beginTls();

    // Capabilities in upper case, from the last listing.
    void setCapabilities(const std::vector<std::string>& words);
    void setCapabilitiesFromText(const std::string& text);
    bool hasCapability(const char* name) const { return capabilities_.count(name) != 0; }
    bool capabilitiesKnown() const { return capabilitiesKnown_; }
    void forgetCapabilities() {
        capabilities_.clear();
        capabilitiesKnown_ = false;
    }

    void setSecurity(Security security, const std::string& caFile) {
        security_ = security;
        caFile_ = caFile;
    }
    Security security() const { return security_; }
    const std::string& caFile() const { return caFile_; }
    void setOAuth(bool on) { oauth_ = on; }
    bool oauth() const { return oauth_; }
    void noteTokenRefused() { tokenRefused_ = true; }
    bool tokenRefused() const { return tokenRefused_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    const std::string& itemDirectory() const { return itemDirectory_; }
    std::string ownerTag() const { return user_ + "@" + host(); }

    // Ends the connection at once: the current phase hears onBroken(why) from the loop.
    void breakOff(const std::string& why);

private:
    void feedParser();
    void onBrokenNow(const std::string& why);
    IMAPPhase* phase() const { return current_; }
    // IMAPResponseSink
    void begin(Kind kind, std::string_view tag) override;
    void atom(std::string_view text) override;
    void string(std::string_view text) override;
    void listBegin() override;
    void listEnd() override;
    LiteralUse literalBegin(std::uint64_t size) override;
    void literalData(std::string_view bytes) override;
    void literalEnd() override;
    void text(std::string_view code, std::string_view rest) override;
    void end() override;
    void addToken(IMAPToken::Type type, std::string_view text);

    struct Pending {
        std::string tag;
        Done done;
    };

    POPClientObserver* observer_;
    std::unique_ptr<IMAP_Open> open_;
    std::unique_ptr<IMAP_Auth> auth_;
    std::unique_ptr<IMAP_Fetch> fetch_;
    std::unique_ptr<IMAPPhase> closer_;
    IMAPPhase* current_ = nullptr;
    StateHandler* opening_ = nullptr;
    IMAPParser parser_;
    IMAPResponse response_;
    bool searching_ = false;  // the response being read is an untagged SEARCH
    bool muted_ = false;  // the rest of what was read is dropped
    std::deque<Pending> pending_;
    unsigned nextTag_ = 1;
    std::set<std::string> capabilities_;
    bool capabilitiesKnown_ = false;
    std::string itemDirectory_;
    std::string user_;
    std::string password_;
    Security security_ = Security::None;
    std::string caFile_;
    bool oauth_ = false;
    bool tokenRefused_ = false;
    bool closing_ = false;
    plat::DeferredCalls later_;
};
