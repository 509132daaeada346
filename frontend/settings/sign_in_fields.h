// The sign-in rows of the account page, the Connection page and the wizard's server page: how
// the engine logs in to the provider ("auth": the password, or OAuth 2.0), the provider and the
// client id the user registered there, and "Sign in…", which runs the sign-in at once (see
// sign_in.h) and says how it went. The rows after the first show only for OAuth 2.0.
#pragma once

#include "frontend/settings/sign_in.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class SettingsModel;

class SignInFields : public QObject {
    Q_OBJECT

public:
    // Adds the rows to form (their widgets children of parent). target: the account's title, or
    // "outgoing"; empty while the account does not exist yet (no Sign in… button then).
    SignInFields(QWidget* parent, QFormLayout* form, std::string target);

    // The values of the model ("auth", "oauthclientid", "oauthtokenurl").
    void load(const SettingsModel& model);
    // "auth" and, with OAuth 2.0, the client id into the model.
    void save(SettingsModel& model) const;

    // In a wizard: registers the fields "oauth" (the "auth" value), "oauthPreset" and
    // "oauthClientId" through the page's registerField.
    using RegisterField = std::function<void(const QString& name, QWidget* widget, const char* property)>;
    void registerFields(const RegisterField& registerField);

    bool oauth() const;
    void setOAuth(bool on);
    signin::Choice choice() const;

signals:
    // The choice between the password and OAuth 2.0 changed.
    void oauthChosen(bool on);

private:
    void chooseAuth();
    void signIn();

    std::string target_;
    QFormLayout* form_;
    int firstOAuthRow_ = 0;  // the provider's row; up to endOAuthRows_, shown for OAuth 2.0 only
    int endOAuthRows_ = 0;
    QComboBox* auth_;
    QComboBox* provider_;
    QLineEdit* clientId_;
    QPushButton* signIn_ = nullptr;
    QLabel* status_ = nullptr;
    SignInRun run_;
};
