#include "smtp/send_by_host.h"

#include "platform/clock.h"
#include "log/debug.h"
#include "config/settings.h"
#include "smtp/outgoing_accounts.h"
#include "smtp/outgoing_results.h"
#include "store/addr_list.h"
#include "store/smtp_queue.h"

#include <ctime>

// One host's share of the queue, and the observer of its Send.
struct SendByHost::Group : SendObserver {
    SendByHost* owner = nullptr;
    OutgoingHost host;
    std::vector<store::SMTPQueue::Entry> items;
    std::unique_ptr<Send> send;
    int failed = 0;  // items kept by this host

    void itemSent() override { owner->observer_->itemSent(); }
    void itemFailed() override {
        ++failed;
        owner->observer_->itemFailed();
    }
    void itemRefused(const std::string& path, const std::string& reply) override {
        owner->observer_->itemRefusedBy(path, reply, "");
    }
    void itemRefusedBy(const std::string& path, const std::string& reply, const std::string& by) override {
        owner->observer_->itemRefusedBy(path, reply, by);
    }
    void connectionFailed() override { owner->connectionFailed(*this); }
    void sendFinished() override { owner->groupFinished(*this); }
};

namespace {

OutgoingHost accountHost(const outgoing::AccountRoute& route, const std::string& caFile) {
    OutgoingHost host;
    host.host = route.server;
    host.port = static_cast<int>(route.port);
    host.security.security = route.security;
    host.security.user = route.user;
    host.security.caFile = caFile;
    host.oauth = route.oauth;
    host.signIn = route.account;
    host.passwordKind = plat::SecretKind::SmtpPass;
    host.account = route.account;
    return host;
}

}  // namespace

SendByHost::SendByHost(const char* host, int port, SendObserver* observer, std::string accountsKey)
    : observer_(observer),
      globalHost_(host ? host : ""),
      globalPort_(port),
      accountsKey_(std::move(accountsKey)) {}

SendByHost::~SendByHost() = default;

std::vector<OutgoingHost> SendByHost::hosts() const {
    std::vector<OutgoingHost> out;
    for (const auto& g : groups_) out.push_back(g->host);
    return out;
}

void SendByHost::start(const std::string& queueDirectory) {
    queueDirectory_ = queueDirectory;
    store::SMTPQueue queue(queueDirectory);
    std::vector<std::string> senders;
    for (int i = 1; i <= queue.count(); ++i) {
        // An envelope that cannot be read goes with the global host, whose Send keeps the item.
        store::AddrList list;
        list.load(queue.routingPath(i));
        senders.push_back(list.count() >= 1 ? *list.address(1) : std::string());
    }
    std::vector<outgoing::AccountRoute> routes;
    if (queue.count() > 0) routes = outgoing::readAccountRoutes(accountsKey_);
    std::string caFile = queue.count() > 0 ? config::readSetting(config::kCaFile) : std::string();
    for (const outgoing::HostGroup& hostGroup : outgoing::groupByHost(routes, senders)) {
        auto group = std::make_unique<Group>();
        group->owner = this;
        group->host = hostGroup.route < 0 ? globalOutgoingHost(globalHost_.c_str(), globalPort_)
                                          : accountHost(routes[static_cast<std::size_t>(hostGroup.route)], caFile);
        for (int item : hostGroup.items) group->items.push_back(*queue.entry(item + 1));
        DebugLineStr(LOG_MAIL, LOG_LOW, "Outgoing host for queued items :",
                     (group->host.label() + " (" + group->host.owner() + "), " + std::to_string(group->items.size()) +
                      " item(s)")
                         .c_str());
        groups_.push_back(std::move(group));
    }
    if (groups_.empty()) {
        later_.post([this] { observer_->sendFinished(); });
        return;
    }
    startMore();
}

void SendByHost::startMore() {
    while (running_ < kMaxConnections && nextGroup_ < groups_.size()) {
        Group& group = *groups_[nextGroup_++];
        ++running_;
        group.send = std::make_unique<Send>(group.host, &group);
        group.send->startWith(queueDirectory_, group.items);
    }
}

void SendByHost::connectionFailed(Group& group) {
    std::string failure = group.send ? group.send->failure() : std::string();
    if (failure.empty()) failure = "failed";
    DebugLineStr(LOG_MAIL, LOG_HIGH, "Outgoing host",
                 (group.host.label() + " of " + group.host.owner() + " " + failure + ": its " +
                  std::to_string(group.items.size()) + " item(s) stay queued")
                     .c_str());
    observer_->connectionFailed();
}

void SendByHost::groupFinished(Group& group) {
    outgoing::HostResult result;
    result.label = group.host.label();
    result.owner = group.host.owner();
    result.when = static_cast<long long>(std::time(nullptr));
    const Send& send = *group.send;
    if (!send.failure().empty()) {
        result.result = send.failure() + ", " + std::to_string(group.items.size()) + " kept";
    } else {
        result.result = "delivered " + std::to_string(send.sentCount()) + ", refused " +
                        std::to_string(send.refusedCount()) + ", kept " +
                        std::to_string(group.failed - send.refusedCount());
    }
    if (!outgoing::recordHostResult(result))
        DebugLineStr(LOG_APP, LOG_MED, "Unable to record the outgoing host's result in",
                     outgoing::resultsPath().c_str());
    // The Send is inside its own deferred call: it goes once that call has returned.
    later_.post([this, g = &group] {
        g->send.reset();
        --running_;
        startMore();
        if (running_ == 0 && nextGroup_ == groups_.size()) observer_->sendFinished();
    });
}
