#include "frontend/settings/wizard_check_page.h"

#include "config/account_values.h"
#include "config/settings.h"
#include "frontend/dialogs/controls.h"
#include "frontend/settings/check_words.h"
#include "frontend/settings/off_thread.h"
#include "log/debug.h"
#include "oauth/oauth_settings.h"
#include "secrets/secret_moves.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWizard>

#include <algorithm>

namespace check {
namespace {

// Each step of a probe waits this long; the page waits for all of them at most kDefaultLimit.
constexpr int kStepTimeoutMs = 10000;
constexpr std::chrono::milliseconds kDefaultLimit{45000};

Start& hook() {
    static Start h;
    return h;
}

std::chrono::milliseconds& limit() {
    static std::chrono::milliseconds l{0};
    return l;
}

autoconfig::ProbeTarget probeTarget(autoconfig::Protocol protocol, const std::string& host, std::uint32_t port,
                                    std::uint32_t security) {
    autoconfig::ProbeTarget t;
    t.protocol = protocol;
    t.host = host;
    t.port = static_cast<std::uint16_t>(port);
    t.security = securityFromSetting(security);
    t.caFile = config::readSetting(config::kCaFile);
    t.stepTimeoutMs = kStepTimeoutMs;
    return t;
}

}  // namespace

Target incoming(std::uint32_t protocol, const std::string& host, std::uint32_t port, std::uint32_t security,
                const std::string& user, const std::string& password, bool oauth, const std::string& note) {
    Target t;
    t.role = QCoreApplication::translate("WizardCheckPage", "Incoming mail");
    t.probe = probeTarget(protocol == config::kProtocolImap ? autoconfig::Protocol::Imap : autoconfig::Protocol::Pop3,
                          host, port, security);
    t.probe.user = user;
    t.probe.password = oauth ? std::string() : password;  // with OAuth 2.0 it is the local one
    t.probe.login = !oauth;
    t.accountSignIn = oauth;
    t.providerNote = note;
    return t;
}

Target outgoing(const std::string& host, std::uint32_t port, std::uint32_t security, const std::string& user,
                const std::string& password, bool oauth, const std::string& note) {
    Target t;
    t.role = QCoreApplication::translate("WizardCheckPage", "Outgoing mail");
    t.probe = probeTarget(autoconfig::Protocol::Smtp, host, port, security);
    t.probe.user = user;
    t.probe.password = oauth ? std::string() : password;
    t.probe.login = !oauth && !user.empty() && !password.empty();
    t.accountSignIn = oauth && !user.empty();
    t.providerNote = note;
    return t;
}

std::optional<Target> globalOutgoing() {
    std::string host = config::readSetting(config::kOutHostName);
    if (host.empty()) return std::nullopt;
    std::string user = config::readSetting(config::kOutHostUser);
    bool oauth = config::readAuthMode(config::kOutgoingTarget) == config::kAuthOAuth;
    std::string password = user.empty() || oauth
                               ? std::string()
                               : config::readSecretForEditing(config::kOutgoingTarget, plat::SecretKind::Password);
    Target t = outgoing(host, config::readOutHostPort().value_or(25), config::readSetting(config::kOutHostSecurity),
                        user, password, false, {});
    // Its own sign-in is kept elsewhere; the page has no token of it.
    t.signInLater = oauth && !user.empty();
    return t;
}

void start(const autoconfig::ProbeTarget& target, Answer answer) {
    if (hook()) {
        hook()(target, std::move(answer));
        return;
    }
    runOffThread<autoconfig::ProbeReport>([target] { return autoconfig::probeServer(target); }, std::move(answer));
}

void setStartHook(Start h) {
    hook() = std::move(h);
}

std::chrono::milliseconds timeLimit() {
    return limit().count() > 0 ? limit() : kDefaultLimit;
}

void setTimeLimit(std::chrono::milliseconds l) {
    limit() = l;
}

}  // namespace check

namespace {

bool canSignIn(const signin::Choice& c) {
    return !c.preset.empty() || (!c.authUrl.empty() && !c.tokenUrl.empty());
}

bool sameChoice(const signin::Choice& a, const signin::Choice& b) {
    return a.preset == b.preset && a.clientId == b.clientId && a.clientSecret == b.clientSecret &&
           a.authUrl == b.authUrl && a.tokenUrl == b.tokenUrl && a.scope == b.scope;
}

}  // namespace

WizardCheckPage::WizardCheckPage(std::function<std::vector<check::Target>()> targets,
                                 std::function<signin::Choice()> signInChoice, int next)
    : targetsOf_(std::move(targets)),
      choiceOf_(std::move(signInChoice)),
      next_(next) {
    setObjectName(QStringLiteral("checkPage"));
    setTitle(QCoreApplication::translate("AccountWizard", "Add account wizard"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(noteLabel(this, tr("Tarnwick tries the servers with what you entered, as it will when it "
                                         "fetches and sends your mail.")));
    status_ = noteLabel(this, {});
    status_->setObjectName(QStringLiteral("checkText"));
    layout->addWidget(status_);
    busy_ = new QProgressBar(this);
    busy_->setObjectName(QStringLiteral("checkBusy"));
    busy_->setRange(0, 0);
    busy_->setTextVisible(false);
    layout->addWidget(busy_);
    // Each server's name above what its check found, the full width for both.
    list_ = new QVBoxLayout;
    layout->addLayout(list_);
    keep_ = checkBox(this, "keepUnchecked", tr("Set up the account &anyway"));
    keep_->setToolTip(
        tr("For example when this computer is offline: Tarnwick tries the servers again each "
           "time it fetches mail, and its log says what fails."));
    connect(keep_, &QCheckBox::toggled, this, &QWizardPage::completeChanged);
    again_ = pushButton(this, "checkAgain", tr("&Check again"));
    again_->setAutoDefault(false);  // Return stays with Next
    connect(again_, &QPushButton::clicked, this, &WizardCheckPage::run);
    auto* row = new QHBoxLayout;
    row->addWidget(keep_);
    row->addStretch(1);
    row->addWidget(again_);
    layout->addLayout(row);
    layout->addStretch(1);
    limit_ = new QTimer(this);
    limit_->setSingleShot(true);
    connect(limit_, &QTimer::timeout, this, &WizardCheckPage::gaveUp);
}

void WizardCheckPage::initializePage() {
    keep_->setChecked(false);
    if (QWizard* w = wizard()) connect(w, &QDialog::finished, this, &WizardCheckPage::stop, Qt::UniqueConnection);
    run();
}

void WizardCheckPage::cleanupPage() {
    stop();
}

void WizardCheckPage::stop() {
    running_ = false;
    ++run_;
    limit_->stop();
    if (signInRun_) {
        signInRun_->cancel();
        signInRun_->deleteLater();
        signInRun_ = nullptr;
    }
}

bool WizardCheckPage::allPassed() const {
    for (const std::optional<bool>& p : passed_)
        if (p != true) return false;
    return true;
}

// Next pressed from code goes by validatePage alone. Set up anyway, a sign-in still waiting
// in the browser ends here: the one after Finish takes its place.
bool WizardCheckPage::validatePage() {
    if (!isComplete()) return false;
    if (running_) stop();
    return true;
}

bool WizardCheckPage::isComplete() const {
    return keep_->isChecked() || (!running_ && allPassed());
}

void WizardCheckPage::run() {
    stop();
    targets_ = targetsOf_();
    passed_.assign(targets_.size(), std::nullopt);
    for (QLabel* l : shown_) delete l;
    shown_.clear();
    results_.clear();
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        const check::Target& t = targets_[i];
        auto* role = new QLabel(
            tr("%1: %2, port %3").arg(t.role, QString::fromStdString(t.probe.host)).arg(t.probe.port), this);
        role->setTextFormat(Qt::PlainText);
        role->setWordWrap(true);
        QFont bold = role->font();
        bold.setBold(true);
        role->setFont(bold);
        auto* result = new QLabel(tr("Checking…"), this);
        result->setObjectName(QStringLiteral("checkResult%1").arg(i));
        result->setTextFormat(Qt::PlainText);  // a server's own words are shown in it
        result->setWordWrap(true);
        result->setTextInteractionFlags(Qt::TextSelectableByMouse);
        result->setIndent(12);
        list_->addWidget(role);
        list_->addWidget(result);
        shown_.push_back(role);
        shown_.push_back(result);
        results_.push_back(result);
    }
    running_ = !targets_.empty();
    const check::Target* signingIn = nullptr;
    for (const check::Target& t : targets_)
        if (t.accountSignIn && !signingIn) signingIn = &t;
    if (signingIn && !canSignIn(choiceOf_ ? choiceOf_() : signin::Choice{})) {
        // No provider's endpoints to sign in with here: the server is checked without the log-in.
        for (check::Target& t : targets_)
            if (t.accountSignIn) {
                t.accountSignIn = false;
                t.signInLater = true;
            }
        signingIn = nullptr;
    }
    if (signingIn) {
        // A sign-in had for another user, provider or client is no good for this check, nor
        // one whose access token is about to expire.
        signin::Choice choice = choiceOf_ ? choiceOf_() : signin::Choice{};
        if (tokens_ && (!sameChoice(choice, signedInWith_) || signingIn->probe.user != signedInAs_ ||
                        std::chrono::steady_clock::now() > tokensGoodUntil_))
            tokens_.reset();
        if (!tokens_) {
            // The provider's page opens in the browser; its time is the user's, so the time
            // limit starts with the probes.
            signInRun_ = new SignInRun(this);
            connect(signInRun_, &SignInRun::finished, this, &WizardCheckPage::signedIn);
            signedInWith_ = choice;
            signedInAs_ = signingIn->probe.user;
            for (std::size_t i = 0; i < targets_.size(); ++i)
                if (targets_[i].accountSignIn) results_[i]->setText(tr("Waiting for the sign-in…"));
            showOutcome();
            signInRun_->start({}, choice);
            return;
        }
    }
    probeAll();
}

void WizardCheckPage::signedIn(bool ok, const QString& why) {
    if (!signInRun_ || sender() != signInRun_) return;
    if (ok) {
        tokens_ = signInRun_->tokens();
        // A minute's margin; a lifetime not given is taken as the usual hour.
        long seconds = tokens_->expiresIn > 0 ? tokens_->expiresIn : 3600;
        tokensGoodUntil_ = std::chrono::steady_clock::now() + std::chrono::seconds(std::max(seconds - 60, 0L));
    }
    signInRun_->deleteLater();
    signInRun_ = nullptr;
    if (!ok) {
        DebugLine(LOG_APP, LOG_HIGH, ("wizard's sign-in with OAuth 2.0 failed: " + why.toStdString()).c_str());
        for (std::size_t i = 0; i < targets_.size(); ++i) {
            if (!targets_[i].accountSignIn) continue;
            passed_[i] = false;
            results_[i]->setText(tr("The sign-in at the provider did not succeed: %1").arg(why));
        }
    }
    probeAll();
}

void WizardCheckPage::probeAll() {
    int run = ++run_;
    bool waiting = false;
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        check::Target& t = targets_[i];
        if (passed_[i]) continue;  // the sign-in failed: nothing to log in with
        if (t.accountSignIn) {
            t.probe.accessToken = tokens_ ? tokens_->accessToken : std::string();
            t.probe.login = !t.probe.user.empty() && !t.probe.accessToken.empty();
        }
        waiting = true;
    }
    running_ = waiting;
    showOutcome();
    if (!running_) return;
    limit_->start(check::timeLimit());
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        if (passed_[i]) continue;
        check::start(targets_[i].probe,
                     [page = QPointer<WizardCheckPage>(this), run, i](autoconfig::ProbeReport report) {
                         if (page && page->running_ && page->run_ == run) page->answered(i, report);
                     });
    }
}

void WizardCheckPage::answered(std::size_t index, const autoconfig::ProbeReport& report) {
    if (index >= targets_.size() || passed_[index]) return;
    const check::Target& t = targets_[index];
    bool ok = report.ok();
    passed_[index] = ok;
    // A token the server refused is not offered again: Check again signs in anew.
    if (!ok && t.accountSignIn && report.loginFailure == autoconfig::LoginFailure::TokenRefused) tokens_.reset();
    // The log keeps what the page said, in the probe's words (never a password).
    std::string line = "wizard's check of " + std::string(autoconfig::protocolName(t.probe.protocol)) + " " +
                       t.probe.host + ":" + std::to_string(t.probe.port);
    if (const autoconfig::ProbeStep* failed = report.failedStep())
        line += " failed at " + failed->name + " (" + check::troubleName(check::troubleOf(report)) +
                "): " + failed->detail.substr(0, 300);
    else line += ": all is well";
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    DebugLine(LOG_APP, ok ? LOG_MED : LOG_HIGH, line.c_str());
    results_[index]->setText(ok ? check::successWords(report, t.probe, t.signInLater)
                                : check::failureWords(report, t.probe, t.providerNote));
    for (const std::optional<bool>& p : passed_)
        if (!p) {
            showOutcome();
            return;
        }
    running_ = false;
    limit_->stop();
    showOutcome();
}

void WizardCheckPage::gaveUp() {
    if (!running_) return;
    for (std::size_t i = 0; i < passed_.size(); ++i) {
        if (passed_[i]) continue;
        passed_[i] = false;
        results_[i]->setText(tr("No answer in time. Is this computer connected to the internet?"));
    }
    stop();
    showOutcome();
}

void WizardCheckPage::showOutcome() {
    bool allWell = !running_ && allPassed();
    busy_->setVisible(running_);
    // While the browser waits for the user, Check again starts the sign-in afresh.
    again_->setEnabled(!running_ || signInRun_);
    keep_->setVisible(!allWell);
    if (signInRun_)
        status_->setText(tr("Sign in on the provider's page in your browser. The servers are checked once you have."));
    else if (running_) status_->setText(tr("Checking the servers…"));
    else if (targets_.empty()) status_->setText(tr("There is no server to check."));
    else if (allWell) status_->setText(tr("All is well. Go on with Next."));
    else
        status_->setText(
            tr("The check found a problem. Go Back to correct it, or set up the account anyway "
               "and correct it later in its properties."));
    emit completeChanged();
}
