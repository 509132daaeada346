#include "frontend/settings/account_wizard.h"

#include "frontend/desktop/desktop.h"
#include "frontend/desktop/mail_client.h"
#include "frontend/dialogs/controls.h"
#include "frontend/dialogs/modal.h"
#include "frontend/dialogs/new_account_dialog.h"
#include "frontend/settings/found_account.h"
#include "frontend/settings/security_fields.h"
#include "frontend/settings/settings_lookup.h"
#include "frontend/settings/sign_in_fields.h"
#include "frontend/settings/validation.h"
#include "frontend/settings/wizard_check_page.h"
#include "frontend/settings/wizard_pages.h"
#include "frontend/settings/wizard_server_page.h"
#include "oauth/oauth_settings.h"
#include "config/settings.h"
#include "secrets/secret_moves.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QResizeEvent>
#include <QScreen>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWizard>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

QString fieldText(const QWizard* wizard, const char* name) {
    return wizard->field(QLatin1String(name)).toString();
}

// The pages in the order of the manual set-up, then those of the set-up from an address, the
// check before the last page, and the manual set-up's after its server page.
enum PageId { kTitlePage, kServerPage, kClientPage, kLookupPage, kFoundPage, kCheckPage, kOutgoingPage, kFetchingPage };

// The address the settings are looked up for (field "emailAddress", may stay empty) and the
// account's title (field "accountTitle"), proposed from the address until the user changes it.
// Without an address, or with "manualSetup" ticked, the manual pages follow.
class WizardTitlePage : public QWizardPage {
    Q_OBJECT

public:
    explicit WizardTitlePage(FoundState* state) : state_(state) {
        setObjectName(QStringLiteral("titlePage"));
        address_ = textEdit(this, "emailAddress", 254);
        registerField(QStringLiteral("emailAddress"), address_);
        accountTitle_ = textEdit(this, "accountTitle", 199);
        registerField(QStringLiteral("accountTitle*"), accountTitle_);
        manual_ = checkBox(this, "manualSetup", tr("Enter the servers &myself"));
        registerField(QStringLiteral("manualSetup"), manual_);
        connect(address_, &QLineEdit::textChanged, this, &WizardTitlePage::proposeTitle);
        auto* form = new QFormLayout;
        form->addRow(buddyLabel(this, tr("&E-mail address:"), address_), address_);
        form->addRow(buddyLabel(this, tr("Account &title:"), accountTitle_), accountTitle_);
        form->addRow(QString(), manual_);
        layOut(this,
               tr("Enter your e-mail address: Tarnwick looks up your provider's servers for it. Your e-mail "
                  "program logs in to Tarnwick with the account's title as its user name."),
               form, tr("Without an address you enter the servers yourself on the next page."));
    }

    bool validatePage() override {
        // The registry would hand out an account whose title differs only in letter case.
        auto exists = [](const std::string& title) {
            plat::RegKey accounts;
            return config::openAccountsKey(accounts) &&
                   (config::findAccount(accounts, title) >= 0 || config::accountExists(title));
        };
        if (!noProblems(this, validation::checkAccountTitle(text(accountTitle_), exists))) return false;
        std::string why;
        state_->haveAddress = false;
        state_->why.clear();
        std::string typed = address_->text().trimmed().toStdString();
        if (typed.empty()) return true;
        if (!autoconfig::parseAddress(typed, state_->address, why)) {
            tellUser(this,
                     QT_TRANSLATE_NOOP("Tarnwick",
                                       "'%1' is not an e-mail address. Enter one such as "
                                       "name@example.org, or leave it empty to enter the servers "
                                       "yourself."),
                     QMessageBox::Warning, typed);
            return false;
        }
        state_->haveAddress = true;
        return true;
    }

    int nextId() const override {
        return state_->haveAddress && !manual_->isChecked() && !address_->text().trimmed().isEmpty() ? kLookupPage
                                                                                                     : kServerPage;
    }

private:
    // The title follows the address while it still holds what was proposed before.
    void proposeTitle(const QString& address) {
        autoconfig::MailAddress parsed;
        std::string why;
        QString proposal;
        if (autoconfig::parseAddress(address.trimmed().toStdString(), parsed, why))
            proposal = QString::fromStdString(found::titleFor(parsed)).left(accountTitle_->maxLength());
        if (accountTitle_->text() == proposed_) accountTitle_->setText(proposal);
        proposed_ = proposal;
    }

    FoundState* state_;
    QLineEdit* address_;
    QLineEdit* accountTitle_;
    QCheckBox* manual_;
    QString proposed_;
};

// Looks up the address's settings while it says so, with a busy bar and a button that stops
// waiting. The look-up runs away from the GUI thread; its answer (or the time limit, or the
// button) moves on by itself: to the settings found, or to the manual pages.
class WizardLookupPage : public QWizardPage {
    Q_OBJECT

public:
    explicit WizardLookupPage(FoundState* state) : state_(state) {
        setObjectName(QStringLiteral("lookupPage"));
        busyText_ = noteLabel(this, {});
        busyText_->setObjectName(QStringLiteral("lookupText"));
        auto* bar = new QProgressBar(this);
        bar->setObjectName(QStringLiteral("lookupBusy"));
        bar->setRange(0, 0);
        bar->setTextVisible(false);
        stop_ = pushButton(this, "stopLookup", tr("&Stop and enter the servers myself"));
        connect(stop_, &QPushButton::clicked, this, [this] { moveOn({}); });
        limit_.setSingleShot(true);
        connect(&limit_, &QTimer::timeout, this, [this] {
            moveOn(tr("The look-up for %1 took too long. Enter the servers as your provider gives them.")
                       .arg(QString::fromStdString(state_->address.domain)));
        });
        auto* form = new QFormLayout;
        form->addRow(busyText_);
        form->addRow(bar);
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        row->addWidget(stop_);
        form->addRow(row);
        layOut(this, tr("Tarnwick looks up the servers of your provider."), form);
    }

    void initializePage() override {
        state_->plan.reset();
        state_->why.clear();
        state_->discovery = {};
        busyText_->setText(tr("Looking up the settings for %1…").arg(QString::fromStdString(state_->address.text())));
        running_ = true;
        int run = ++run_;
        limit_.start(lookup::timeLimit());
        starting_ = true;
        lookup::start(state_->address, [page = QPointer<WizardLookupPage>(this), run](autoconfig::Discovery d) {
            if (page && page->running_ && page->run_ == run) page->answered(std::move(d));
        });
        starting_ = false;
        emit completeChanged();
    }

    void cleanupPage() override { stopWaiting(); }
    // The wizard closed: an answer still to come is not wanted.
    void stop() { stopWaiting(); }
    bool isComplete() const override { return !running_; }
    int nextId() const override { return state_->plan ? kFoundPage : kServerPage; }

private:
    void answered(autoconfig::Discovery d) {
        state_->discovery = std::move(d);
        state_->plan = found::planFor(state_->address, state_->discovery, found::currentOutgoing());
        moveOn(state_->plan ? QString()
                            : tr("No settings were found for %1. Enter the servers as your provider gives them.")
                                  .arg(QString::fromStdString(state_->address.domain)));
    }

    // Ends the wait (a later answer is ignored) and goes on to the next page.
    void moveOn(const QString& why) {
        if (!running_) return;
        stopWaiting();
        state_->why = why;
        emit completeChanged();
        // An answer that came at once, while the wizard was still turning to this page, moves
        // on from the loop.
        if (!starting_ && wizard() && wizard()->currentPage() == this) wizard()->next();
        else
            QTimer::singleShot(0, this, [this] {
                if (wizard() && wizard()->currentPage() == this) wizard()->next();
            });
    }

    void stopWaiting() {
        running_ = false;
        ++run_;
        limit_.stop();
    }

    FoundState* state_;
    QLabel* busyText_;
    QPushButton* stop_;
    QTimer limit_;
    bool running_ = false;
    bool starting_ = false;  // inside lookup::start
    int run_ = 0;  // the look-up whose answer is still wanted
};

// What was found, for the user to accept: the provider, the incoming and outgoing servers and
// the provider's advice; then only the password, or the provider's sign-in (OAuth 2.0) where
// it has one. Fields "foundPassword", "foundOAuth" (1 for the sign-in), "foundClientId".
class WizardFoundPage : public QWizardPage {
    Q_OBJECT

public:
    explicit WizardFoundPage(FoundState* state) : state_(state) {
        setObjectName(QStringLiteral("foundPage"));
        auto* form = new QFormLayout;
        provider_ = valueRow(form, tr("Provider:"), "foundProvider");
        protocol_ = listBox(this, "foundProtocol");
        protocol_->addItem(tr("POP3"), config::kProtocolPop3);
        protocol_->addItem(tr("IMAP"), config::kProtocolImap);
        form->addRow(buddyLabel(this, tr("Fetch &with:"), protocol_), protocol_);
        incoming_ = valueRow(form, tr("Incoming mail:"), "foundIncoming");
        user_ = valueRow(form, tr("User name:"), "foundUser");
        outgoing_ = valueRow(form, tr("Outgoing mail:"), "foundOutgoing");
        note_ = valueRow(form, tr("Note:"), "foundNote");
        signIn_ = listBox(this, "foundSignIn");
        form->addRow(buddyLabel(this, tr("&Log in with:"), signIn_), signIn_);
        clientId_ = textEdit(this, "foundClientId");
        clientId_->setToolTip(tr("The client id you registered with the provider for Tarnwick."));
        form->addRow(buddyLabel(this, tr("&Client id:"), clientId_), clientId_);
        password_ = textEdit(this, "foundPassword");
        password_->setEchoMode(QLineEdit::Password);
        passwordLabel_ = buddyLabel(this, tr("&Password:"), password_);
        form->addRow(passwordLabel_, password_);
        form_ = form;
        registerField(QStringLiteral("foundPassword"), password_);
        registerField(QStringLiteral("foundClientId"), clientId_);
        registerField(QStringLiteral("foundOAuth"), signIn_, "currentIndex");
        connect(password_, &QLineEdit::textChanged, this, &QWizardPage::completeChanged);
        connect(clientId_, &QLineEdit::textChanged, this, &QWizardPage::completeChanged);
        connect(signIn_, &QComboBox::currentIndexChanged, this, [this] { showSignIn(); });
        connect(protocol_, &QComboBox::activated, this, [this] {
            state_->plan = found::planFor(state_->address, state_->discovery, found::currentOutgoing(),
                                          protocol_->currentData().toUInt());
            showPlan();
        });
        intro_ = layOut(this, {}, form,
                        tr("Accept these settings with Next, or go Back and tick \"Enter the servers myself\" "
                           "to enter others."));
        intro_->setObjectName(QStringLiteral("foundIntro"));
    }

    void initializePage() override {
        showPlan();
        // Where the provider refuses passwords, its sign-in is chosen first.
        signIn_->setCurrentIndex(state_->plan->oauthOnly ? 1 : 0);
    }

    bool isComplete() const override {
        return !password_->text().isEmpty() && (!oauth() || !clientId_->text().trimmed().isEmpty());
    }

    int nextId() const override { return kClientPage; }
    bool oauth() const { return signIn_->currentIndex() == 1; }

private:
    QLabel* valueRow(QFormLayout* form, const QString& label, const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setWordWrap(true);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(label, l);
        return l;
    }

    static QString server(const std::string& host, std::uint32_t port, std::uint32_t security) {
        QString how = security == kSecurityTls        ? tr("TLS")
                      : security == kSecurityStartTls ? tr("STARTTLS")
                                                      : tr("no encryption");
        return tr("%1, port %2, %3").arg(QString::fromStdString(host)).arg(port).arg(how);
    }

    void showPlan() {
        const found::Plan& p = *state_->plan;
        intro_->setText(tr("Tarnwick found the settings for %1 (from %2). Check them, then enter your password.")
                            .arg(QString::fromStdString(p.address), QString::fromStdString(p.source)));
        provider_->setText(QString::fromStdString(p.provider));
        protocol_->setCurrentIndex(protocol_->findData(p.protocol));
        protocol_->setEnabled(p.pop3Offered && p.imapOffered);
        incoming_->setText(server(p.server, p.port, p.security));
        user_->setText(QString::fromStdString(p.user));
        QString out = server(p.smtpServer, p.smtpPort, p.smtpSecurity);
        switch (p.outgoing) {
        case found::Outgoing::None: out = tr("none found: the outgoing server set in Options stays"); break;
        case found::Outgoing::SameAsGlobal: out = tr("%1 (the outgoing server set in Options)").arg(out); break;
        case found::Outgoing::BecomesGlobal: out = tr("%1 (becomes the outgoing server for all mail)").arg(out); break;
        case found::Outgoing::Own: out = tr("%1 (for this account's mail only)").arg(out); break;
        }
        outgoing_->setText(out);
        note_->setText(QString::fromStdString(p.note));
        form_->setRowVisible(note_, !p.note.empty());
        signIn_->clear();
        signIn_->addItem(tr("Password"));
        if (p.signInOffered())
            signIn_->addItem(tr("Sign in… at %1 (OAuth 2.0)").arg(QString::fromStdString(p.signInName())));
        form_->setRowVisible(signIn_, p.signInOffered());
        showSignIn();
    }

    void showSignIn() {
        bool on = oauth();
        form_->setRowVisible(clientId_, on);
        passwordLabel_->setText(on ? tr("Local &password:") : tr("&Password:"));
        password_->setToolTip(on ? tr("The password your e-mail program logs in to Tarnwick with; the provider "
                                      "asks for yours on its own sign-in page when the servers are checked.")
                                 : QString());
        emit completeChanged();
        fitWizard();
    }

    // The wizard keeps the height its first page gave it: rows that came since (a note, the
    // sign-in's) and values wrapped onto a second line must not be squeezed or cut off.
    void fitWizard() {
        QTimer::singleShot(0, this, [this] {
            QWizard* w = wizard();
            if (!w || !isVisible() || !layout()) return;
            int need = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width())
                                                     : layout()->totalSizeHint().height();
            int tallest = w->screen() ? w->screen()->availableGeometry().height() : need;
            int wanted = std::min(w->height() + need - height(), tallest);
            if (wanted > w->height()) w->resize(w->width(), wanted);
        });
    }
    void resizeEvent(QResizeEvent* event) override {
        QWizardPage::resizeEvent(event);
        fitWizard();
    }

    FoundState* state_;
    QFormLayout* form_;
    QLabel* intro_;
    QLabel* provider_;
    QComboBox* protocol_;
    QLabel* incoming_;
    QLabel* user_;
    QLabel* outgoing_;
    QLabel* note_;
    QComboBox* signIn_;
    QLineEdit* clientId_;
    QLabel* passwordLabel_;
    QLineEdit* password_;
};

// The e-mail program (field "emailProgram"), the desktop's default one chosen first.
class WizardClientPage : public QWizardPage {
    Q_OBJECT

public:
    WizardClientPage() {
        setObjectName(QStringLiteral("clientPage"));
        emailProgram_ = listBox(this, "emailProgram");
        registerField(QStringLiteral("emailProgram"), emailProgram_, "currentText");
        auto* form = new QFormLayout;
        form->addRow(buddyLabel(this, tr("E-mail &program:"), emailProgram_), emailProgram_);
        layOut(this, tr("Choose the e-mail program you read this account's mail with."), form,
               tr("Not listed? Choose it later as an alternative client in the account's properties."));
    }

    void initializePage() override {
        emailProgram_->clear();
        QStringList names;
        for (const std::string& n : listMailClients()) names << QString::fromStdString(n);
        names.sort(Qt::CaseInsensitive);
        emailProgram_->addItems(names);
        int at = emailProgram_->findText(QString::fromStdString(defaultMailClient()), Qt::MatchStartsWith);
        emailProgram_->setCurrentIndex(at >= 0 ? at : 0);
    }

    int nextId() const override { return -1; }  // the last page, whichever way it was reached

private:
    QComboBox* emailProgram_;
};

class AccountWizard : public QWizard {
    Q_OBJECT

public:
    explicit AccountWizard(QWidget* parent) : QWizard(parent) {
        setObjectName(QStringLiteral("wizard"));
        setWindowTitle(tr("Add Account Wizard"));
        setWizardStyle(QWizard::ClassicStyle);
        setOption(QWizard::NoBackButtonOnStartPage, false);
        setPage(kTitlePage, new WizardTitlePage(&state_));
        manual_ = addManualPages(this, &state_, {kServerPage, kOutgoingPage, kFetchingPage}, kClientPage);
        setPage(kClientPage, new WizardClientPage);
        setPage(kLookupPage, lookupPage_ = new WizardLookupPage(&state_));
        setPage(kFoundPage, foundPage_ = new WizardFoundPage(&state_));
        setPage(kCheckPage, checkPage_ = new WizardCheckPage([this] { return checkTargets(); },
                                                             [this] { return signInChoice(); }, kClientPage));
        button(QWizard::BackButton)->setObjectName(QStringLiteral("back"));
        button(QWizard::NextButton)->setObjectName(QStringLiteral("next"));
        button(QWizard::FinishButton)->setObjectName(QStringLiteral("finish"));
        button(QWizard::CancelButton)->setObjectName(QStringLiteral("cancel"));
        // Back from the pages after the look-up skips it: the address page is where to change
        // what is looked up.
        connect(this, &QWizard::currentIdChanged, this, [this](int id) {
            // The look-up page is entered forwards from the address page only.
            if (id == kLookupPage && shownId_ != kTitlePage) QTimer::singleShot(0, this, &QWizard::back);
            shownId_ = id;
        });
        connect(this, &QDialog::finished, lookupPage_, &WizardLookupPage::stop);
    }

    // The server check comes before the last page, whichever way the servers were given.
    int nextId() const override {
        int id = QWizard::nextId();
        return id == kClientPage && currentId() != kCheckPage ? kCheckPage : id;
    }

    // What the check probes: the incoming server as the pages hold it, and the outgoing server
    // the account's mail leaves through.
    std::vector<check::Target> checkTargets() const {
        std::vector<check::Target> targets;
        if (fromLookUp()) {
            const found::Plan& p = *state_.plan;
            std::string password = fieldText(this, "foundPassword").toStdString();
            targets.push_back(
                check::incoming(p.protocol, p.server, p.port, p.security, p.user, password, oauth(), p.note));
            if (p.outgoing == found::Outgoing::Own || p.outgoing == found::Outgoing::BecomesGlobal) {
                targets.push_back(
                    check::outgoing(p.smtpServer, p.smtpPort, p.smtpSecurity, p.smtpUser, password, oauth(), p.note));
                return targets;
            }
        } else {
            targets.push_back(
                check::incoming(manual_.server->protocol(), fieldText(this, "popServer").toLower().toStdString(),
                                validation::readPort(fieldText(this, "popPort").toStdString()).value_or(110),
                                field(QStringLiteral("popSecurity")).toUInt(), fieldText(this, "popUser").toStdString(),
                                fieldText(this, "popPassword").toStdString(), oauth(), {}));
            OutgoingValues out = manual_.outgoing->values();
            if (out.ownServer()) {
                targets.push_back(
                    check::outgoing(out.server, out.port, out.security, out.user, out.password, out.oauth, {}));
                return targets;
            }
        }
        if (std::optional<check::Target> global = check::globalOutgoing()) targets.push_back(*global);
        return targets;
    }

    // Whether Finish takes the settings the look-up found.
    bool fromLookUp() const { return hasVisitedPage(kFoundPage) && state_.plan.has_value(); }

    // The account as the pages hold it, once Finish was accepted. With OAuth 2.0 chosen its
    // "pass" is empty: the password typed is the local one.
    config::NewAccount account() const {
        config::NewAccount a;
        a.title = fieldText(this, "accountTitle").toStdString();
        a.clientName = fieldText(this, "emailProgram").left(259).toStdString();
        a.clientFile = mailClientCommandLine(a.clientName);
        if (fromLookUp()) {
            const found::Plan& p = *state_.plan;
            a.server = p.server;
            a.port = p.port;
            a.security = p.security;
            a.user = p.user;
            a.pass = oauth() ? std::string() : fieldText(this, "foundPassword").toStdString();
            return a;
        }
        a.server = fieldText(this, "popServer").toLower().toStdString();
        a.port = validation::readPort(fieldText(this, "popPort").toStdString()).value_or(110);
        a.security = field(QStringLiteral("popSecurity")).toUInt();
        a.user = fieldText(this, "popUser").toStdString();
        a.pass = oauth() ? std::string() : fieldText(this, "popPassword").toStdString();
        return a;
    }

    bool oauth() const {
        if (fromLookUp()) return foundPage_->oauth();
        return field(QStringLiteral("oauth")).toUInt() == config::kAuthOAuth;
    }

    // The provider and client of the sign-in with OAuth 2.0.
    signin::Choice signInChoice() const {
        if (fromLookUp()) {
            const found::Plan& p = *state_.plan;
            return {p.oauthPreset,
                    fieldText(this, "foundClientId").trimmed().toStdString(),
                    {},
                    p.oauthEndpoints.authUrl,
                    p.oauthEndpoints.tokenUrl,
                    p.oauthEndpoints.scope};
        }
        return {fieldText(this, "oauthPreset").toStdString(), fieldText(this, "oauthClientId").toStdString(), {}};
    }

    // Finish stores the account, its way of logging in and its secret, then closes the wizard;
    // created() says whether the account could be made, complete() whether all of it was.
    void accept() override {
        if (fromLookUp()) {
            config::NewAccount a = account();
            found::Written w = found::writePlan(
                *state_.plan, a.title, a.clientName, a.clientFile,
                {fieldText(this, "foundPassword").toStdString(), oauth(), signInChoice().clientId});
            created_ = w != found::Written::NotCreated;
            complete_ = w == found::Written::Done;
            if (created_) keepSignIn(a.title, sharesSignInWithOutgoing());
            QWizard::accept();
            return;
        }
        config::NewAccount a = account();
        plat::RegKey accounts;
        created_ = config::openAccountsKey(accounts) && config::createAccount(accounts, a);
        if (created_ && oauth()) {
            config::writeAccountDword(accounts, a.title, config::kAuthValue, config::kAuthOAuth);
            config::writeSecretFromEditing(a.title, plat::SecretKind::LocalPass,
                                           fieldText(this, "popPassword").toStdString());
        } else if (created_) {
            // Into the secret store, where there is one.
            config::writeSecretFromEditing(a.title, plat::SecretKind::Password, a.pass);
        }
        if (created_ && state_.haveAddress)
            config::writeAccountString(accounts, a.title, config::kEmailAddressValue, state_.address.text());
        if (created_) complete_ = manual_.write(a.title);
        if (created_) keepSignIn(a.title, false);
        QWizard::accept();
    }
    bool created() const { return created_; }
    bool complete() const { return complete_; }
    // Whether the outgoing server the account makes the one for all accounts signs in with the
    // account's own sign-in.
    bool sharesSignInWithOutgoing() const {
        return oauth() && fromLookUp() && state_.plan->outgoing == found::Outgoing::BecomesGlobal;
    }
    // Whether the account's sign-in was had in the check and is stored.
    bool signedIn() const { return signedIn_; }

private:
    // Stores the sign-in the check had, for the account and, where the account's outgoing
    // server becomes the one for all accounts, for that too.
    void keepSignIn(const std::string& title, bool forOutgoing) {
        const std::optional<signin::Tokens>& tokens = checkPage_->signIn();
        if (!oauth() || !tokens) return;
        signedIn_ = signin::keepSignIn(title, checkPage_->signedInWith(), *tokens);
        if (forOutgoing)
            signedIn_ = signin::keepSignIn(config::kOutgoingTarget, checkPage_->signedInWith(), *tokens) && signedIn_;
        complete_ = complete_ && signedIn_;
    }

    FoundState state_;
    ManualPages manual_;
    int shownId_ = -1;
    WizardLookupPage* lookupPage_;
    WizardFoundPage* foundPage_;
    WizardCheckPage* checkPage_;
    bool created_ = false;
    bool complete_ = true;
    bool signedIn_ = false;
};

// Runs the sign-in of a new account while a small dialog, which can cancel it, says what to
// do; then() follows once it has ended, after a failure has been told.
void signInNewAccount(QWidget* owner, const std::string& title, const signin::Choice& choice,
                      std::function<void(bool signedIn)> then) {
    auto* waiting = new QProgressDialog(
        QCoreApplication::translate("Tarnwick", "Sign in on the provider's page in your browser."),
        QCoreApplication::translate("Tarnwick", "Cancel"), 0, 0, owner);
    waiting->setObjectName(QStringLiteral("signInWaiting"));
    waiting->setWindowTitle(QStringLiteral("Tarnwick"));
    waiting->setAutoReset(false);
    waiting->setAutoClose(false);
    auto* run = new SignInRun(waiting);  // goes with the dialog
    struct Outcome {
        bool ok = false;
        QString why;
    };
    auto outcome = std::make_shared<Outcome>();
    QObject::connect(run, &SignInRun::finished, waiting, [waiting, outcome](bool good, const QString& message) {
        outcome->ok = good;
        outcome->why = message;
        waiting->accept();
    });
    QObject::connect(waiting, &QProgressDialog::canceled, run, &SignInRun::cancel);
    auto ended = [owner = QPointer<QWidget>(owner), outcome, then = std::move(then)](int) {
        if (!outcome->ok)
            tellUser(owner,
                     QT_TRANSLATE_NOOP("Tarnwick",
                                       "The account is not signed in yet: %1 Sign in with Sign in… on its "
                                       "Account page."),
                     QMessageBox::Warning, outcome->why.toStdString());
        if (then) then(outcome->ok);
    };
    if (!run->start(title, choice)) {
        // finished() has come already, or comes from the loop: either way nothing to wait for.
        ended(0);
        waiting->deleteLater();
        return;
    }
    openDialog(waiting, std::move(ended));
}

// The outgoing server the new account made the one for all accounts signs in the same way:
// it is given the refresh token the account's sign-in stored, or the user is told to sign it in.
void shareSignInWithOutgoing(QWidget* owner, const std::string& title) {
    std::string token = config::readSecretForEditing(title, plat::SecretKind::Refresh);
    if (!token.empty() && config::writeSecretFromEditing(config::kOutgoingTarget, plat::SecretKind::Refresh, token))
        return;
    tellUser(owner,
             QT_TRANSLATE_NOOP("Tarnwick",
                               "The outgoing server is not signed in yet (refer to log file for further info). "
                               "Sign it in with Sign in… on the Connection page of Options."),
             QMessageBox::Warning);
}

}  // namespace

void openAddAccountWizard(QWidget* owner, std::function<void(bool created)> closed) {
    auto* wizard = new AccountWizard(owner);
    wizard->restart();
    openCentred(wizard, [wizard, owner = QPointer<QWidget>(owner), closed = std::move(closed)](int result) {
        bool created = result == QDialog::Accepted && wizard->created();
        if (result == QDialog::Accepted && !created) {
            // Settings for an account that does not exist would mislead the user.
            tellUser(
                owner,
                QT_TRANSLATE_NOOP("Tarnwick", "The account could not be created (refer to log file for further info)."),
                QMessageBox::Warning);
        } else if (created && !wizard->complete()) {
            tellUser(owner,
                     QT_TRANSLATE_NOOP("Tarnwick",
                                       "The account was created, but not all of its settings could be stored "
                                       "(refer to log file for further info). Check them on its Account page."),
                     QMessageBox::Warning);
        }
        if (created) {
            // What follows Finish once the wizard has closed: the provider's sign-in unless the
            // check had it, then the settings for the e-mail program.
            config::NewAccount account = wizard->account();
            bool oauth = wizard->oauth();
            bool signInNow = oauth && !wizard->signedIn();
            auto showSettings = [owner, account, oauth] {
                showNewAccountSettings(owner, account.clientName, account.clientFile, account.title, oauth);
            };
            bool alsoOutgoing = wizard->sharesSignInWithOutgoing();
            if (signInNow)
                signInNewAccount(owner, account.title, wizard->signInChoice(),
                                 [owner, showSettings, title = account.title, alsoOutgoing](bool signedIn) {
                                     if (signedIn && alsoOutgoing) shareSignInWithOutgoing(owner, title);
                                     showSettings();
                                 });
            else showSettings();
        }
        if (closed) closed(created);
    });
}

#include "account_wizard.moc"
