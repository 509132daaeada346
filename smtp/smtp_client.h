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

    StateHandler* currentHandler() const { return current_; }
    SMTPClientObserver* observer() const { return observer_; }
    void setCurrentHandler(StateHandler* handler) { current_ = handler; }

    const std::string& heloName() const { return heloName_; }

    // How identification protects the connection and whom it logs in as (empty user: no
    // log-in). caFile: further trusted certificates, empty for none. Plain, no log-in, until set.
    void setSecurity(Security security, const std::string& user, const std::string& password,
                     const std::string& caFile);
    Security security() const { return security_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    const std::string& caFile() const { return caFile_; }

    // Whether the identified server takes commands in groups (PIPELINING); identification sets
    // it, and with it starts a session in which no mail transaction is open yet.
    void setPipelining(bool on) {
        pipelining_ = on;
        transactionOpen_ = false;
        dataAhead_ = false;
        afterText_ = AfterText::Nothing;
    }
    bool pipelining() const { return pipelining_; }
    // Marks a mail transaction begun; true when one was still open, which RSET must end first.
    // The server's reply to the final "." of a text ends a transaction, whatever it says.
    bool openTransaction() { return std::exchange(transactionOpen_, true); }
    void endTransaction() { transactionOpen_ = false; }
    // The envelope sent DATA with it: the text phase waits for DATA's reply instead of asking.
    void setDataAhead(bool on) { dataAhead_ = on; }
    bool takeDataAhead() { return std::exchange(dataAhead_, false); }
    // What went out behind a text's final "." in the same write: the next item's envelope, or
    // QUIT after the last item. The phase that reads its replies takes it instead of sending.
    enum class AfterText { Nothing, Envelope, Quit };
    void setAfterText(AfterText sent) { afterText_ = sent; }
    AfterText afterText() const { return afterText_; }
    AfterText takeAfterText() { return std::exchange(afterText_, AfterText::Nothing); }
    // The connection is gone: nothing sent ahead will be answered.
    void forgetAhead() {
        dataAhead_ = false;
        afterText_ = AfterText::Nothing;
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
    SMTPClientObserver* observer_;
    std::unique_ptr<MailClient_Open> open_;
    std::unique_ptr<SMTP_Ident> ident_;
    std::unique_ptr<SMTP_SendMailEnv> envelope_;
    std::unique_ptr<SMTP_SendMailData> data_;
    std::unique_ptr<SMTP_Close> close_;
    StateHandler* current_ = nullptr;
    std::string heloName_ = "LOCALHOST";
    Security security_ = Security::None;
    std::string user_;
    std::string password_;
    std::string caFile_;
    bool pipelining_ = false;
    bool transactionOpen_ = false;
    bool dataAhead_ = false;
    AfterText afterText_ = AfterText::Nothing;
    bool oauth_ = false;
    bool tokenRefused_ = false;
    std::string lineStart_;  // see takeLineStart
};
