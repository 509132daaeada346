#include "frontend/settings/account_sheet.h"

#include "frontend/desktop/desktop.h"
#include "frontend/desktop/mail_client.h"
#include "frontend/dialogs/browse.h"
#include "frontend/dialogs/controls.h"
#include "frontend/dialogs/modal.h"
#include "frontend/dialogs/new_account_dialog.h"
#include "frontend/settings/outgoing_fields.h"
#include "frontend/settings/prop_sheet.h"
#include "frontend/settings/retrieval_fields.h"
#include "frontend/settings/security_fields.h"
#include "frontend/settings/settings_model.h"
#include "frontend/settings/sign_in_fields.h"
#include "frontend/settings/validation.h"
#include "config/settings.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <functional>
#include <optional>

namespace {

// Both pages show the account's title, which cannot be changed.
void addTitleRow(QWidget* parent, QFormLayout* form, const std::string& title) {
    QLineEdit* e = textEdit(parent, "accountTitle");
    e->setReadOnly(true);
    setText(e, title);
    form->addRow(buddyLabel(parent, QCoreApplication::translate("AccountPage", "&Title:"), e), e);
}

// The account's values.
constexpr config::StringSetting kServer{"server", ""}, kUser{"user", ""}, kPass{"pass", ""},
    kLocalPass{"localpass", ""}, kEmailAddress{"emailaddress", ""}, kEmailIdentity{"emailidentity", ""},
    kClientName{"clientname", ""}, kClientFile{"clientfile", ""}, kAltClientFile{"altclientfile", ""};
constexpr config::DwordSetting kProtocol{config::kProtocolValue, config::kProtocolPop3};

// A check's refusal in a message box, as the settings pages tell it.
void tellRefusal(QWidget* page, const validation::AccountRefusal& r) {
    tellUser(page, r.message, QMessageBox::Warning, r.argument);
}

// The name in the e-mail program list that stands for the account's own command line.
constexpr char kAlternativeClient[] = QT_TRANSLATE_NOOP("AccountPage", "(alternative client)");

// "Alternative e-mail client": a command line of the user's own for an account whose e-mail
// program the desktop does not list. Browse puts the chosen file into the edit as one word of
// a command line.
class AlternativeClientDialog : public QDialog {
    Q_OBJECT

public:
    AlternativeClientDialog(const std::string& commandLine, QWidget* owner) : QDialog(owner) {
        setObjectName(QStringLiteral("alternativeClientDialog"));
        setWindowTitle(tr("Alternative e-mail client"));
        edit_ = textEdit(this, "commandLine");
        edit_->setMinimumWidth(360);
        setText(edit_, commandLine);
        auto* browseButton = pushButton(this, "browseCommandLine", tr("&Browse..."));
        connect(browseButton, &QPushButton::clicked, this, [this] {
            std::string path = browseForFile(this, FileKind::Any);
            if (!path.empty()) setText(edit_, commandLineForPath(path));
        });
        auto* row = new QHBoxLayout;
        row->addWidget(edit_, 1);
        row->addWidget(browseButton);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
        buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(buddyLabel(this, tr("&Command line:"), edit_));
        layout->addLayout(row);
        layout->addWidget(buttons);
    }

    std::string commandLine() const { return edit_->text().left(259).toStdString(); }

private:
    QLineEdit* edit_;
};

// Opens the dialog window-modal and centred, starting with commandLine; edited hears the
// edited line (at most 259 characters) once OK closes it, nothing after Cancel.
void editAlternativeClient(const std::string& commandLine, QWidget* owner,
                           std::function<void(const std::string&)> edited) {
    auto* dialog = new AlternativeClientDialog(commandLine, owner);
    openCentred(dialog, [dialog, edited = std::move(edited)](int result) {
        if (result == QDialog::Accepted) edited(dialog->commandLine());
    });
}

// The account sheet's "Account" page: the POP3 log-in (a password, or OAuth 2.0 with its
// "Sign in…" and the local password the e-mail program then logs in to Tarnwick with), its
// security and port, and the e-mail program that reads the account's mail.
class AccountPage : public PropPage {
    Q_OBJECT

public:
    AccountPage(SettingsModel& account, const std::string& title);
    void load() override;
    bool save() override;
    // Shows the e-mail program's settings for the account, over the sheet's owner: the sheet
    // closes meanwhile.
    void stored() override {
        showNewAccountSettings(window()->parentWidget(), model_.text(kClientName), model_.text(kClientFile), title_,
                               signIn_->oauth());
    }
    // The provider and client id of the account's sign-in, which its outgoing server may use.
    signin::Choice signInChoice() const { return signIn_->choice(); }

private:
    // The "..." button: the account's own command line, which then becomes its e-mail program.
    void editAlternative();

    void chooseProtocol();

    QGroupBox* login_;
    QComboBox* protocol_;
    PopLogin pop_;
    SignInFields* signIn_;
    QLineEdit* localPassword_;
    QLineEdit* emailAddress_;
    QLineEdit* emailIdentity_;
    QComboBox* emailProgram_;

    std::string title_;
    std::string alternative_;
};

AccountPage::AccountPage(SettingsModel& account, const std::string& title)
    : PropPage("accountPage", tr("Account"), account),
      title_(title) {
    auto* login = new QGroupBox(tr("POP3 account"), this);
    login_ = login;
    auto* form = new QFormLayout(login);
    addTitleRow(login, form, title_);
    protocol_ = protocolRow(login, form);
    pop_ = popLoginRows(login, form, tr("&Server:"), tr("Pass&word:"));
    followProtocol(protocol_, pop_.security, pop_.port);
    connect(protocol_, &QComboBox::currentIndexChanged, this, &AccountPage::chooseProtocol);
    pop_.server->setReadOnly(true);
    pop_.user->setReadOnly(true);
    signIn_ = new SignInFields(login, form, title_);
    // The local POP3 server compares passwords of at most 99 characters.
    localPassword_ = textEdit(login, "localPassword", 99);
    localPassword_->setEchoMode(QLineEdit::Password);
    localPassword_->setToolTip(
        tr("What your e-mail program logs in to Tarnwick with, since the provider "
           "has no password for it."));
    form->addRow(buddyLabel(login, tr("&Local password:"), localPassword_), localPassword_);
    connect(signIn_, &SignInFields::oauthChosen, this, [this](bool on) {
        pop_.password->setEnabled(!on);
        localPassword_->setEnabled(on);
    });
    localPassword_->setEnabled(signIn_->oauth());

    auto* reading = new QGroupBox(tr("Reading mail"), this);
    auto* readForm = new QFormLayout(reading);
    emailAddress_ = textEdit(reading, "emailAddress");
    emailIdentity_ = textEdit(reading, "emailIdentity");
    emailProgram_ = listBox(reading, "emailProgram");
    auto* alternative = pushButton(reading, "alternativeClient", QStringLiteral("..."));
    alternative->setToolTip(tr("Alternative e-mail client"));
    alternative->setAccessibleName(tr("Alternative e-mail client"));
    alternative->setMaximumWidth(alternative->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    connect(alternative, &QPushButton::clicked, this, &AccountPage::editAlternative);
    auto* clientRow = new QHBoxLayout;
    clientRow->addWidget(emailProgram_, 1);
    clientRow->addWidget(alternative);
    readForm->addRow(buddyLabel(reading, tr("&E-mail address:"), emailAddress_), emailAddress_);
    readForm->addRow(buddyLabel(reading, tr("&Identity:"), emailIdentity_), emailIdentity_);
    readForm->addRow(buddyLabel(reading, tr("E-mail &client:"), emailProgram_), clientRow);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(login);
    layout->addWidget(reading);
    layout->addStretch(1);
}

void AccountPage::load() {
    QComboBox* client = emailProgram_;
    client->clear();
    for (const std::string& n : listMailClients()) client->addItem(QString::fromStdString(n));
    client->addItem(tr(kAlternativeClient), QString::fromLatin1(kAlternativeClient));
    setText(pop_.server, model_.text(kServer));
    // The protocol first, then the security: each proposes a port, which the stored port then
    // replaces.
    std::uint32_t protocol = RetrievalValues::read(model_).protocol;
    showProtocol(protocol_, protocol);
    showSecurity(pop_.security, storedSecurity(model_, protocol));
    pop_.port->setText(QString::number(storedPort(model_, protocol)));
    setText(pop_.user, model_.text(kUser));
    setText(pop_.password, model_.text(kPass));
    signIn_->load(model_);
    setText(localPassword_, model_.text(kLocalPass));
    setText(emailAddress_, model_.text(kEmailAddress));
    setText(emailIdentity_, model_.text(kEmailIdentity));
    std::string name = model_.text(kClientName);
    int at = name == kAlternativeClient ? client->count() - 1
                                        : client->findText(QString::fromStdString(name), Qt::MatchStartsWith);
    client->setCurrentIndex(at >= 0 ? at : 0);
    alternative_ = model_.text(kAltClientFile);
}

bool AccountPage::save() {
    std::optional<unsigned> port = validation::readPort(text(pop_.port));
    if (!port) {
        tellUser(this, kPortMessage, QMessageBox::Warning);
        pop_.port->setFocus();
        return false;
    }
    // With OAuth 2.0 the provider's password is not needed; the one the e-mail program logs in
    // to Tarnwick with is, and the local POP3 server takes no empty one.
    QLineEdit* password = signIn_->oauth() ? localPassword_ : pop_.password;
    if (password->text().isEmpty()) {
        // The page stays without a message; the cursor shows what is missing.
        password->setFocus();
        return false;
    }
    model_.setText(signIn_->oauth() ? kLocalPass : kPass, text(password));
    signIn_->save(model_);
    // Protocol, port and security are written only when they differ from what the engine
    // reads; port and security are compared under the protocol chosen.
    std::uint32_t protocol = chosenProtocol(protocol_);
    if (protocol != RetrievalValues::read(model_).protocol) model_.setNumber(kProtocol, protocol);
    writePortAndSecurity(model_, protocol, *port, chosenSecurity(pop_.security));
    model_.setText(kEmailIdentity, text(emailIdentity_));
    model_.setText(kEmailAddress, text(emailAddress_));
    bool alternativeChosen = emailProgram_->currentData().toString() == QString::fromLatin1(kAlternativeClient);
    std::string name = alternativeChosen ? std::string(kAlternativeClient) : emailProgram_->currentText().toStdString();
    model_.setText(kClientName, name);
    model_.setText(kClientFile, alternativeChosen ? alternative_ : mailClientCommandLine(name));
    model_.setText(kAltClientFile, alternative_);
    return true;
}

void AccountPage::chooseProtocol() {
    login_->setTitle(chosenProtocol(protocol_) == config::kProtocolImap ? tr("IMAP account") : tr("POP3 account"));
}

void AccountPage::editAlternative() {
    editAlternativeClient(alternative_, this, [page = QPointer<AccountPage>(this)](const std::string& line) {
        if (!page) return;
        page->alternative_ = line;
        page->emailProgram_->setCurrentIndex(page->emailProgram_->count() - 1);
    });
}

// The account sheet's "Advanced" page: the title again and what becomes of fetched mail at the
// provider, with the IMAP folders for an IMAP account (its protocol is chosen on the Account
// page).
class AdvancedPage : public PropPage {
    Q_OBJECT

public:
    AdvancedPage(SettingsModel& account, const std::string& title);
    void load() override;
    bool save() override;

private:
    RetrievalFields* retrieval_;
    RetrievalValues shown_;
};

AdvancedPage::AdvancedPage(SettingsModel& account, const std::string& title)
    : PropPage("advancedPage", tr("Advanced"), account) {
    auto* form = new QFormLayout;
    addTitleRow(this, form, title);
    retrieval_ = new RetrievalFields(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(retrieval_);
    layout->addStretch(1);
}

void AdvancedPage::load() {
    shown_ = RetrievalValues::read(model_);
    retrieval_->showValues(shown_);
}

bool AdvancedPage::save() {
    RetrievalValues now = retrieval_->values(RetrievalValues::read(model_).protocol);
    if (std::optional<validation::AccountRefusal> r = validation::checkRetrieval(now)) {
        tellRefusal(this, *r);
        retrieval_->focusField(r->field);
        return false;
    }
    now.write(model_, shown_);
    shown_ = now;
    return true;
}

// The account sheet's "Outgoing" page: the server the account's mail leaves through and the
// addresses it sends for.
class OutgoingPage : public PropPage {
    Q_OBJECT

public:
    OutgoingPage(SettingsModel& account, const std::string& title, std::function<signin::Choice()> signInChoice);
    void load() override;
    bool save() override;

private:
    OutgoingFields* outgoing_;
    OutgoingValues shown_;
};

OutgoingPage::OutgoingPage(SettingsModel& account, const std::string& title,
                           std::function<signin::Choice()> signInChoice)
    : PropPage("outgoingPage", tr("Outgoing"), account) {
    auto* form = new QFormLayout;
    addTitleRow(this, form, title);
    auto* group = new QGroupBox(tr("Outgoing mail server"), this);
    outgoing_ = new OutgoingFields(group, title);
    outgoing_->setSignInChoice(std::move(signInChoice));
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(outgoing_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(group);
    layout->addStretch(1);
}

void OutgoingPage::load() {
    shown_ = OutgoingValues::read(model_);
    outgoing_->showValues(shown_, model_.text(kEmailAddress));
}

bool OutgoingPage::save() {
    OutgoingValues now = outgoing_->values();
    if (std::optional<validation::AccountRefusal> r = validation::checkOutgoing(now, outgoing_->portTyped(),
                                                                                outgoing_->ownServerChosen())) {
        tellRefusal(this, *r);
        outgoing_->focusField(r->field);
        return false;
    }
    now.write(model_, shown_);
    shown_ = now;
    return true;
}

}  // namespace

// ---- The sheet

void showAccountProperties(QWidget* owner, int accountIndex) {
    if (accountIndex < 0) return;
    plat::RegKey accounts;
    std::string title;
    if (!config::openAccountsKey(accounts) || !config::accountTitle(accounts, accountIndex, title)) return;
    auto* model = new SettingsModel(SettingsModel::account(kAccountsKey, title));
    auto* sheet = new PropSheet(owner, QCoreApplication::translate("Tarnwick", "Account properties"), *model);
    model->setParent(sheet);  // goes with the sheet, after its pages
    auto* account = new AccountPage(*model, title);
    sheet->addPage(account);
    sheet->addPage(new AdvancedPage(*model, title));
    sheet->addPage(new OutgoingPage(*model, title, [account] { return account->signInChoice(); }));
    sheet->start();
}

#include "account_sheet.moc"
