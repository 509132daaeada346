#include "frontend/settings/sign_in_fields.h"

#include "frontend/dialogs/controls.h"
#include "frontend/settings/settings_model.h"
#include "oauth/oauth_presets.h"
#include "oauth/oauth_settings.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr config::DwordSetting kAuth{config::kAuthValue, config::kAuthPassword};
constexpr config::StringSetting kClientId{config::kOAuthClientId, ""};
constexpr config::StringSetting kTokenUrl{config::kOAuthTokenUrl, ""};
// The providers offered, by preset name; the last item keeps the endpoints stored.
constexpr const char* kProviders[] = {"google", "microsoft"};

}  // namespace

SignInFields::SignInFields(QWidget* parent, QFormLayout* form, std::string target)
    : QObject(parent),
      target_(std::move(target)),
      form_(form),
      run_(this) {
    auth_ = listBox(parent, "signInKind");
    auth_->addItem(tr("Password"), config::kAuthPassword);
    auth_->addItem(tr("OAuth 2.0 (the provider's sign-in page)"), config::kAuthOAuth);
    provider_ = listBox(parent, "signInProvider");
    provider_->addItem(QStringLiteral("Google"), QString::fromLatin1(kProviders[0]));
    provider_->addItem(QStringLiteral("Microsoft"), QString::fromLatin1(kProviders[1]));
    // A new account has no endpoints of its own in the settings yet: only presets sign it in.
    if (!target_.empty()) provider_->addItem(tr("Other (the addresses in the settings)"), QString());
    clientId_ = textEdit(parent, "signInClientId", 1000);
    clientId_->setToolTip(tr("The client id you registered with the provider (see Help)."));
    form->addRow(buddyLabel(parent, tr("Log in &with:"), auth_), auth_);
    firstOAuthRow_ = form->rowCount();
    form->addRow(buddyLabel(parent, tr("Pro&vider:"), provider_), provider_);
    if (!target_.empty()) {
        signIn_ = pushButton(parent, "signIn", tr("Sign &in…"));
        status_ = new QLabel(parent);
        status_->setObjectName(QStringLiteral("signInStatus"));
        status_->setWordWrap(true);
        auto* row = new QHBoxLayout;
        row->addWidget(clientId_, 1);
        row->addWidget(signIn_);
        form->addRow(buddyLabel(parent, tr("Client &id:"), clientId_), row);
        form->addRow(QString(), status_);
        connect(signIn_, &QPushButton::clicked, this, &SignInFields::signIn);
    } else {
        form->addRow(buddyLabel(parent, tr("Client &id:"), clientId_), clientId_);
    }
    endOAuthRows_ = form->rowCount();
    connect(auth_, &QComboBox::currentIndexChanged, this, &SignInFields::chooseAuth);
    connect(&run_, &SignInRun::finished, this, [this](bool ok, const QString& message) {
        if (signIn_) signIn_->setEnabled(oauth());
        if (status_) status_->setText(ok ? tr("Signed in.") : tr("Not signed in: %1").arg(message));
    });
    chooseAuth();
}

void SignInFields::load(const SettingsModel& model) {
    setOAuth(model.number(kAuth) == config::kAuthOAuth);
    setText(clientId_, model.text(kClientId));
    std::string tokenUrl = model.text(kTokenUrl);
    int at = provider_->count() - 1;
    for (int i = 0; i < provider_->count() - 1; ++i) {
        const config::OAuthPreset* p = config::findOAuthPreset(provider_->itemData(i).toString().toStdString());
        if (p && (tokenUrl == p->tokenUrl || tokenUrl.empty())) {
            at = i;
            break;
        }
    }
    provider_->setCurrentIndex(at);
}

void SignInFields::save(SettingsModel& model) const {
    std::uint32_t kind = oauth() ? config::kAuthOAuth : config::kAuthPassword;
    if (kind != model.number(kAuth)) model.setNumber(kAuth, kind);
    if (oauth()) model.setText(kClientId, text(clientId_));
}

void SignInFields::registerFields(const RegisterField& registerField) {
    registerField(QStringLiteral("oauth"), auth_, "currentData");
    registerField(QStringLiteral("oauthPreset"), provider_, "currentData");
    registerField(QStringLiteral("oauthClientId"), clientId_, "text");
}

bool SignInFields::oauth() const {
    return auth_->currentData().toUInt() == config::kAuthOAuth;
}

void SignInFields::setOAuth(bool on) {
    auth_->setCurrentIndex(on ? 1 : 0);
}

signin::Choice SignInFields::choice() const {
    return {provider_->currentData().toString().toStdString(), text(clientId_), {}};
}

void SignInFields::chooseAuth() {
    bool on = oauth();
    // A password log-in has no provider or client id to choose: the rows are not shown.
    for (int row = firstOAuthRow_; row < endOAuthRows_; ++row) form_->setRowVisible(row, on);
    provider_->setEnabled(on);
    clientId_->setEnabled(on);
    if (signIn_) signIn_->setEnabled(on && !run_.running());
    emit oauthChosen(on);
}

void SignInFields::signIn() {
    if (clientId_->text().trimmed().isEmpty() && !provider_->currentData().toString().isEmpty()) {
        status_->setText(tr("Enter the client id you registered with the provider first."));
        clientId_->setFocus();
        return;
    }
    status_->setText(tr("Sign in on the provider's page in your browser; Tarnwick waits for it."));
    signIn_->setEnabled(false);
    run_.start(target_, choice());
}
