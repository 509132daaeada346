// The wizard's check of the servers before the account is made: the incoming server with the
// log-in, the outgoing server (with its log-in where it has one), each probed as trawlexctl
// probe does, away from the GUI thread. The page says what failed in plain words; Next waits
// until all is well, or until the user chooses to set the account up all the same (offline,
// or a server that is not there yet).
#pragma once

#include "autoconfig/server_probe.h"
#include "frontend/settings/sign_in.h"

#include <QWizardPage>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QVBoxLayout;

namespace check {

// One server to check, as the wizard's pages hold it.
struct Target {
    QString role;  // "Incoming mail", "Outgoing mail"
    autoconfig::ProbeTarget probe;
    std::string providerNote;  // said along with a refused password
    // OAuth 2.0 with the new account's own sign-in: the page signs in first and logs in with
    // the access token it is handed.
    bool accountSignIn = false;
    bool signInLater = false;  // OAuth 2.0 signed in elsewhere: the log-in is not tried here
};

// The account's incoming server: protocol config::kProtocolPop3 or kProtocolImap, security as
// stored (0 plain, 1 STARTTLS, 2 TLS). With oauth the log-in uses the new account's sign-in.
Target incoming(std::uint32_t protocol, const std::string& host, std::uint32_t port, std::uint32_t security,
                const std::string& user, const std::string& password, bool oauth, const std::string& note);
// An outgoing server; the log-in is tried when there is a user name and a password, or with
// oauth the new account's sign-in.
Target outgoing(const std::string& host, std::uint32_t port, std::uint32_t security, const std::string& user,
                const std::string& password, bool oauth, const std::string& note);
// The outgoing host set in Options, with its stored log-in; none when no host is set.
std::optional<Target> globalOutgoing();

using Answer = std::function<void(autoconfig::ProbeReport)>;
using Start = std::function<void(const autoconfig::ProbeTarget& target, Answer answer)>;
// Starts a probe and returns at once; answer follows on the GUI thread (also when no longer
// wanted: the caller ignores it).
void start(const autoconfig::ProbeTarget& target, Answer answer);
// A test's probe; an empty function restores the real one.
void setStartHook(Start hook);
// How long the page waits for all answers; a test's limit, zero restoring the default.
std::chrono::milliseconds timeLimit();
void setTimeLimit(std::chrono::milliseconds limit);

}  // namespace check

class WizardCheckPage : public QWizardPage {
    Q_OBJECT

public:
    // targets: what to check, asked each time the page is entered; signInChoice: the provider
    // and client of the new account's OAuth 2.0 sign-in; next: the page that follows.
    WizardCheckPage(std::function<std::vector<check::Target>()> targets, std::function<signin::Choice()> signInChoice,
                    int next);

    void initializePage() override;
    void cleanupPage() override;
    bool isComplete() const override;
    bool validatePage() override;
    int nextId() const override { return next_; }
    // The wizard closed: answers still to come are not wanted.
    void stop();
    // The new account's sign-in, once had, and the choice it was had with.
    const std::optional<signin::Tokens>& signIn() const { return tokens_; }
    const signin::Choice& signedInWith() const { return signedInWith_; }

private:
    void run();
    void probeAll();
    void signedIn(bool ok, const QString& why);
    void answered(std::size_t index, const autoconfig::ProbeReport& report);
    void gaveUp();
    void showOutcome();
    bool allPassed() const;

    std::function<std::vector<check::Target>()> targetsOf_;
    std::function<signin::Choice()> choiceOf_;
    int next_;
    std::vector<check::Target> targets_;
    std::vector<std::optional<bool>> passed_;  // per target, once answered
    std::vector<QLabel*> results_;
    std::vector<QLabel*> shown_;  // the servers' names and results, made anew for each check
    QLabel* status_;
    QProgressBar* busy_;
    QVBoxLayout* list_;
    QCheckBox* keep_;
    QPushButton* again_;
    QTimer* limit_;
    bool running_ = false;
    int run_ = 0;  // the check whose answers are still wanted
    SignInRun* signInRun_ = nullptr;  // while the sign-in runs
    std::optional<signin::Tokens> tokens_;
    signin::Choice signedInWith_;
    std::string signedInAs_;  // the user name it was had for
    std::chrono::steady_clock::time_point tokensGoodUntil_;
};
