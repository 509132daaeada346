#include "smtp/send.h"

#include "net/mail_client_open.h"
#include "log/debug.h"
#include "config/settings.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_close.h"
#include "smtp/smtp_ident.h"
#include "smtp/smtp_send_mail_chunks.h"
#include "smtp/smtp_send_mail_data.h"
#include "smtp/smtp_send_mail_env.h"
#include "store/item_lock.h"
#include "store/smtp_queue.h"

using namespace plat;

namespace {

// The owner's part of every phase: make it current, start it.
template <class Phase, class... Args>
void runPhase(SMTPClient& client, Phase& phase, Args&&... args) {
    client.setCurrentHandler(&phase);
    phase.start(std::forward<Args>(args)...);
}

// A reply of several lines as one log line: its lines joined by blanks.
std::string oneLine(const std::string& reply) {
    std::string out;
    for (char c : reply) {
        if (c == '\r') continue;
        if (c == '\n') {
            out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace

OutgoingHost globalOutgoingHost(const char* host, int port) {
    OutgoingHost out;
    out.host = host ? host : "";
    out.port = port;
    out.security = config::readOutgoingSecurity();
    out.oauth = config::readAuthMode(config::kOutgoingTarget) == config::kAuthOAuth;
    return out;
}

Send::Send(const char* host, int port, SendObserver* observer) : Send(globalOutgoingHost(host, port), observer) {}

Send::Send(const OutgoingHost& host, SendObserver* observer) : observer_(observer), host_(host) {
    makeClient();
}

void Send::makeClient() {
    const config::OutgoingSecurity& s = host_.security;
    client_ = std::make_unique<SMTPClient>(static_cast<SMTPClientObserver*>(this), host_.host.c_str(), host_.port);
    client_->setSecurity(securityFromSetting(s.security), s.user, s.pass, s.caFile);
    client_->setOAuth(host_.oauth);
}

void Send::connectSignedIn() {
    const config::OutgoingSecurity& s = host_.security;
    if (host_.oauth) {
        std::string token = oauth::currentAccessToken(host_.signIn);
        if (token.empty() && !run_.renewed) {
            renewThenConnect();
            return;
        }
        client_->setSecurity(securityFromSetting(s.security), s.user, token, s.caFile);
    } else if (!s.user.empty()) {
        config::SecretSource source = config::secretSource(host_.signIn, host_.passwordKind);
        if (host_.account.empty()) source.registryValue = s.pass;
        std::string password;
        bool known = password_.start(source, password, [this](bool ok, plat::SecretStatus, const std::string& stored) {
            if (!ok || !client_) {
                // Nothing was sent: the queue stays for the next cycle.
                client_.reset();
                run_.failure = "has no password to log in with";
                tellLater(&SendObserver::connectionFailed);
                tellLater(&SendObserver::sendFinished);
                return;
            }
            openWithPassword(stored);
        });
        if (known) openWithPassword(password);
        return;
    }
    runPhase(*client_, client_->openHandler());
}

void Send::openWithPassword(const std::string& password) {
    const config::OutgoingSecurity& s = host_.security;
    client_->setSecurity(securityFromSetting(s.security), s.user, password, s.caFile);
    runPhase(*client_, client_->openHandler());
}

void Send::renewThenConnect() {
    run_.renewed = true;
    renewal_.start(host_.signIn, config::readOAuthSettings(host_.signIn), host_.security.caFile,
                   [this](oauth::RenewOutcome outcome) {
                       if (outcome == oauth::RenewOutcome::Renewed && client_) {
                           connectSignedIn();
                           return;
                       }
                       // Nothing was sent: the queue stays for the next cycle.
                       client_.reset();
                       run_.failure = "refused the log-in (no access token)";
                       tellLater(&SendObserver::connectionFailed);
                       tellLater(&SendObserver::sendFinished);
                   });
}

Send::~Send() {
    client_.reset();
}

void Send::start(const std::string& queueDirectory) {
    queueDirectory_ = queueDirectory;
    initMailSend();
}

void Send::startWith(const std::string& queueDirectory, std::vector<store::SMTPQueue::Entry> items) {
    queueDirectory_ = queueDirectory;
    items_ = std::move(items);
    initMailSend();
}

void Send::initMailSend() {
    run_ = Run{};
    if (items_) {
        run_.queue = std::make_unique<store::SMTPQueue>(queueDirectory_, *items_);
    } else {
        run_.queue = std::make_unique<store::SMTPQueue>(queueDirectory_);
    }
    if (run_.queue->count() > 0 && client_) {
        connectSignedIn();
    } else {
        tellLater(&SendObserver::sendFinished);
    }
}

void Send::startMailSend() {
    ++run_.current;
    if (run_.current > run_.queue->count()) {
        startClose();
        return;
    }
    std::string routing = run_.queue->routingPath(run_.current);
    bool loaded;
    if (run_.aheadItem == run_.current) {
        // Read already, for the envelope that may have gone out behind the last text.
        std::swap(run_.addresses, run_.nextAddresses);
        loaded = run_.aheadLoaded;
    } else {
        loaded = run_.addresses.load(routing);
    }
    if (!loaded) {
        // An envelope that could not be read is unknown, not wrong: the item waits for the
        // next cycle. Only a routing file read whole that names no recipient refuses it.
        DebugLineStr(LOG_MAIL, LOG_HIGH, "Routing file unreadable, mail item kept in the queue :", routing.c_str());
        tellLater(&SendObserver::itemFailed);
        nextItemLater();
        return;
    }
    if (client_->chunking()) {
        // QUIT goes out with the last item's chunk.
        runPhase(*client_, client_->chunkHandler(), &run_.addresses, run_.queue->itemPath(run_.current),
                 run_.current == run_.queue->count());
        return;
    }
    runPhase(*client_, client_->envelopeHandler(), &run_.addresses);
}

void Send::startClose() {
    runPhase(*client_, client_->closeHandler());
}

void Send::nextItemLater() {
    later_.post([this] {
        if (client_) startMailSend();
    });
}

void Send::nextItem() {
    // The replies to what went out behind the text may already be held: the phase that reads
    // them must be current before the client hands over its next line.
    if (client_->afterText() != SMTPClient::AfterText::Nothing) {
        startMailSend();
    } else {
        nextItemLater();
    }
}

void Send::startText() {
    std::string afterText;
    SMTPClient::AfterText kind = SMTPClient::AfterText::Nothing;
    if (client_->pipelining()) {
        // The next item's envelope (or QUIT after the last) travels with this text's final ".".
        if (run_.current == run_.queue->count()) {
            afterText = "QUIT\r\n";
            kind = SMTPClient::AfterText::Quit;
        } else {
            run_.aheadItem = run_.current + 1;
            run_.aheadLoaded = run_.nextAddresses.load(run_.queue->routingPath(run_.aheadItem));
            if (run_.aheadLoaded && run_.nextAddresses.count() >= 2) {
                afterText = SMTP_SendMailEnv::groupText(run_.nextAddresses, false);
                kind = SMTPClient::AfterText::Envelope;
            }
        }
    }
    runPhase(*client_, client_->dataHandler(), run_.queue->itemPath(run_.current), std::move(afterText), kind);
}

void Send::tellLater(void (SendObserver::*event)()) {
    if (observer_) later_.post([observer = observer_, event] { (observer->*event)(); });
}

void Send::opened(bool ok) {
    if (!client_) return;  // the phase is over: nothing may follow finished
    if (ok) {
        DebugLine(LOG_MAIL, LOG_LOW, "Connection opened with SMTP mail server");
        runPhase(*client_, client_->identHandler());
        return;
    }
    DebugLine(LOG_MAIL, LOG_HIGH, "Failed to open connection to SMTP mail server for delivery");
    run_.failure = "could not be reached";
    if (!client_->openFailure().empty()) run_.failure += " (" + client_->openFailure() + ")";
    startClose();
    tellLater(&SendObserver::connectionFailed);
}

void Send::identified(bool ok) {
    if (!client_) return;
    if (ok) {
        DebugLine(LOG_MAIL, LOG_LOW, "Identification to SMTP mail server complete");
        startMailSend();
        return;
    }
    if (host_.oauth && client_->tokenRefused() && !run_.renewed) {
        // A token our clock still counted as good: renewed once, on a new connection.
        DebugLine(LOG_MAIL, LOG_MED, "Access token refused by SMTP mail server: renewing it");
        oauth::forgetAccessToken(host_.signIn);
        run_.reconnectAfterClose = true;
        startClose();
        return;
    }
    DebugLine(LOG_MAIL, LOG_HIGH, "Identification failure when delivering mail to SMTP mail server");
    run_.failure = "refused the identification or log-in";
    startClose();
    tellLater(&SendObserver::connectionFailed);
}

void Send::recipientRefused(const std::string& address) {
    DebugLineStr(LOG_MAIL, LOG_HIGH, "Mail item envelope recipient NOT accepted :", address.c_str());
}

void Send::envelopeEnded(ItemOutcome outcome) {
    if (!client_) return;
    if (outcome == ItemOutcome::Accepted) {
        DebugLine(LOG_MAIL, LOG_LOW, "Mail item envelope transmission complete");
        startText();
        return;
    }
    DebugLine(LOG_MAIL, LOG_HIGH, "Mail item envelope transmission failed");
    if (outcome == ItemOutcome::RefusedForGood)
        refuseCurrentItem(client_->chunking() ? client_->chunkHandler().replyLines()
                                              : client_->envelopeHandler().replyLines());
    tellLater(&SendObserver::itemFailed);
    // A refused envelope whose chunk went out with QUIT behind it: QUIT's reply comes next.
    nextItem();
}

void Send::textEnded(ItemOutcome outcome) {
    if (!client_) return;
    if (outcome == ItemOutcome::Accepted) {
        tellLater(&SendObserver::itemSent);
        ++run_.sent;
        DebugLineStr(LOG_MAIL, LOG_MED, "OUTGOING SENT :", run_.queue->itemPath(run_.current).c_str());
        deleteCurrentItem();
        nextItem();
        return;
    }
    DebugLine(LOG_MAIL, LOG_HIGH, "Mail item data transmission failed");
    if (outcome == ItemOutcome::RefusedForGood)
        refuseCurrentItem(client_->chunking() ? client_->chunkHandler().replyLines()
                                              : client_->dataHandler().replyLines());
    tellLater(&SendObserver::itemFailed);
    nextItem();
}

void Send::closed() {
    DebugLine(LOG_MAIL, LOG_LOW, "Connection closed with SMTP mail server");
}

void Send::finished() {
    // No handler of the client is running now.
    client_.reset();
    if (run_.reconnectAfterClose) {
        run_.reconnectAfterClose = false;
        makeClient();
        renewThenConnect();
        return;
    }
    tellLater(&SendObserver::sendFinished);
}

void Send::refuseCurrentItem(const std::string& reply) {
    DebugLine(LOG_MAIL, LOG_HIGH,
              "Permanent delivery failure for mail item - remote server will not deliver this item.");
    std::string item = run_.queue->itemPath(run_.current);
    std::string why = reply.empty() ? item : item + " : " + oneLine(reply);
    DebugLineStr(LOG_MAIL, LOG_HIGH, "Mail item refused :", why.c_str());
    // Only a server's reply refuses an item at a host; a routing file can refuse it alone.
    std::string by = reply.empty() ? std::string() : host_.label();
    if (!by.empty())
        DebugLineStr(LOG_MAIL, LOG_HIGH,
                     "Mail item refused by outgoing host :", (by + " (" + host_.owner() + ")").c_str());
    ++run_.refused;
    // At once: the owner shows the refused item before it is deleted.
    if (observer_) observer_->itemRefusedBy(item, reply, by);
    deleteCurrentItem();
}

void Send::deleteCurrentItem() {
    store::MailItemLock lock(LOG_APP, LOG_HIGH, "FAILED to create MUTEX for Send::deleteCurrentItem");
    run_.queue->deleteItem(run_.current);
}
