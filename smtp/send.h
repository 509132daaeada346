// The send phase of a cycle: delivers the outgoing queue to the provider over one SMTP
// connection and tells its SendObserver.
//
// The queue is listed once at the start (items queued later wait for the next phase). Each
// item gets RSET, its envelope and its text; on a server that takes commands in groups the
// envelope goes out behind the previous item's text, without RSET, and QUIT behind the last.
// A delivered item is deleted (routing file first) under "MAILITEMREAD"; an item refused for
// good is shown to the owner (itemRefused) and deleted; every other failure keeps the item for
// the next phase. sendFinished comes exactly once, also when there was nothing to send or the
// connection failed.
//
// With OAuth 2.0 ("auth" 1 in the settings key) the log-in carries the access token held for
// "outgoing"; a missing one is renewed before connecting, and one the server refuses is
// renewed once and the connection made again. A renewal that fails is a failed connection.
#pragma once

#include "oauth/access_tokens.h"
#include "platform/deferred_calls.h"
#include "smtp/smtp_client.h"
#include "platform/window.h"
#include "config/settings.h"
#include "store/addr_list.h"

#include <memory>
#include <string>

namespace store {
class SMTPQueue;
}

// What the send phase tells its owner. itemRefused is called at once, before the refused item
// is deleted, with its path and the lines of the server's refusal (each with its CRLF; empty
// when no reply refused it), valid during the call. The others come each in a turn of the
// loop of their own, in the order of the events; after sendFinished the Send may be deleted.
class SendObserver {
public:
    virtual ~SendObserver() = default;
    // The current item was delivered and has left the queue.
    virtual void itemSent() = 0;
    // The current item was not delivered: it stays queued, unless itemRefused came for it.
    virtual void itemFailed() = 0;
    virtual void itemRefused(const std::string& path, const std::string& reply) = 0;
    // No connection, or no identification: nothing more is sent in this phase.
    virtual void connectionFailed() = 0;
    virtual void sendFinished() = 0;
};

class Send : private SMTPClientObserver {
public:
    // host: name or dotted address of the provider's outgoing host. observer is the owner's
    // and must outlive this object. Makes the SMTP client; no connection yet.
    Send(const char* host, int port, SendObserver* observer);
    ~Send() override;
    Send(const Send&) = delete;
    Send& operator=(const Send&) = delete;

    // Delivers the queue in queueDirectory ("outgoing/").
    void start(const std::string& queueDirectory);
    // Lists the queue and opens the connection, or ends the phase when it is empty.
    void initMailSend();
    // Moves on to the next item, or to closing after the last.
    void startMailSend();

private:
    void opened(bool ok) override;
    void identified(bool ok) override;
    void recipientRefused(const std::string& address) override;
    void envelopeEnded(ItemOutcome outcome) override;
    void textEnded(ItemOutcome outcome) override;
    void closed() override;
    void finished() override;
    void startClose();
    // Moves on once the current handler's call has returned.
    void nextItemLater();
    // Moves on at once when something went out behind the last text, otherwise later.
    void nextItem();
    // Starts the current item's text, with the next item's envelope or QUIT behind it on a
    // server that takes commands in groups.
    void startText();
    // reply: the refusal's lines as the server sent them.
    void refuseCurrentItem(const std::string& reply);
    void deleteCurrentItem();
    // Tells the owner in a turn of the loop of its own.
    void tellLater(void (SendObserver::*event)());
    // Opens the connection, with an access token first when the log-in needs one.
    void connectSignedIn();
    void renewThenConnect();
    void openWithPassword(const std::string& password);
    void makeClient();

    SendObserver* observer_;
    plat::DeferredCalls later_;
    std::unique_ptr<SMTPClient> client_;
    std::unique_ptr<store::SMTPQueue> queue_;
    std::string queueDirectory_;
    std::string host_;
    int port_;
    int current_ = 0;  // 1-based index into the queue, 0 before the first item
    store::AddrList addresses_;
    store::AddrList nextAddresses_;  // item aheadItem_'s, read to go out behind a text
    int aheadItem_ = 0;
    bool aheadLoaded_ = false;
    config::OutgoingSecurity security_;
    bool oauth_ = false;
    bool renewed_ = false;  // the one renewal of this phase is spent
    bool reconnectAfterClose_ = false;
    oauth::TokenRenewal renewal_;
    oauth::SecretRead password_;  // the log-in password, when the secret store keeps it
};
