#include "frontend/settings/account_wizard.h"

#include "frontend/desktop/desktop.h"
#include "frontend/desktop/mail_client.h"
#include "frontend/dialogs/new_account_dialog.h"
#include "frontend/dialogs/controls.h"
#include "frontend/settings/security_fields.h"
#include "frontend/settings/validation.h"
#include "shared/registry.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr char kPageTitle[] = QT_TRANSLATE_NOOP("Tarnwick", "Add account wizard");

int warn(QWidget* owner, const std::string& text) {
    return messageBox(owner, {text, "Tarnwick", MsgButtons::Ok, IDOK, MsgIcon::Warning});
}

QString pageTitle() {
    return QCoreApplication::translate("Tarnwick", kPageTitle);
}

QLabel* intro(QWidget* parent, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    return l;
}

}  // namespace

// ---- The title page

WizardTitlePage::WizardTitlePage(WizardRecord& record) : PropPage("titlePage", pageTitle()), record_(record) {
    accountTitle_ = textEdit(this, "accountTitle", 199);
    auto* form = new QFormLayout;
    form->addRow(buddyLabel(this, tr("Account &title:"), accountTitle_), accountTitle_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro(this, tr("Give the new POP3 account a title. Your e-mail program logs in to "
                                     "Tarnwick with this title as its user name.")));
    layout->addLayout(form);
    layout->addStretch(1);
}

void WizardTitlePage::activate() {
    setWizardButtons(PSWIZB_NEXT);
}

int WizardTitlePage::validate() {
    record_.title = text(accountTitle_);
    // The registry would hand out an account whose title differs only in letter case.
    auto exists = [](const std::string& title) {
        plat::RegKey accounts;
        return config::openAccountsKey(accounts) &&
               (config::findAccount(accounts, title) >= 0 || config::accountExists(title));
    };
    std::vector<std::string> problems = validation::checkAccountTitle(record_.title, exists);
    for (const std::string& p : problems) warn(this, p);
    return problems.empty() ? 1 : 0;
}

// ---- The server page

WizardServerPage::WizardServerPage(WizardRecord& record) : PropPage("serverPage", pageTitle()), record_(record) {
    popServer_ = textEdit(this, "popServer");
    popSecurity_ = securityCombo(this, "popSecurity");
    popPort_ = portEdit(this, "popPort");
    popPort_->setText(QString::number(proposedPort(MailService::Pop3, kSecurityNone)));
    proposePortsOnChange(popSecurity_, popPort_, MailService::Pop3);
    popUser_ = textEdit(this, "popUser");
    // The local POP3 server compares passwords of at most 99 characters.
    popPassword_ = textEdit(this, "popPassword", 99);
    popPassword_->setEchoMode(QLineEdit::Password);
    // The server is kept in lower case as it is typed.
    QLineEdit* server = popServer_;
    connect(server, &QLineEdit::textEdited, server, [server](const QString& t) {
        QString lower = t.toLower();
        if (lower == t) return;
        int at = server->cursorPosition();
        server->setText(lower);
        server->setCursorPosition(at);
    });
    auto* form = new QFormLayout;
    form->addRow(buddyLabel(this, tr("POP3 &server:"), popServer_), popServer_);
    form->addRow(buddyLabel(this, tr("Securit&y:"), popSecurity_),
                 securityPortRow(popSecurity_, buddyLabel(this, tr("P&ort:"), popPort_), popPort_));
    form->addRow(buddyLabel(this, tr("&User name:"), popUser_), popUser_);
    form->addRow(buddyLabel(this, tr("&Password:"), popPassword_), popPassword_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro(this, tr("Enter the POP3 server of your provider, the security it asks for, and "
                                     "the user name and password of your mailbox there.")));
    layout->addLayout(form);
    layout->addStretch(1);
}

void WizardServerPage::activate() {
    setWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
}

int WizardServerPage::validate() {
    record_.server = popServer_->text().toLower().toStdString();
    record_.user = text(popUser_);
    record_.password = text(popPassword_);
    record_.security = chosenSecurity(popSecurity_);
    record_.port = validation::readPort(text(popPort_)).value_or(0);
    std::vector<std::string> problems =
        validation::checkAccountServer(record_.server, record_.user, record_.password, text(popPort_));
    for (const std::string& p : problems) warn(this, p);
    return problems.empty() ? 1 : 0;
}

// ---- The e-mail program page

WizardClientPage::WizardClientPage(WizardRecord& record) : PropPage("clientPage", pageTitle()), record_(record) {
    emailProgram_ = listBox(this, "emailProgram");
    auto* form = new QFormLayout;
    form->addRow(buddyLabel(this, tr("E-mail &program:"), emailProgram_), emailProgram_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro(this, tr("Choose the e-mail program you read this account's mail with.")));
    layout->addLayout(form);
    layout->addWidget(intro(this, tr("Not listed? Choose it later as an alternative client in the account's "
                                     "properties.")));
    layout->addStretch(1);
}

void WizardClientPage::activate() {
    setWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
    QComboBox* combo = emailProgram_;
    combo->clear();
    QStringList names;
    for (const std::string& n : listMailClients()) names << QString::fromStdString(n);
    names.sort(Qt::CaseInsensitive);   // a sorted list
    combo->addItems(names);
    int at = combo->findText(QString::fromStdString(defaultMailClient()), Qt::MatchStartsWith);
    combo->setCurrentIndex(at >= 0 ? at : 0);
}

void WizardClientPage::finish() {
    record_.clientName = emailProgram_->currentText().left(259).toStdString();
    record_.clientFile = mailClientCommandLine(record_.clientName);
    record_.finished = 1;
}

// ---- The wizard

bool runAddAccountWizard(QWidget* owner) {
    WizardRecord record;
    WizardTitlePage titlePage(record);
    WizardServerPage serverPage(record);
    WizardClientPage clientPage(record);
    PropSheet sheet(owner, QCoreApplication::translate("Tarnwick", "Add Account Wizard"));
    sheet.addPage(&titlePage);
    sheet.addPage(&serverPage);
    sheet.addPage(&clientPage);
    sheet.show(true);
    if (!record.finished) return false;

    config::NewAccount account{record.title,    record.server,     record.port,       record.user,
                               record.password, record.clientName, record.clientFile, record.security};
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts) || !config::createAccount(accounts, account)) {
        // Settings for an account that does not exist would mislead the user.
        messageBox(owner, {"The account could not be created (refer to log file for further info).", "Tarnwick",
                           MsgButtons::Ok, IDOK, MsgIcon::Warning});
        return false;
    }
    showNewAccountSettings(owner, record.clientName, record.clientFile, record.title);
    return true;
}
