// Check: the account check of a cycle. It walks the POP3 accounts of the registry in
// enumeration order, runs one POPClient per account (open, login, retrieval, close), moves
// every retrieved item from the item directory into its account's mailbox, and tells its
// CheckObserver. It hears its client as the client's observer. The next account starts only after the previous client has finished and been deleted; checkFinished
// comes in a turn of the loop of its own, so the owner may delete the Check there.
// An account whose retrieval left a message behind (refused, or not storable) ends Failed, so
// that the front end shows that something is wrong.
//
// An account with OAuth 2.0 ("auth" 1) logs in with the access token held for its title; a
// missing one is renewed before connecting, one the server refuses is renewed once and the
// account connected again. A renewal that fails fails the account; the next one follows.
// A password kept in the secret store is looked up before connecting; a store that cannot
// give it fails the account as a wrong password would (its mail waits on the server).
#pragma once

#include "oauth/access_tokens.h"
#include "platform/deferred_calls.h"
#include "platform/registry.h"
#include "pop3/pop_client.h"
#include "config/settings.h"

#include <memory>
#include <string>

// How the check of one account ended.
enum class AccountOutcome {
    Done,  // every new message is stored
    RetrievalFailed,  // the retrieval broke off; what it stored is safe
    Failed,  // no connection, no log-in, or a message left on the server
};

// What the account check tells its owner. Every call but checkFinished is made while the
// check works; the references are valid during the call only.
class CheckObserver {
public:
    virtual ~CheckObserver() = default;
    virtual void accountStarted(const config::AccountRecord& account) = 0;
    // A new message is stored at path.
    virtual void itemStored(const std::string& path) = 0;
    virtual void accountEnded(const config::AccountRecord& account, AccountOutcome outcome) = 0;
    // The walk is over, the Check may be deleted.
    virtual void checkFinished() = 0;
};

class Check : private POPClientObserver {
public:
    // accountsKey: the accounts key path under HKEY_CURRENT_USER; observer: the owner's,
    // outliving the Check, or null to tell nobody.
    Check(const std::string& accountsKey, CheckObserver* observer);
    ~Check() override;
    Check(const Check&) = delete;
    Check& operator=(const Check&) = delete;

    // Starts the walk at the first account; retrieved items are written to itemDirectory
    // ("accounts/holding/" in a cycle).
    void start(const std::string& itemDirectory);

    const config::AccountRecord& currentAccount() const { return account_; }

private:
    void checkNextAccount();
    // Connects the current account, with an access token first when its login needs one.
    void connectAccount();
    void renewThenConnect();
    void connectWith(const std::string& secret);
    void opened(bool ok) override;
    void loggedIn(bool ok) override;
    bool itemReceived(const std::string& path) override;
    bool storedItemsFlushed() override;
    void messageSkipped(const SkippedMessage& skipped) override;
    void retrievalEnded(bool ok) override;
    void closed() override;
    void finished() override;
    void endAccount(AccountOutcome outcome);

    CheckObserver* observer_;
    plat::DeferredCalls later_;
    std::unique_ptr<POPClient> client_;
    std::string accountsKey_;
    std::string itemDirectory_;
    int accountIndex_ = 0;
    config::AccountRecord account_;
    bool skippedAny_ = false;  // a message of this account was left on the server
    bool oauth_ = false;
    bool renewed_ = false;  // the one renewal of this account's check is spent
    bool reconnectAfterClose_ = false;
    oauth::TokenRenewal renewal_;
    oauth::SecretRead password_;
};
