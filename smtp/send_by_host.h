// The send step of a cycle over several outgoing hosts: the queue is listed once, each item
// goes to the host its envelope sender selects (the first account whose "addresses" claim it,
// otherwise the global outgoing host; see smtp/outgoing_routes.h), and each host's items are
// delivered by a Send of their own over one connection, at most kMaxConnections side by side.
// Every item is handled exactly as one Send handles it; a host that cannot be reached or
// refuses the log-in keeps only its own items (a HIGH line names the host and its account).
//
// The owner hears what each Send tells (itemSent, itemFailed, itemRefusedBy naming the host,
// connectionFailed once a failed host), then sendFinished once, after the last host. Each
// host's result is recorded for trawlexctl status (smtp/outgoing_results.h).
#pragma once

#include "platform/deferred_calls.h"
#include "config/settings_keys.h"
#include "smtp/send.h"

#include <memory>
#include <string>
#include <vector>

class SendByHost {
public:
    static constexpr int kMaxConnections = 4;

    // host, port: the global outgoing host. observer is the owner's and outlives this object.
    SendByHost(const char* host, int port, SendObserver* observer, std::string accountsKey = kAccountsKey);
    ~SendByHost();
    SendByHost(const SendByHost&) = delete;
    SendByHost& operator=(const SendByHost&) = delete;

    // Delivers the queue in queueDirectory ("outgoing/").
    void start(const std::string& queueDirectory);

    // The hosts of this step, once started, in the order of their first item.
    std::vector<OutgoingHost> hosts() const;

private:
    struct Group;
    void startMore();
    void connectionFailed(Group& group);
    void groupFinished(Group& group);

    SendObserver* observer_;
    plat::DeferredCalls later_;
    std::string globalHost_;
    int globalPort_;
    std::string accountsKey_;
    std::string queueDirectory_;
    std::vector<std::unique_ptr<Group>> groups_;
    std::size_t nextGroup_ = 0;  // the first group not yet started
    int running_ = 0;
};
