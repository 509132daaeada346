// The wizard's manual pages, in the order a person fills them in:
// - the incoming server: the protocol ("protocol": POP3 or IMAP), the log-in (fields
//   "popServer", kept in lower case, "popSecurity", "popPort", "popUser", "popPassword"; the
//   port follows protocol and security unless typed), and how Tarnwick logs in there: with that
//   password, or with OAuth 2.0 (fields "oauth", "oauthPreset", "oauthClientId"), the password
//   then being the one the e-mail program logs in to Tarnwick with. Next waits for the three
//   mandatory fields and a usable port;
// - the outgoing server: the one for all accounts, or the account's own, and the addresses it
//   sends for (OutgoingFields);
// - what becomes of fetched mail at the provider and, for IMAP, the folders (RetrievalFields).
// The last two refuse what validation::checkOutgoing and checkRetrieval refuse, with their
// message and the cursor in the field.
#pragma once

#include "frontend/settings/outgoing_values.h"
#include "frontend/settings/retrieval_values.h"
#include "frontend/settings/security_fields.h"

#include <QWizardPage>

#include <array>
#include <cstdint>
#include <string>

struct FoundState;
class OutgoingFields;
class QComboBox;
class QLabel;
class QWizard;
class RetrievalFields;
class SignInFields;

class WizardServerPage : public QWizardPage {
    Q_OBJECT

public:
    WizardServerPage(const FoundState* state, int next);

    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;
    int nextId() const override { return next_; }

    std::uint32_t protocol() const;
    std::uint32_t security() const;
    unsigned port() const;  // once the page is accepted
    std::string user() const;
    std::string password() const;
    bool oauth() const;

private:
    const FoundState* state_;
    int next_;
    QLabel* why_;
    QComboBox* protocol_;
    PopLogin pop_;
    SignInFields* signIn_;
};

class WizardOutgoingPage : public QWizardPage {
    Q_OBJECT

public:
    WizardOutgoingPage(const FoundState* state, const WizardServerPage* incoming, int next);

    void initializePage() override;
    bool validatePage() override;
    int nextId() const override { return next_; }

    OutgoingValues values() const;

private:
    const FoundState* state_;
    const WizardServerPage* incoming_;
    int next_;
    OutgoingFields* fields_;
};

class WizardFetchingPage : public QWizardPage {
    Q_OBJECT

public:
    WizardFetchingPage(const WizardServerPage* incoming, int next);

    void initializePage() override;
    bool validatePage() override;
    int nextId() const override { return next_; }

    // For a POP3 account the IMAP values stay what the engine reads without them.
    RetrievalValues values() const;

private:
    const WizardServerPage* incoming_;
    int next_;
    RetrievalFields* fields_;
};

struct ManualPages {
    WizardServerPage* server = nullptr;
    WizardOutgoingPage* outgoing = nullptr;
    WizardFetchingPage* fetching = nullptr;

    // Writes what the pages hold beyond what config::createAccount wrote for the account titled
    // title, as the account sheet writes it: only values that differ from what the engine reads
    // without them, secrets through the secret store where the account's are. Answers whether
    // all of it was stored.
    bool write(const std::string& title) const;
};

// Adds the pages to wizard under ids (incoming, outgoing, fetched mail), the last one followed
// by the page next.
ManualPages addManualPages(QWizard* wizard, const FoundState* state, std::array<int, 3> ids, int next);
