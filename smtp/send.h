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
#include "platform/secret_store.h"
#include "oauth/oauth_settings.h"
#include "smtp/smtp_client.h"
#include "platform/window.h"
#include "config/settings.h"
#include "store/addr_list.h"
#include "store/smtp_queue.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // The same, naming the outgoing host that refused it ("host:port"); by default itemRefused.
    virtual void itemRefusedBy(const std::string& path, const std::string& reply, const std::string& host) {
        (void)host;
        itemRefused(path, reply);
    }
    // No connection, or no identification: nothing more is sent in this phase.
    virtual void connectionFailed() = 0;
    virtual void sendFinished() = 0;
};

// Where one send phase delivers, and how it logs in there.
struct OutgoingHost {
    std::string host;  // name or dotted address
    int port = 25;
    config::OutgoingSecurity security;  // pass: the registry's value, for the global host only
    bool oauth = false;
    // Whose password and access tokens the log-in uses: "outgoing" or an account's title.
    std::string signIn = config::kOutgoingTarget;
    plat::SecretKind passwordKind = plat::SecretKind::Password;
    std::string account;  // the account it is the host of; empty: the global outgoing host
    // "host:port", for log lines and notices.
    std::string label() const { return host + ":" + std::to_string(port); }
    // "account home" or "the global outgoing host", for log lines.
    std::string owner() const { return account.empty() ? "the global outgoing host" : "account " + account; }
};

// The global outgoing host at host and port, with the settings key's security and log-in.
OutgoingHost globalOutgoingHost(const char* host, int port);

class Send : private SMTPClientObserver {
public:
    // host: name or dotted address of the provider's outgoing host. observer is the owner's
    // and must outlive this object. Makes the SMTP client; no connection yet.
    Send(const char* host, int port, SendObserver* observer);
    Send(const OutgoingHost& host, SendObserver* observer);
    ~Send() override;
    Send(const Send&) = delete;
    Send& operator=(const Send&) = delete;

    // Delivers the queue in queueDirectory ("outgoing/").
    void start(const std::string& queueDirectory);
    // Delivers these items of it only, in this order.
    void startWith(const std::string& queueDirectory, std::vector<store::SMTPQueue::Entry> items);

    const OutgoingHost& host() const { return host_; }
    // Why the connection failed ("could not be reached", "refused the log-in"); empty while it
    // has not.
    const std::string& failure() const { return run_.failure; }
    // Items of this phase delivered and refused for good so far.
    int sentCount() const { return run_.sent; }
    int refusedCount() const { return run_.refused; }
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
    std::string queueDirectory_;
    OutgoingHost host_;
    std::optional<std::vector<store::SMTPQueue::Entry>> items_;  // startWith's
    // Everything one delivery run knows, made fresh when it lists the queue.
    struct Run {
        std::unique_ptr<store::SMTPQueue> queue;
        std::string failure;
        int sent = 0;
        int refused = 0;
        int current = 0;  // 1-based index into the queue, 0 before the first item
        store::AddrList addresses;
        store::AddrList nextAddresses;  // item aheadItem's, read to go out behind a text
        int aheadItem = 0;
        bool aheadLoaded = false;
        bool renewed = false;  // the one renewal of this run is spent
        bool reconnectAfterClose = false;
    };
    Run run_;
    oauth::TokenRenewal renewal_;
    oauth::SecretRead password_;  // the log-in password, when the secret store keeps it
};
