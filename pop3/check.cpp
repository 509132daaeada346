#include "pop3/check.h"
#include "config/account_values.h"

#include "platform/clock.h"
#include "pop3/incoming_route.h"
#include "pop3/pop_client.h"
#include "log/debug.h"

using namespace plat;

Check::Check(const std::string& accountsKey, CheckObserver* observer)
    : observer_(observer),
      accountsKey_(accountsKey) {}

Check::~Check() {
    if (hasClient()) {
        DebugLine(LOG_APP, LOG_LOW, "m_pPOPClient still in existance at Check destruction!!!");
        client_.reset();
        imap_.reset();
    }
}

void Check::closeClient() {
    if (imap_) {
        imap_->close();
    } else if (client_) {
        client_->close();
    }
}

bool Check::clientTokenRefused() const {
    return imap_ ? imap_->tokenRefused() : client_ && client_->tokenRefused();
}

void Check::start(const std::string& itemDirectory) {
    itemDirectory_ = itemDirectory;
    accountIndex_ = 0;
    checkNextAccount();
}

void Check::endAccount(AccountOutcome outcome) {
    if (observer_) observer_->accountEnded(account_, outcome);
}

void Check::checkNextAccount() {
    RegKey accounts;
    config::openAccountsKey(accounts, accountsKey_);
    config::AccountRecord record;
    if (!accounts.isOpen() || !config::readAccountRecord(accounts, accountIndex_, record)) {
        DebugLine(LOG_MAIL, LOG_LOW, "POP client all accounts checked");
        if (observer_) later_.post([observer = observer_] { observer->checkFinished(); });
        return;
    }
    account_ = std::move(record);
    skippedAny_ = false;
    DebugLineStr(LOG_MAIL, LOG_MED, "Checking account...", account_.title.c_str());
    ++accountIndex_;
    // Written before the connection is tried, whatever its outcome.
    config::writeAccountDword(accounts, account_.title, config::kLastCheckValue,
                              static_cast<std::uint32_t>(unixTime()));
    if (hasClient()) DebugLine(LOG_APP, LOG_HIGH, "m_pPOPClient not destroyed from last check!");
    oauth_ = config::readAuthMode(account_.title) == config::kAuthOAuth;
    renewed_ = false;
    if (observer_) observer_->accountStarted(account_);
    // Mail that could not be stored would be fetched again at every check and never deleted:
    // the account fails before anything is fetched, until its mailbox can take files.
    std::string problem = mailboxProblem(account_.destMailbox);
    if (!problem.empty()) {
        std::string text = "Mail of account " + account_.title + " cannot be stored in its mailbox accounts/" +
                           account_.destMailbox + " : " + problem +
                           " : the mail stays on the server; make that folder writable for this user, or choose "
                           "another mailbox in the account's properties";
        DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
        endAccount(AccountOutcome::Failed);
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
        endAccount(AccountOutcome::Failed);
        checkNextAccount();
    });
    if (known) connectWith(password);
}

void Check::connectWith(const std::string& secret) {
    if (account_.protocol == config::kProtocolImap) {
        imap_ = std::make_unique<IMAPClient>(static_cast<POPClientObserver*>(this), account_.server,
                                             static_cast<int>(account_.port), account_.user, secret, itemDirectory_);
        imap_->setSecurity(securityFromSetting(account_.security), config::readSetting(config::kCaFile));
        imap_->setOAuth(oauth_);
        imap_->open();
        return;
    }
    client_ = std::make_unique<POPClient>(static_cast<POPClientObserver*>(this), account_.server,
                                          static_cast<int>(account_.port), account_.user, secret, itemDirectory_);
    client_->setSecurity(securityFromSetting(account_.security), config::readSetting(config::kCaFile));
    client_->setOAuth(oauth_);
    client_->open();
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
                       endAccount(AccountOutcome::Failed);
                       checkNextAccount();
                   });
}

void Check::opened(bool ok) {
    if (!hasClient()) return;
    if (ok) {
        DebugLine(LOG_MAIL, LOG_LOW, "POP client open complete");
        if (imap_) {
            imap_->authorise();
        } else {
            client_->authorise();
        }
        return;
    }
    DebugLine(LOG_MAIL, LOG_HIGH, "POP client open failed");
    endAccount(AccountOutcome::Failed);
    closeClient();
}

void Check::loggedIn(bool ok) {
    if (!hasClient()) return;
    if (ok) {
        DebugLine(LOG_MAIL, LOG_LOW, "POP client authorisation complete");
        if (imap_) {
            IMAPFetchOptions options;
            options.recordFile = account_.uidlFile;
            options.folders = account_.imapFolders;
            options.leaveMail = account_.leaveMail;
            options.leaveDays = account_.leaveDays;
            options.moveFolder = account_.moveFolder;
            imap_->retrieve(options);
            return;
        }
        // Mail left on the server stays recorded, so it is not fetched again.
        AfterStoring after = account_.leaveMail == config::kLeaveMailDelete    ? AfterStoring::DeleteOnServer
                             : account_.leaveMail == config::kLeaveMailForDays ? AfterStoring::DeleteAfterDays
                                                                               : AfterStoring::KeepOnServer;
        client_->retrieve(account_.uidlFile, after, account_.leaveDays);
        return;
    }
    if (oauth_ && clientTokenRefused() && !renewed_) {
        // A token our clock still counted as good: renewed once, on a new connection.
        DebugLine(LOG_MAIL, LOG_MED, "Access token refused by POP3 server: renewing it");
        oauth::forgetAccessToken(account_.title);
        reconnectAfterClose_ = true;
        closeClient();
        return;
    }
    DebugLine(LOG_MAIL, LOG_HIGH, "POP client authorisation failed");
    endAccount(AccountOutcome::Failed);
    closeClient();
}

bool Check::itemReceived(const std::string& path) {
    // The mailbox directory is flushed once for a batch, in storedItemsFlushed.
    RoutedItem routed = routeIncomingItem(path, account_.destMailbox, false);
    // An item that did not reach its mailbox stays on the server for the next check; the
    // retrieval reports it as skipped, which fails the account.
    if (!routed.stored) return false;
    if (observer_) observer_->itemStored(routed.destination);
    return true;
}

bool Check::storedItemsFlushed() {
    return syncMailbox(account_.destMailbox);
}

void Check::messageSkipped(const SkippedMessage& skipped) {
    std::string text = "Message left on the server of account " + account_.title + " : " + skipped.identifier + " : " +
                       skipped.reason;
    DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
    skippedAny_ = true;
}

void Check::retrievalEnded(bool ok) {
    if (!hasClient()) return;
    if (ok) {
        DebugLine(LOG_MAIL, LOG_LOW, "POP client new mail retrieve complete");
        endAccount(skippedAny_ ? AccountOutcome::Failed : AccountOutcome::Done);
    } else {
        DebugLine(LOG_MAIL, LOG_HIGH, "POP client new mail retrieve failed");
        endAccount(AccountOutcome::RetrievalFailed);
    }
    closeClient();
}

void Check::closed() {
    DebugLine(LOG_MAIL, LOG_LOW, "POPClient close complete");
}

void Check::finished() {
    DebugLine(LOG_APP, LOG_LOW, "m_pPOPClient deleted");
    client_.reset();
    imap_.reset();
    if (reconnectAfterClose_) {
        reconnectAfterClose_ = false;
        renewThenConnect();
        return;
    }
    checkNextAccount();
}
