#include "smtp/send.h"

#include "net/mail_client_open.h"
#include "log/debug.h"
#include "config/settings.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_close.h"
#include "smtp/smtp_ident.h"
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

Send::Send(const char* host, int port, SendObserver* observer)
    : observer_(observer),
      host_(host ? host : ""),
      port_(port) {
    security_ = config::readOutgoingSecurity();
    oauth_ = config::readAuthMode(config::kOutgoingTarget) == config::kAuthOAuth;
    makeClient();
}

void Send::makeClient() {
    client_ = std::make_unique<SMTPClient>(static_cast<SMTPClientObserver*>(this), host_.c_str(), port_);
    client_->setSecurity(securityFromSetting(security_.security), security_.user, security_.pass, security_.caFile);
    client_->setOAuth(oauth_);
}

void Send::connectSignedIn() {
    if (oauth_) {
        std::string token = oauth::currentAccessToken(config::kOutgoingTarget);
        if (token.empty() && !renewed_) {
            renewThenConnect();
            return;
        }
        client_->setSecurity(securityFromSetting(security_.security), security_.user, token, security_.caFile);
    } else if (!security_.user.empty()) {
        config::SecretSource source = config::secretSource(config::kOutgoingTarget, plat::SecretKind::Password);
        source.registryValue = security_.pass;
        std::string password;
        bool known = password_.start(source, password, [this](bool ok, plat::SecretStatus, const std::string& stored) {
            if (!ok || !client_) {
                // Nothing was sent: the queue stays for the next cycle.
                client_.reset();
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
    client_->setSecurity(securityFromSetting(security_.security), security_.user, password, security_.caFile);
    runPhase(*client_, client_->openHandler());
}

void Send::renewThenConnect() {
    renewed_ = true;
    renewal_.start(config::kOutgoingTarget, config::readOAuthSettings(config::kOutgoingTarget), security_.caFile,
                   [this](oauth::RenewOutcome outcome) {
                       if (outcome == oauth::RenewOutcome::Renewed && client_) {
                           connectSignedIn();
                           return;
                       }
                       // Nothing was sent: the queue stays for the next cycle.
                       client_.reset();
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

void Send::initMailSend() {
    queue_ = std::make_unique<store::SMTPQueue>(queueDirectory_);
    current_ = 0;
    aheadItem_ = 0;
    if (queue_->count() > 0 && client_) {
        connectSignedIn();
    } else {
        tellLater(&SendObserver::sendFinished);
    }
}

void Send::startMailSend() {
    ++current_;
    if (current_ > queue_->count()) {
        startClose();
        return;
    }
    std::string routing = queue_->routingPath(current_);
    bool loaded;
    if (aheadItem_ == current_) {
        // Read already, for the envelope that may have gone out behind the last text.
        std::swap(addresses_, nextAddresses_);
        loaded = aheadLoaded_;
    } else {
        loaded = addresses_.load(routing);
    }
    if (!loaded) {
        // An envelope that could not be read is unknown, not wrong: the item waits for the
        // next cycle. Only a routing file read whole that names no recipient refuses it.
        DebugLineStr(LOG_MAIL, LOG_HIGH, "Routing file unreadable, mail item kept in the queue :", routing.c_str());
        tellLater(&SendObserver::itemFailed);
        nextItemLater();
        return;
    }
    runPhase(*client_, client_->envelopeHandler(), &addresses_);
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
        if (current_ == queue_->count()) {
            afterText = "QUIT\r\n";
            kind = SMTPClient::AfterText::Quit;
        } else {
            aheadItem_ = current_ + 1;
            aheadLoaded_ = nextAddresses_.load(queue_->routingPath(aheadItem_));
            if (aheadLoaded_ && nextAddresses_.count() >= 2) {
                afterText = SMTP_SendMailEnv::groupText(nextAddresses_, false);
                kind = SMTPClient::AfterText::Envelope;
            }
        }
    }
    runPhase(*client_, client_->dataHandler(), queue_->itemPath(current_), std::move(afterText), kind);
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
    if (oauth_ && client_->tokenRefused() && !renewed_) {
        // A token our clock still counted as good: renewed once, on a new connection.
        DebugLine(LOG_MAIL, LOG_MED, "Access token refused by SMTP mail server: renewing it");
        oauth::forgetAccessToken(config::kOutgoingTarget);
        reconnectAfterClose_ = true;
        startClose();
        return;
    }
    DebugLine(LOG_MAIL, LOG_HIGH, "Identification failure when delivering mail to SMTP mail server");
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
    if (outcome == ItemOutcome::RefusedForGood) refuseCurrentItem(client_->envelopeHandler().replyLines());
    tellLater(&SendObserver::itemFailed);
    nextItemLater();
}

void Send::textEnded(ItemOutcome outcome) {
    if (!client_) return;
    if (outcome == ItemOutcome::Accepted) {
        tellLater(&SendObserver::itemSent);
        DebugLineStr(LOG_MAIL, LOG_MED, "OUTGOING SENT :", queue_->itemPath(current_).c_str());
        deleteCurrentItem();
        nextItem();
        return;
    }
    DebugLine(LOG_MAIL, LOG_HIGH, "Mail item data transmission failed");
    if (outcome == ItemOutcome::RefusedForGood) refuseCurrentItem(client_->dataHandler().replyLines());
    tellLater(&SendObserver::itemFailed);
    nextItem();
}

void Send::closed() {
    DebugLine(LOG_MAIL, LOG_LOW, "Connection closed with SMTP mail server");
}

void Send::finished() {
    // No handler of the client is running now.
    client_.reset();
    if (reconnectAfterClose_) {
        reconnectAfterClose_ = false;
        makeClient();
        renewThenConnect();
        return;
    }
    tellLater(&SendObserver::sendFinished);
}

void Send::refuseCurrentItem(const std::string& reply) {
    DebugLine(LOG_MAIL, LOG_HIGH,
              "Permanent delivery failure for mail item - remote server will not deliver this item.");
    std::string item = queue_->itemPath(current_);
    std::string why = reply.empty() ? item : item + " : " + oneLine(reply);
    DebugLineStr(LOG_MAIL, LOG_HIGH, "Mail item refused :", why.c_str());
    // At once: the owner shows the refused item before it is deleted.
    if (observer_) observer_->itemRefused(item, reply);
    deleteCurrentItem();
}

void Send::deleteCurrentItem() {
    store::MailItemLock lock(LOG_APP, LOG_HIGH, "FAILED to create MUTEX for Send::deleteCurrentItem");
    queue_->deleteItem(current_);
}
