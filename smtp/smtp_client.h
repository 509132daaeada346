// The engine's outgoing SMTP connection to the provider. The owner walks it through its
// phases: it makes a phase current and starts it; the phase tells the owner's
// SMTPClientObserver how it ended, and the owner chooses the next one. The client never
// decides by itself what comes next.
#pragma once

#include "net/connection.h"
#include "net/mail_client_observer.h"
#include "net/transport_security.h"

#include <cstddef>
#include <memory>
#include <string>
#include <utility>

class MailClient_Open;
class StateHandler;
class SMTP_Ident;
class SMTP_SendMailEnv;
class SMTP_SendMailData;
class SMTP_Close;
class SMTP_SendMailChunks;

// What the SMTP client's phases tell their owner.
class SMTPClientObserver : public MailClientObserver {
public:
    virtual void identified(bool ok) = 0;
    // A recipient the server refused, before the envelope's end.
    virtual void recipientRefused(const std::string& address) = 0;
    virtual void envelopeEnded(ItemOutcome outcome) = 0;
    virtual void textEnded(ItemOutcome outcome) = 0;
};

class SMTPClient : public Connection {
public:
    // An outgoing connection to host and port; observer is the owner's and outlives the
    // client (null: nobody is told).
    SMTPClient(SMTPClientObserver* observer, const char* host, int port);
    ~SMTPClient() override;

    int dispatcher(Connection::Event event, long arg) override;

    MailClient_Open& openHandler() { return *open_; }
    SMTP_Ident& identHandler() { return *ident_; }
    SMTP_SendMailEnv& envelopeHandler() { return *envelope_; }
    SMTP_SendMailData& dataHandler() { return *data_; }
    SMTP_Close& closeHandler() { return *close_; }
    SMTP_SendMailChunks& chunkHandler() { return *chunks_; }

    StateHandler* currentHandler() const { return current_; }
    SMTPClientObserver* observer() const { return observer_; }
    // Makes handler the phase that hears the connection's events; a change of phase leaves
    // one LOW line naming the host and the old and new phase.
    void setCurrentHandler(StateHandler* handler);

    const std::string& heloName() const { return heloName_; }

    // How identification protects the connection and whom it logs in as (empty user: no
    // log-in). caFile: further trusted certificates, empty for none. Plain, no log-in, until set.
    void setSecurity(Security security, const std::string& user, const std::string& password,
                     const std::string& caFile);
    Security security() const { return security_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    const std::string& caFile() const { return caFile_; }

    // A new session on this connection (identification starts one): nothing is known of the
    // server yet and no mail transaction is open.
    void beginSession() { session_ = Session{}; }
    // Whether the identified server takes commands in groups (PIPELINING); identification sets it.
    void setPipelining(bool on) { session_.pipelining = on; }
    bool pipelining() const { return session_.pipelining; }
    // Whether the identified server takes texts in chunks (CHUNKING, and PIPELINING with it):
    // each item then goes as one write through chunkHandler(). Identification sets it.
    void setChunking(bool on) { session_.chunking = on; }
    bool chunking() const { return session_.chunking; }
    // Marks a mail transaction begun; true when one was still open, which RSET must end first.
    // The server's reply to the final "." of a text ends a transaction, whatever it says.
    bool openTransaction() { return std::exchange(session_.transactionOpen, true); }
    void endTransaction() { session_.transactionOpen = false; }
    // The envelope sent DATA with it: the text phase waits for DATA's reply instead of asking.
    void setDataAhead(bool on) { session_.dataAhead = on; }
    bool takeDataAhead() { return std::exchange(session_.dataAhead, false); }
    // What went out behind a text's final "." (or a chunk's last bytes) in the same write: the
    // next item's envelope, or QUIT after the last item. The phase that reads its replies takes
    // it instead of sending.
    enum class AfterText { Nothing, Envelope, Quit };
    void setAfterText(AfterText sent) { session_.afterText = sent; }
    AfterText afterText() const { return session_.afterText; }
    AfterText takeAfterText() { return std::exchange(session_.afterText, AfterText::Nothing); }
    // The connection is gone: nothing sent ahead will be answered.
    void forgetAhead() {
        session_.dataAhead = false;
        session_.afterText = AfterText::Nothing;
    }
    // With OAuth 2.0 the log-in carries an access token (the password is that token) by AUTH
    // OAUTHBEARER or XOAUTH2, over TLS only. tokenRefused: the server refused the token, so a
    // renewed one may do.
    void setOAuth(bool on) { oauth_ = on; }
    bool oauth() const { return oauth_; }
    void noteTokenRefused() { tokenRefused_ = true; }
    bool tokenRefused() const { return tokenRefused_; }

    // The start of the reply line under way that arrived in parts, at most
    // SMTPPhase::kMaxReplyLine bytes, handed over once; the line's rest stays in lineBuffer().
    std::string takeLineStart() { return std::exchange(lineStart_, {}); }

private:
    const char* phaseName(const StateHandler* phase) const;

    SMTPClientObserver* observer_;
    std::unique_ptr<MailClient_Open> open_;
    std::unique_ptr<SMTP_Ident> ident_;
    std::unique_ptr<SMTP_SendMailEnv> envelope_;
    std::unique_ptr<SMTP_SendMailData> data_;
    std::unique_ptr<SMTP_Close> close_;
    std::unique_ptr<SMTP_SendMailChunks> chunks_;
    StateHandler* current_ = nullptr;
    std::string heloName_ = "LOCALHOST";
    Security security_ = Security::None;
    std::string user_;
    std::string password_;
    std::string caFile_;
    // What one session with the server knows, made fresh by beginSession.
    struct Session {
        bool pipelining = false;
        bool chunking = false;
        bool transactionOpen = false;
        bool dataAhead = false;
        AfterText afterText = AfterText::Nothing;
    };
    Session session_;
    bool oauth_ = false;
    bool tokenRefused_ = false;
    std::string lineStart_;  // see takeLineStart
};
