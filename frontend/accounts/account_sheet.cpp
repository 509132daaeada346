#include "frontend/accounts/account_sheet.h"

#include "frontend/accounts/alternative_client_dialog.h"
#include "frontend/mail_client.h"
#include "frontend/new_account_dialog.h"
#include "frontend/desktop.h"
#include "frontend/options/controls.h"
#include "frontend/options/security_fields.h"
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

QLineEdit* readOnlyEdit(QWidget* parent, int id) {
    QLineEdit* e = numberedEdit(parent, id);
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
    : PropPage(600, tr("Account")), accountsKey_(accountsKey), title_(title) {
    auto* login = new QGroupBox(tr("POP3 account"), this);
    auto* form = new QFormLayout(login);
    auto* titleEdit = readOnlyEdit(login, 601);
    auto* server = readOnlyEdit(login, 602);
    auto* security = securityCombo(login, 606);
    auto* port = portEdit(login, 1019);
    proposePortsOnChange(security, port, MailService::Pop3);
    auto* user = readOnlyEdit(login, 603);
    auto* password = numberedEdit(login, 604, 99);
    password->setEchoMode(QLineEdit::Password);
    form->addRow(buddyLabel(login, tr("&Title:"), titleEdit), titleEdit);
    form->addRow(buddyLabel(login, tr("&Server:"), server), server);
    form->addRow(buddyLabel(login, tr("Securit&y:"), security),
                 securityPortRow(security, buddyLabel(login, tr("P&ort:"), port), port));
    form->addRow(buddyLabel(login, tr("&User name:"), user), user);
    form->addRow(buddyLabel(login, tr("Pass&word:"), password), password);

    auto* reading = new QGroupBox(tr("Reading mail"), this);
    auto* readForm = new QFormLayout(reading);
    auto* address = numberedEdit(reading, 1030);
    auto* identity = numberedEdit(reading, 1025);
    auto* client = numberedCombo(reading, 605);
    auto* alternative = numberedButton(reading, 1003, QStringLiteral("..."));
    alternative->setToolTip(tr("Alternative e-mail client"));
    alternative->setAccessibleName(tr("Alternative e-mail client"));
    alternative->setMaximumWidth(alternative->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    connect(alternative, &QPushButton::clicked, this, [this] { command(1003); });
    auto* clientRow = new QHBoxLayout;
    clientRow->addWidget(client, 1);
    clientRow->addWidget(alternative);
    readForm->addRow(buddyLabel(reading, tr("&E-mail address:"), address), address);
    readForm->addRow(buddyLabel(reading, tr("&Identity:"), identity), identity);
    readForm->addRow(buddyLabel(reading, tr("E-mail &client:"), client), clientRow);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(login);
    layout->addWidget(reading);
    layout->addStretch(1);
}

void AccountPage::activate() {
    // Filled once: coming back from another tab keeps what the user changed here.
    if (filled_) return;
    filled_ = true;
    auto* client = control<QComboBox>(this, 605);
    client->clear();
    for (const std::string& n : listMailClients()) client->addItem(QString::fromStdString(n));
    client->addItem(tr(kAlternativeClient), QString::fromLatin1(kAlternativeClient));
    AccountValues v = lookUp(accountsKey_, title_);
    setText(control<QLineEdit>(this, 601), title_);
    setText(control<QLineEdit>(this, 602), v.get("server"));
    config::AccountRecord record;
    if (v.index >= 0) config::readAccountRecord(v.accounts, v.index, record);
    loadedSecurity_ = record.security;
    shownPort_ = record.port;   // what the engine uses: 110 when none is stored
    // The security first: choosing it proposes a port, which the stored port then replaces.
    showSecurity(control<QComboBox>(this, 606), loadedSecurity_);
    control<QLineEdit>(this, 1019)->setText(QString::number(shownPort_));
    setText(control<QLineEdit>(this, 603), v.get("user"));
    setText(control<QLineEdit>(this, 604), v.get("pass"));
    setText(control<QLineEdit>(this, 1030), v.get("emailaddress"));
    setText(control<QLineEdit>(this, 1025), v.get("emailidentity"));
    std::string name = v.get("clientname");
    int at = name == kAlternativeClient ? client->count() - 1
                                        : client->findText(QString::fromStdString(name), Qt::MatchStartsWith);
    client->setCurrentIndex(at >= 0 ? at : 0);
    alternative_ = v.get("altclientfile");
}

int AccountPage::validate() {
    if (!readPort(control<QLineEdit>(this, 1019))) {
        messageBox(this, {kPortMessage, "Tarnwick", MsgButtons::Ok, IDOK, MsgIcon::Warning});
        control<QLineEdit>(this, 1019)->setFocus();
        return 0;
    }
    return control<QLineEdit>(this, 604)->text().isEmpty() ? 0 : 1;
}

int AccountPage::apply() {
    auto* client = control<QComboBox>(this, 605);
    std::string password = text(control<QLineEdit>(this, 604));
    std::optional<unsigned> port = readPort(control<QLineEdit>(this, 1019));
    if (!port) return 0;
    std::uint32_t security = chosenSecurity(control<QComboBox>(this, 606));
    bool alternativeChosen = client->currentData().toString() == QString::fromLatin1(kAlternativeClient);
    std::string name = alternativeChosen ? std::string(kAlternativeClient) : client->currentText().toStdString();
    address_ = text(control<QLineEdit>(this, 1030));
    identity_ = text(control<QLineEdit>(this, 1025));
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

void AccountPage::command(int controlId) {
    if (controlId != 1003) return;
    std::string edited = alternative_;
    if (!editAlternativeClient(edited, this)) return;
    alternative_ = edited;
    auto* client = control<QComboBox>(this, 605);
    client->setCurrentIndex(client->count() - 1);
}

// ---- The Advanced page

AdvancedPage::AdvancedPage(const std::string& accountsKey, const std::string& title)
    : PropPage(102, tr("Advanced")), accountsKey_(accountsKey), title_(title) {
    auto* titleEdit = readOnlyEdit(this, 601);
    auto* form = new QFormLayout;
    form->addRow(buddyLabel(this, tr("&Title:"), titleEdit), titleEdit);

    auto* removal = new QGroupBox(tr("Remove retrieved messages from the POP account"), this);
    auto* always = new QRadioButton(tr("Always"), removal);
    always->setObjectName(controlName(1006));
    auto* never = new QRadioButton(tr("Never"), removal);
    never->setObjectName(controlName(1007));
    never->setEnabled(false);
    auto* later = new QRadioButton(tr("After this many days:"), removal);
    later->setObjectName(controlName(1008));
    later->setEnabled(false);
    auto* days = numberEdit(removal, 1009, 3);
    days->setEnabled(false);
    auto* laterRow = new QHBoxLayout;
    laterRow->addWidget(later);
    laterRow->addWidget(days);
    laterRow->addStretch(1);
    auto* removalLayout = new QVBoxLayout(removal);
    removalLayout->addWidget(always);
    removalLayout->addWidget(never);
    removalLayout->addLayout(laterRow);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(removal);
    layout->addStretch(1);
}

void AdvancedPage::activate() {
    setText(control<QLineEdit>(this, 601), title_);
    if (!title_.empty()) control<QRadioButton>(this, 1006)->setChecked(true);
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
