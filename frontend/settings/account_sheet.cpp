#include "frontend/settings/account_sheet.h"

#include "frontend/dialogs/alternative_client_dialog.h"
#include "frontend/desktop/mail_client.h"
#include "frontend/dialogs/new_account_dialog.h"
#include "frontend/desktop/desktop.h"
#include "frontend/dialogs/controls.h"
#include "frontend/settings/security_fields.h"
#include "shared/registry.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QLineEdit* readOnlyEdit(QWidget* parent, const char* name) {
    QLineEdit* e = textEdit(parent, name);
    e->setReadOnly(true);
    return e;
}

// The account's values by title; empty when it is gone.
struct AccountValues {
    plat::RegKey accounts;
    int index = -1;
    std::string get(const char* name) const {
        return index >= 0 ? config::accountString(accounts, index, name) : std::string();
    }
};

AccountValues lookUp(const std::string& accountsKey, const std::string& title) {
    AccountValues v;
    if (config::openAccountsKey(v.accounts, accountsKey)) v.index = config::findAccount(v.accounts, title);
    return v;
}

}  // namespace

// ---- The Account page

AccountPage::AccountPage(const std::string& accountsKey, const std::string& title)
    : PropPage("accountPage", tr("Account")), accountsKey_(accountsKey), title_(title) {
    auto* login = new QGroupBox(tr("POP3 account"), this);
    auto* form = new QFormLayout(login);
    accountTitle_ = readOnlyEdit(login, "accountTitle");
    popServer_ = readOnlyEdit(login, "popServer");
    popSecurity_ = securityCombo(login, "popSecurity");
    popPort_ = portEdit(login, "popPort");
    proposePortsOnChange(popSecurity_, popPort_, MailService::Pop3);
    popUser_ = readOnlyEdit(login, "popUser");
    popPassword_ = textEdit(login, "popPassword", 99);
    popPassword_->setEchoMode(QLineEdit::Password);
    form->addRow(buddyLabel(login, tr("&Title:"), accountTitle_), accountTitle_);
    form->addRow(buddyLabel(login, tr("&Server:"), popServer_), popServer_);
    form->addRow(buddyLabel(login, tr("Securit&y:"), popSecurity_),
                 securityPortRow(popSecurity_, buddyLabel(login, tr("P&ort:"), popPort_), popPort_));
    form->addRow(buddyLabel(login, tr("&User name:"), popUser_), popUser_);
    form->addRow(buddyLabel(login, tr("Pass&word:"), popPassword_), popPassword_);

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

void AccountPage::activate() {
    // Filled once: coming back from another tab keeps what the user changed here.
    if (filled_) return;
    filled_ = true;
    QComboBox* client = emailProgram_;
    client->clear();
    for (const std::string& n : listMailClients()) client->addItem(QString::fromStdString(n));
    client->addItem(tr(kAlternativeClient), QString::fromLatin1(kAlternativeClient));
    AccountValues v = lookUp(accountsKey_, title_);
    setText(accountTitle_, title_);
    setText(popServer_, v.get("server"));
    config::AccountRecord record;
    if (v.index >= 0) config::readAccountRecord(v.accounts, v.index, record);
    loadedSecurity_ = record.security;
    shownPort_ = record.port;   // what the engine uses: 110 when none is stored
    // The security first: choosing it proposes a port, which the stored port then replaces.
    showSecurity(popSecurity_, loadedSecurity_);
    popPort_->setText(QString::number(shownPort_));
    setText(popUser_, v.get("user"));
    setText(popPassword_, v.get("pass"));
    setText(emailAddress_, v.get("emailaddress"));
    setText(emailIdentity_, v.get("emailidentity"));
    std::string name = v.get("clientname");
    int at = name == kAlternativeClient ? client->count() - 1
                                        : client->findText(QString::fromStdString(name), Qt::MatchStartsWith);
    client->setCurrentIndex(at >= 0 ? at : 0);
    alternative_ = v.get("altclientfile");
}

int AccountPage::validate() {
    if (!readPort(popPort_)) {
        messageBox(this, {kPortMessage, "Tarnwick", MsgButtons::Ok, IDOK, MsgIcon::Warning});
        popPort_->setFocus();
        return 0;
    }
    return popPassword_->text().isEmpty() ? 0 : 1;
}

int AccountPage::apply() {
    QComboBox* client = emailProgram_;
    std::string password = text(popPassword_);
    std::optional<unsigned> port = readPort(popPort_);
    if (!port) return 0;
    std::uint32_t security = chosenSecurity(popSecurity_);
    bool alternativeChosen = client->currentData().toString() == QString::fromLatin1(kAlternativeClient);
    std::string name = alternativeChosen ? std::string(kAlternativeClient) : client->currentText().toStdString();
    address_ = text(emailAddress_);
    identity_ = text(emailIdentity_);
    std::string commandLine = alternativeChosen ? alternative_ : mailClientCommandLine(name);
    plat::RegKey accounts;
    if (config::openAccountsKey(accounts, accountsKey_)) {
        config::writeAccountString(accounts, title_, "pass", password);
        if (*port != shownPort_) config::writeAccountDword(accounts, title_, "port", *port);
        if (security != shownSecurity(loadedSecurity_))
            config::writeAccountDword(accounts, title_, "security", security);
        config::writeAccountString(accounts, title_, "emailidentity", identity_);
        config::writeAccountString(accounts, title_, "emailaddress", address_);
        config::writeAccountString(accounts, title_, "clientname", name);
        config::writeAccountString(accounts, title_, "clientfile", commandLine);
        config::writeAccountString(accounts, title_, "altclientfile", alternative_);
    }
    showNewAccountSettings(this, name, commandLine, title_);
    return 1;
}

void AccountPage::editAlternative() {
    std::string edited = alternative_;
    if (!editAlternativeClient(edited, this)) return;
    alternative_ = edited;
    emailProgram_->setCurrentIndex(emailProgram_->count() - 1);
}

// ---- The Advanced page

AdvancedPage::AdvancedPage(const std::string& accountsKey, const std::string& title)
    : PropPage("advancedPage", tr("Advanced")), accountsKey_(accountsKey), title_(title) {
    accountTitle_ = readOnlyEdit(this, "accountTitle");
    auto* form = new QFormLayout;
    form->addRow(buddyLabel(this, tr("&Title:"), accountTitle_), accountTitle_);

    // Retrieved messages always leave the server: the other choices are shown, never offered.
    auto* removal = new QGroupBox(tr("Remove retrieved messages from the POP account"), this);
    removeAlways_ = new QRadioButton(tr("Always"), removal);
    removeAlways_->setObjectName(QStringLiteral("removeAlways"));
    auto* never = new QRadioButton(tr("Never"), removal);
    never->setObjectName(QStringLiteral("removeNever"));
    never->setEnabled(false);
    auto* later = new QRadioButton(tr("After this many days:"), removal);
    later->setObjectName(QStringLiteral("removeLater"));
    later->setEnabled(false);
    auto* days = numberEdit(removal, "removeAfterDays", 3);
    days->setEnabled(false);
    auto* laterRow = new QHBoxLayout;
    laterRow->addWidget(later);
    laterRow->addWidget(days);
    laterRow->addStretch(1);
    auto* removalLayout = new QVBoxLayout(removal);
    removalLayout->addWidget(removeAlways_);
    removalLayout->addWidget(never);
    removalLayout->addLayout(laterRow);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(removal);
    layout->addStretch(1);
}

void AdvancedPage::activate() {
    setText(accountTitle_, title_);
    if (!title_.empty()) removeAlways_->setChecked(true);
}

// ---- The sheet

void showAccountProperties(QWidget* owner, int accountIndex) {
    if (accountIndex < 0) return;
    plat::RegKey accounts;
    std::string title;
    if (!config::openAccountsKey(accounts) || !config::accountTitle(accounts, accountIndex, title)) return;
    AccountPage account(kAccountsKey, title);
    AdvancedPage advanced(kAccountsKey, title);
    PropSheet sheet(owner, QCoreApplication::translate("Tarnwick", "Account properties"));
    sheet.addPage(&account);
    sheet.addPage(&advanced);
    sheet.show(false);
}
