#include "pop3/check.h"

#include "net/mail_client_notices.h"
#include "platform/clock.h"
#include "pop3/incoming_route.h"
#include "pop3/pop_client.h"
#include "shared/debug.h"

using namespace plat;

namespace {
constexpr char kCheckClass[] = "POPCLIENTCLASS";
}  // namespace

Check::Check(HWND owner, const std::string& accountsKey, const CheckNotices* notices)
    : owner_(owner), notices_(notices), accountsKey_(accountsKey) {
    if (!isClassRegistered(kCheckClass) && !registerClass(kCheckClass, &Check::procedure)) {
        DebugLine(LOG_APP, LOG_HIGH, "Unable to register POP Client class");
    }
    window_ = createWindow(kCheckClass, "POP Client", owner);
    if (!window_) {
        DebugLine(LOG_APP, LOG_HIGH, "Unable to create POP Client window");
        return;
    }
    setWindowLongPtr(window_, reinterpret_cast<std::intptr_t>(this));
}

Check::~Check() {
    if (client_) {
        DebugLine(LOG_APP, LOG_LOW, "m_pPOPClient still in existance at Check destruction!!!");
        client_.reset();
    }
    if (window_) {
        setWindowLongPtr(window_, 0);
        destroyWindow(window_);
    }
    unregisterClass(kCheckClass);
}

void Check::start(const std::string& itemDirectory) {
    itemDirectory_ = itemDirectory;
    accountIndex_ = 0;
    checkNextAccount();
}

void Check::tellOwner(int code, LPARAM lParam) {
    if (notices_ && notices_->message != 0) sendMessage(owner_, notices_->message, static_cast<WPARAM>(code), lParam);
}

void Check::checkNextAccount() {
    RegKey accounts;
    config::openAccountsKey(accounts, accountsKey_);
    config::AccountRecord record;
    if (!accounts.isOpen() || !config::readAccountRecord(accounts, accountIndex_, record)) {
        DebugLine(LOG_MAIL, LOG_LOW, "POP client all accounts checked");
        if (notices_ && notices_->message != 0) postMessage(owner_, notices_->message, static_cast<WPARAM>(notices_->finished), 0);
        return;
    }
    account_ = std::move(record);
    skippedAny_ = false;
    DebugLineStr(LOG_MAIL, LOG_MED, "Checking account...", account_.title.c_str());
    ++accountIndex_;
    // Written before the connection is tried, whatever its outcome.
    config::writeAccountDword(accounts, account_.title, "lastcheck", static_cast<std::uint32_t>(unixTime()));
    if (client_) DebugLine(LOG_APP, LOG_HIGH, "m_pPOPClient not destroyed from last check!");
    oauth_ = config::readAuthMode(account_.title) == config::kAuthOAuth;
    renewed_ = false;
    tellOwner(notices_ ? notices_->accountStarted : 0, reinterpret_cast<LPARAM>(&account_));
    // Mail that could not be stored would be fetched again at every check and never deleted:
    // the account fails before anything is fetched, until its mailbox can take files.
    std::string problem = mailboxProblem(account_.destMailbox);
    if (!problem.empty()) {
        std::string text = "Mail of account " + account_.title + " cannot be stored in its mailbox accounts/" +
                           account_.destMailbox + " : " + problem +
                           " : the mail stays on the server; make that folder writable for this user, or choose "
                           "another mailbox in the account's properties";
        DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
        tellOwner(notices_ ? notices_->accountFailed : 0, reinterpret_cast<LPARAM>(&account_));
        checkNextAccount();
        return;
    }
    connectAccount();
}

void Check::connectAccount() {
    if (oauth_) {
        std::string token = oauth::currentAccessToken(account_.title);
        if (token.empty() && !renewed_) {
            renewThenConnect();
            return;
        }
        connectWith(token);
        return;
    }
    config::SecretSource source = config::secretSource(account_.title, plat::SecretKind::Password, accountsKey_);
    source.registryValue = account_.pass;
    std::string password;
    bool known = password_.start(source, password, [this](bool ok, plat::SecretStatus, const std::string& stored) {
        if (ok) {
            connectWith(stored);
            return;
        }
        tellOwner(notices_ ? notices_->accountFailed : 0, reinterpret_cast<LPARAM>(&account_));
        checkNextAccount();
    });
    if (known) connectWith(password);
}

void Check::connectWith(const std::string& secret) {
    client_ = std::make_unique<POPClient>(window_, account_.server, static_cast<int>(account_.port), account_.user,
                                          secret, itemDirectory_);
    client_->setSecurity(securityFromSetting(account_.security), config::readSetting(config::kCaFile));
    client_->setOAuth(oauth_);
    client_->open(window_);
}

void Check::renewThenConnect() {
    renewed_ = true;
    renewal_.start(account_.title, config::readOAuthSettings(account_.title), config::readSetting(config::kCaFile),
                   [this](oauth::RenewOutcome outcome) {
        if (outcome == oauth::RenewOutcome::Renewed) {
            connectAccount();
            return;
        }
        // Nothing was retrieved: the account's mail waits on the server for the next check.
        tellOwner(notices_ ? notices_->accountFailed : 0, reinterpret_cast<LPARAM>(&account_));
        checkNextAccount();
    });
}

LRESULT Check::onClientNotice(WPARAM code, LPARAM lParam) {
    if (!client_) return 0;
    const CheckNotices defaults;
    const CheckNotices& n = notices_ ? *notices_ : defaults;
    auto account = reinterpret_cast<LPARAM>(&account_);
    switch (code) {
    case MailClient::OPEN_COMPLETE:
        DebugLine(LOG_MAIL, LOG_LOW, "POP client open complete");
        client_->authorise(window_);
        return 0;
    case MailClient::OPEN_FAIL:
        DebugLine(LOG_MAIL, LOG_HIGH, "POP client open failed");
        tellOwner(n.accountFailed, account);
        client_->close(window_);
        return 0;
    case MailClient::AUTH_COMPLETE:
        DebugLine(LOG_MAIL, LOG_LOW, "POP client authorisation complete");
        client_->retrieve(window_, account_.uidlFile, AfterStoring::DeleteOnServer);
        return 0;
    case MailClient::AUTH_FAIL:
        if (oauth_ && client_->tokenRefused() && !renewed_) {
            // A token our clock still counted as good: renewed once, on a new connection.
            DebugLine(LOG_MAIL, LOG_MED, "Access token refused by POP3 server: renewing it");
            oauth::forgetAccessToken(account_.title);
            reconnectAfterClose_ = true;
            client_->close(window_);
            return 0;
        }
        DebugLine(LOG_MAIL, LOG_HIGH, "POP client authorisation failed");
        tellOwner(n.accountFailed, account);
        client_->close(window_);
        return 0;
    case MailClient::RETRIEVE_COMPLETE:
        DebugLine(LOG_MAIL, LOG_LOW, "POP client new mail retrieve complete");
        tellOwner(skippedAny_ ? n.accountFailed : n.accountDone, account);
        client_->close(window_);
        return 0;
    case MailClient::RETRIEVE_ITEM: {
        // The mailbox directory is flushed once for a batch, at RETRIEVE_FLUSH.
        RoutedItem routed = routeIncomingItem(reinterpret_cast<const char*>(lParam), account_.destMailbox, false);
        // An item that did not reach its mailbox stays on the server for the next check; the
        // retrieval reports it as skipped, which fails the account.
        if (!routed.stored) return 0;
        tellOwner(n.newItem, reinterpret_cast<LPARAM>(routed.destination.c_str()));
        return POPClient::kItemStored;
    }
    case MailClient::RETRIEVE_FLUSH:
        return syncMailbox(account_.destMailbox) ? POPClient::kMailboxFlushed : 0;
    case MailClient::RETRIEVE_SKIPPED: {
        const auto* skipped = reinterpret_cast<const SkippedMessage*>(lParam);
        std::string text = "Message left on the server of account " + account_.title + " : " +
                           skipped->identifier + " : " + skipped->reason;
        DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
        skippedAny_ = true;
        return 0;
    }
    case MailClient::RETRIEVE_FAIL:
        DebugLine(LOG_MAIL, LOG_HIGH, "POP client new mail retrieve failed");
        tellOwner(n.retrieveFailed, account);
        client_->close(window_);
        return 0;
    case MailClient::CLOSE_COMPLETE:
        DebugLine(LOG_MAIL, LOG_LOW, "POPClient close complete");
        return 0;
    case MailClient::FINISHED:
        DebugLine(LOG_APP, LOG_LOW, "m_pPOPClient deleted");
        client_.reset();
        if (reconnectAfterClose_) {
            reconnectAfterClose_ = false;
            renewThenConnect();
            return 0;
        }
        checkNextAccount();
        return 0;
    default:
        return 0;
    }
}

LRESULT Check::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Check*>(getWindowLongPtr(hwnd));
    if (msg == WM_DESTROY) return 0;
    if (self && msg == WM_MAILCLIENT) return self->onClientNotice(wParam, lParam);
    return defWindowProc(hwnd, msg, wParam, lParam);
}
