#include "frontend/settings/outgoing_fields.h"

#include "frontend/dialogs/controls.h"
#include "frontend/settings/security_fields.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <memory>

namespace {

QString trTarnwick(const char* text) {
    return QCoreApplication::translate("Tarnwick", text);
}

}  // namespace

OutgoingFields::OutgoingFields(QWidget* parent, std::string account)
    : QWidget(parent),
      account_(std::move(account)),
      run_(this) {
    setObjectName(QStringLiteral("outgoingFields"));
    same_ = new QRadioButton(tr("&Same server as for all accounts (Options, Connection)"), this);
    same_->setObjectName(QStringLiteral("sameOutgoingServer"));
    own_ = new QRadioButton(tr("This account's &own server:"), this);
    own_->setObjectName(QStringLiteral("ownOutgoingServer"));
    auto* group = new QButtonGroup(this);
    group->addButton(same_);
    group->addButton(own_);

    ownBox_ = new QWidget(this);
    form_ = new QFormLayout(ownBox_);
    form_->setContentsMargins(24, 0, 0, 0);
    server_ = textEdit(ownBox_, "accountSmtpServer", 198);
    server_->setPlaceholderText(QStringLiteral("smtp.example.net"));
    form_->addRow(buddyLabel(ownBox_, tr("Se&rver:"), server_), server_);

    security_ = new QComboBox(ownBox_);
    security_->setObjectName(QStringLiteral("accountSmtpSecurity"));
    security_->addItem(trTarnwick(QT_TRANSLATE_NOOP("Tarnwick", "None")), kSecurityNone);
    security_->addItem(QStringLiteral("STARTTLS"), kSecurityStartTls);
    security_->addItem(QStringLiteral("TLS"), kSecurityTls);
    security_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    port_ = new NumberBox(ownBox_, "accountSmtpPort", 1, 65535);
    port_->setValue(static_cast<int>(outgoingPort(kSecurityNone)));
    // A new security proposes its usual port while the port is the one proposed before.
    auto before = std::make_shared<std::uint32_t>(kSecurityNone);
    connect(security_, &QComboBox::currentIndexChanged, this, [this, before] {
        std::uint32_t now = chosenSecurity(security_);
        if (port_->text().trimmed().isEmpty() || port_->text() == QString::number(outgoingPort(*before)))
            port_->setValue(static_cast<int>(outgoingPort(now)));
        *before = now;
    });
    auto* securityRow = new QHBoxLayout;
    securityRow->addWidget(security_);
    securityRow->addSpacing(12);
    securityRow->addWidget(buddyLabel(ownBox_, trTarnwick("P&ort:"), port_));
    securityRow->addWidget(port_);
    securityRow->addStretch(1);
    plainText_ = new QLabel(trTarnwick(validation::kPlainTextMessage), ownBox_);
    plainText_->setObjectName(QStringLiteral("accountSmtpPlainTextWarning"));
    plainText_->setStyleSheet(QStringLiteral("color: #a0400b"));
    QSizePolicy keepRoom = plainText_->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    plainText_->setSizePolicy(keepRoom);
    auto* securityColumn = new QVBoxLayout;
    securityColumn->addLayout(securityRow);
    securityColumn->addWidget(plainText_);
    form_->addRow(buddyLabel(ownBox_, trTarnwick("Securit&y:"), security_), securityColumn);

    auth_ = listBox(ownBox_, "accountSmtpAuth");
    auth_->addItem(tr("User name and password"), false);
    auth_->addItem(tr("OAuth 2.0 (this account's sign-in)"), true);
    authRow_ = form_->rowCount();
    form_->addRow(buddyLabel(ownBox_, tr("Log in &with:"), auth_), auth_);
    user_ = textEdit(ownBox_, "accountSmtpUser", 198);
    form_->addRow(buddyLabel(ownBox_, tr("&User name:"), user_), user_);
    password_ = textEdit(ownBox_, "accountSmtpPassword", 198);
    password_->setEchoMode(QLineEdit::Password);
    passwordRow_ = form_->rowCount();
    form_->addRow(buddyLabel(ownBox_, tr("Pass&word:"), password_), password_);
    if (!account_.empty()) {
        signIn_ = pushButton(ownBox_, "accountSmtpSignIn", tr("Sign &in…"));
        status_ = new QLabel(tr("The account's sign-in at its provider serves its outgoing mail too."), ownBox_);
        status_->setObjectName(QStringLiteral("accountSmtpSignInStatus"));
        status_->setWordWrap(true);
        auto* row = new QHBoxLayout;
        row->addWidget(signIn_);
        row->addWidget(status_, 1);
        signInRow_ = form_->rowCount();
        form_->addRow(QString(), row);
        connect(signIn_, &QPushButton::clicked, this, &OutgoingFields::signIn);
        connect(&run_, &SignInRun::finished, this, [this](bool ok, const QString& message) {
            signIn_->setEnabled(true);
            status_->setText(ok ? tr("Signed in.") : tr("Not signed in: %1").arg(message));
        });
    }

    addresses_ = textEdit(this, "addresses", 2000);
    auto* addressNote = noteLabel(
        this, tr("Mail whose sender is one of these addresses leaves through this account's server. "
                 "Separate them with commas; *@example.net stands for every address at example.net."));
    addressNote->setObjectName(QStringLiteral("addressesNote"));

    auto* addressForm = new QFormLayout;
    addressForm->addRow(buddyLabel(this, tr("Sends &for:"), addresses_), addresses_);
    addressForm->addRow(QString(), addressNote);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(same_);
    layout->addWidget(own_);
    layout->addWidget(ownBox_);
    layout->addLayout(addressForm);

    for (QRadioButton* b : {same_, own_}) connect(b, &QRadioButton::toggled, this, &OutgoingFields::follow);
    connect(auth_, &QComboBox::currentIndexChanged, this, &OutgoingFields::follow);
    connect(server_, &QLineEdit::textChanged, this, &OutgoingFields::follow);
    connect(security_, &QComboBox::currentIndexChanged, this, &OutgoingFields::follow);
    same_->setChecked(true);
    follow();
}

void OutgoingFields::showValues(const OutgoingValues& v, const std::string& ownAddress) {
    shown_ = v;
    (v.ownServer() ? own_ : same_)->setChecked(true);
    setText(server_, v.server);
    showSecurity(security_, v.security);
    port_->setText(QString::number(v.port));
    auth_->setCurrentIndex(v.oauth ? 1 : 0);
    setText(user_, v.user);
    setText(password_, v.password);
    setText(addresses_, v.addresses);
    addresses_->setPlaceholderText(QString::fromStdString(ownAddress));
    follow();
}

OutgoingValues OutgoingFields::values() const {
    OutgoingValues v = shown_;
    v.addresses = joinedAddresses(text(addresses_));
    if (!own_->isChecked()) {
        v.server.clear();
        return v;
    }
    v.server = server_->text().trimmed().toLower().toStdString();
    v.security = chosenSecurity(security_);
    std::optional<unsigned> port = validation::readPort(portTyped());
    v.port = port ? *port : 0;
    v.oauth = auth_->currentData().toBool();
    v.user = text(user_);
    v.password = text(password_);
    return v;
}

std::string OutgoingFields::portTyped() const {
    return text(port_);
}

bool OutgoingFields::ownServerChosen() const {
    return own_->isChecked();
}

void OutgoingFields::focusField(validation::AccountField field) {
    switch (field) {
    case validation::AccountField::SmtpServer: server_->setFocus(); break;
    case validation::AccountField::SmtpPort: port_->setFocus(); break;
    case validation::AccountField::SmtpUser: user_->setFocus(); break;
    case validation::AccountField::SmtpPassword: password_->setFocus(); break;
    case validation::AccountField::Addresses: addresses_->setFocus(); break;
    default: break;
    }
}

void OutgoingFields::offerOAuth(bool offered) {
    if (!offered) auth_->setCurrentIndex(0);
    form_->setRowVisible(authRow_, offered);
}

void OutgoingFields::follow() {
    bool own = own_->isChecked();
    bool oauth = auth_->currentData().toBool();
    ownBox_->setEnabled(own);
    // With the account's sign-in the user name is the account's unless one is given here.
    user_->setPlaceholderText(oauth ? tr("(the account's user name)") : QString());
    form_->setRowVisible(passwordRow_, !oauth);
    if (signInRow_ >= 0) form_->setRowVisible(signInRow_, oauth);
    plainText_->setVisible(own && validation::sendsInTheClear(chosenSecurity(security_), text(server_)));
    emit serverChoiceChanged(own);
}

void OutgoingFields::signIn() {
    signin::Choice choice = choice_ ? choice_() : signin::Choice{};
    if (choice.clientId.empty() && !choice.preset.empty()) {
        status_->setText(tr("Enter the client id you registered with the provider on the Account page first."));
        return;
    }
    status_->setText(tr("Sign in on the provider's page in your browser; Tarnwick waits for it."));
    signIn_->setEnabled(false);
    run_.start(account_, choice);
}
