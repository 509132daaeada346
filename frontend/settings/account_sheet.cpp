#include "frontend/settings/account_sheet.h"

#include "frontend/dialogs/alternative_client_dialog.h"
#include "frontend/desktop/mail_client.h"
#include "frontend/dialogs/new_account_dialog.h"
#include "frontend/desktop/desktop.h"
#include "frontend/dialogs/controls.h"
#include "frontend/settings/security_fields.h"
#include "frontend/settings/settings_model.h"
#include "frontend/settings/sign_in_fields.h"
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

// The account's values.
constexpr config::StringSetting kServer{"server", ""}, kUser{"user", ""}, kPass{"pass", ""}, kLocalPass{"localpass", ""},
    kEmailAddress{"emailaddress", ""}, kEmailIdentity{"emailidentity", ""}, kClientName{"clientname", ""},
    kClientFile{"clientfile", ""}, kAltClientFile{"altclientfile", ""};
// What the engine uses when none is stored: 110, and no security.
constexpr config::DwordSetting kPort{"port", 110}, kSecurity{"security", 0};

}  // namespace

// ---- The Account page

AccountPage::AccountPage(SettingsModel& account, const std::string& title)
    : PropPage("accountPage", tr("Account"), account), title_(title) {
    auto* login = new QGroupBox(tr("POP3 account"), this);
    auto* form = new QFormLayout(login);
    accountTitle_ = readOnlyEdit(login, "accountTitle");
    popServer_ = readOnlyEdit(login, "popServer");
    SecurityRow security = securityRow(login, "pop", MailService::Pop3, popServer_);
    popSecurity_ = security.security;
    popPort_ = security.port;
    popUser_ = readOnlyEdit(login, "popUser");
    popPassword_ = textEdit(login, "popPassword", 99);
    popPassword_->setEchoMode(QLineEdit::Password);
    form->addRow(buddyLabel(login, tr("&Title:"), accountTitle_), accountTitle_);
    form->addRow(buddyLabel(login, tr("&Server:"), popServer_), popServer_);
    form->addRow(buddyLabel(login, tr("Securit&y:"), popSecurity_), security.layout);
    form->addRow(buddyLabel(login, tr("&User name:"), popUser_), popUser_);
    form->addRow(buddyLabel(login, tr("Pass&word:"), popPassword_), popPassword_);
    signIn_ = new SignInFields(login, form, title_);
    // The local POP3 server compares passwords of at most 99 characters.
    localPassword_ = textEdit(login, "localPassword", 99);
    localPassword_->setEchoMode(QLineEdit::Password);
    localPassword_->setToolTip(tr("What your e-mail program logs in to Tarnwick with, since the provider "
                                  "has no password for it."));
    form->addRow(buddyLabel(login, tr("&Local password:"), localPassword_), localPassword_);
    connect(signIn_, &SignInFields::oauthChosen, this, [this](bool on) {
        popPassword_->setEnabled(!on);
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
    setText(accountTitle_, title_);
    setText(popServer_, model_.text(kServer));
    // The security first: choosing it proposes a port, which the stored port then replaces.
    showSecurity(popSecurity_, model_.number(kSecurity));
    popPort_->setText(QString::number(model_.number(kPort)));
    setText(popUser_, model_.text(kUser));
    setText(popPassword_, model_.text(kPass));
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
    std::optional<unsigned> port = readPort(popPort_);
    if (!port) {
        tellUser(this, kPortMessage, MsgIcon::Warning);
        popPort_->setFocus();
        return false;
    }
    if (signIn_->oauth()) {
        // The provider's password is not needed; the e-mail program's one is.
        model_.setText(kLocalPass, text(localPassword_));
    } else {
        if (popPassword_->text().isEmpty()) return false;
        model_.setText(kPass, text(popPassword_));
    }
    signIn_->save(model_);
    // Port and security are written only when changed.
    if (*port != model_.number(kPort)) model_.setNumber(kPort, *port);
    std::uint32_t security = chosenSecurity(popSecurity_);
    if (security != shownSecurity(model_.number(kSecurity))) model_.setNumber(kSecurity, security);
    model_.setText(kEmailIdentity, text(emailIdentity_));
    model_.setText(kEmailAddress, text(emailAddress_));
    bool alternativeChosen = emailProgram_->currentData().toString() == QString::fromLatin1(kAlternativeClient);
    std::string name = alternativeChosen ? std::string(kAlternativeClient) : emailProgram_->currentText().toStdString();
    model_.setText(kClientName, name);
    model_.setText(kClientFile, alternativeChosen ? alternative_ : mailClientCommandLine(name));
    model_.setText(kAltClientFile, alternative_);
    return true;
}

void AccountPage::stored() {
    showNewAccountSettings(this, model_.text(kClientName), model_.text(kClientFile), title_);
}

void AccountPage::editAlternative() {
    std::string edited = alternative_;
    if (!editAlternativeClient(edited, this)) return;
    alternative_ = edited;
    emailProgram_->setCurrentIndex(emailProgram_->count() - 1);
}

// ---- The Advanced page

AdvancedPage::AdvancedPage(SettingsModel& account, const std::string& title)
    : PropPage("advancedPage", tr("Advanced"), account), title_(title) {
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

void AdvancedPage::load() {
    setText(accountTitle_, title_);
    if (!title_.empty()) removeAlways_->setChecked(true);
}

// ---- The sheet

void showAccountProperties(QWidget* owner, int accountIndex) {
    if (accountIndex < 0) return;
    plat::RegKey accounts;
    std::string title;
    if (!config::openAccountsKey(accounts) || !config::accountTitle(accounts, accountIndex, title)) return;
    SettingsModel model(SettingsModel::account(kAccountsKey, title));
    PropSheet sheet(owner, QCoreApplication::translate("Tarnwick", "Account properties"), model);
    sheet.addPage(new AccountPage(model, title));
    sheet.addPage(new AdvancedPage(model, title));
    sheet.run();
}
