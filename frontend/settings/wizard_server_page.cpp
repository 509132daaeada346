#include "frontend/settings/wizard_server_page.h"

#include "frontend/dialogs/controls.h"
#include "frontend/settings/outgoing_fields.h"
#include "frontend/settings/retrieval_fields.h"
#include "frontend/settings/settings_model.h"
#include "frontend/settings/sign_in_fields.h"
#include "frontend/settings/validation.h"
#include "frontend/settings/wizard_pages.h"
#include "config/settings.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWizard>

namespace {

// A check's refusal in a message box, as the settings pages tell it.
void tellRefusal(QWidget* page, const validation::AccountRefusal& r) {
    tellUser(page, r.message, QMessageBox::Warning, r.argument);
}

}  // namespace

// ---- The incoming server

WizardServerPage::WizardServerPage(const FoundState* state, int next) : state_(state), next_(next) {
    setObjectName(QStringLiteral("serverPage"));
    auto* form = new QFormLayout;
    // Why the look-up led here, when it did.
    why_ = noteLabel(this, {});
    why_->setObjectName(QStringLiteral("manualReason"));
    why_->hide();
    protocol_ = protocolRow(this, form);
    registerField(QStringLiteral("protocol"), protocol_, "currentData");
    pop_ = popLoginRows(this, form, tr("Incoming &server:"), tr("&Password:"));
    followProtocol(protocol_, pop_.security, pop_.port);
    // The server is kept in lower case as it is typed.
    QLineEdit* server = pop_.server;
    connect(server, &QLineEdit::textEdited, server, [server](const QString& t) {
        QString lower = t.toLower();
        if (lower == t) return;
        int at = server->cursorPosition();
        server->setText(lower);
        server->setCursorPosition(at);
    });
    registerField(QStringLiteral("popServer*"), pop_.server);
    registerField(QStringLiteral("popUser*"), pop_.user);
    registerField(QStringLiteral("popPassword*"), pop_.password);
    registerField(QStringLiteral("popPort"), pop_.port->edit());
    registerField(QStringLiteral("popSecurity"), pop_.security, "currentData");
    connect(pop_.port->edit(), &QLineEdit::textChanged, this, &QWizardPage::completeChanged);
    signIn_ = new SignInFields(this, form, {});
    signIn_->registerFields(
        [this](const QString& name, QWidget* widget, const char* property) { registerField(name, widget, property); });
    connect(signIn_, &SignInFields::oauthChosen, this, [this](bool on) {
        pop_.password->setToolTip(
            on ? tr("The password your e-mail program logs in to Tarnwick with; the "
                    "provider asks for yours on its own sign-in page when the servers are checked.")
               : QString());
    });
    layOut(this,
           tr("Enter the incoming mail server of your provider (POP3 or IMAP), the security it asks for, and "
              "the user name and password of your mailbox there."),
           form);
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, why_);
}

void WizardServerPage::initializePage() {
    why_->setText(state_->why);
    why_->setVisible(!state_->why.isEmpty());
    // Most providers take the address as the user name.
    if (state_->haveAddress && pop_.user->text().isEmpty())
        pop_.user->setText(QString::fromStdString(state_->address.text()));
    fitHeight(this, wizard());
}

bool WizardServerPage::isComplete() const {
    return QWizardPage::isComplete() && validation::readPort(text(pop_.port)).has_value();
}

bool WizardServerPage::validatePage() {
    return noProblems(this, validation::checkAccountServer(pop_.server->text().toLower().toStdString(), text(pop_.user),
                                                           text(pop_.password), text(pop_.port)));
}

std::uint32_t WizardServerPage::protocol() const {
    return chosenProtocol(protocol_);
}

std::uint32_t WizardServerPage::security() const {
    return chosenSecurity(pop_.security);
}

unsigned WizardServerPage::port() const {
    return validation::readPort(text(pop_.port)).value_or(0);
}

std::string WizardServerPage::user() const {
    return text(pop_.user);
}

std::string WizardServerPage::password() const {
    return text(pop_.password);
}

bool WizardServerPage::oauth() const {
    return signIn_->oauth();
}

// ---- The outgoing server

WizardOutgoingPage::WizardOutgoingPage(const FoundState* state, const WizardServerPage* incoming, int next)
    : state_(state),
      incoming_(incoming),
      next_(next) {
    setObjectName(QStringLiteral("outgoingPage"));
    fields_ = new OutgoingFields(this, {});
    auto* form = new QFormLayout;
    form->addRow(fields_);
    layOut(this,
           tr("Choose the server this account's mail leaves through: the outgoing server Tarnwick has for all "
              "accounts, or one of this account's own, as its provider gives it."),
           form);
}

void WizardOutgoingPage::initializePage() {
    bool oauth = incoming_->oauth();
    fields_->offerOAuth(oauth);
    fitHeight(this, wizard());
    // Until a server of its own is chosen, its log-in is proposed from the incoming one: most
    // providers take the same.
    if (fields_->ownServerChosen()) return;
    OutgoingValues proposed;
    proposed.security = kSecurityStartTls;
    proposed.port = outgoingPort(proposed.security);
    proposed.user = incoming_->user();
    proposed.oauth = oauth;
    // With OAuth 2.0 the password typed is the local one, not the provider's.
    if (!oauth) proposed.password = incoming_->password();
    proposed.addresses = fields_->values().addresses;
    fields_->showValues(proposed, state_->haveAddress ? state_->address.text() : std::string());
}

bool WizardOutgoingPage::validatePage() {
    std::optional<validation::AccountRefusal> r = validation::checkOutgoing(fields_->values(), fields_->portTyped(),
                                                                            fields_->ownServerChosen());
    if (!r) return true;
    tellRefusal(this, *r);
    fields_->focusField(r->field);
    return false;
}

OutgoingValues WizardOutgoingPage::values() const {
    return fields_->values();
}

// ---- What becomes of fetched mail

WizardFetchingPage::WizardFetchingPage(const WizardServerPage* incoming, int next) : incoming_(incoming), next_(next) {
    setObjectName(QStringLiteral("fetchingPage"));
    fields_ = new RetrievalFields(this);
    fields_->showValues(RetrievalValues{});
    auto* form = new QFormLayout;
    form->addRow(fields_);
    layOut(this,
           tr("Choose what becomes of your mail at the provider once Tarnwick has fetched and stored it; for "
              "IMAP also the folders it fetches."),
           form);
}

void WizardFetchingPage::initializePage() {
    fields_->setProtocol(incoming_->protocol());
    fitHeight(this, wizard());
}

bool WizardFetchingPage::validatePage() {
    std::optional<validation::AccountRefusal> r = validation::checkRetrieval(values());
    if (!r) return true;
    tellRefusal(this, *r);
    fields_->focusField(r->field);
    return false;
}

RetrievalValues WizardFetchingPage::values() const {
    RetrievalValues v = fields_->values(incoming_->protocol());
    if (!v.imap()) {
        // Typed for IMAP, then POP3 chosen: nothing of it counts.
        v.folders = config::kDefaultImapFolders;
        v.moveFolder.clear();
    }
    return v;
}

// ---- The pages together

bool ManualPages::write(const std::string& title) const {
    SettingsModel model(SettingsModel::account(kAccountsKey, title));
    RetrievalValues fetched = fetching->values();
    fetched.write(model, RetrievalValues::read(model));
    // createAccount wrote the port, and the security unless none: an IMAP account reads no
    // security as TLS.
    writePortAndSecurity(model, fetched.protocol, server->port(), server->security());
    outgoing->values().write(model, OutgoingValues::read(model));
    return model.store();
}

ManualPages addManualPages(QWizard* wizard, const FoundState* state, std::array<int, 3> ids, int next) {
    ManualPages pages;
    pages.server = new WizardServerPage(state, ids[1]);
    pages.outgoing = new WizardOutgoingPage(state, pages.server, ids[2]);
    pages.fetching = new WizardFetchingPage(pages.server, next);
    wizard->setPage(ids[0], pages.server);
    wizard->setPage(ids[1], pages.outgoing);
    wizard->setPage(ids[2], pages.fetching);
    return pages;
}
