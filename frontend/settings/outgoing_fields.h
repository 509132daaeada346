// The fields of where an account's outgoing mail goes: the server for all accounts, or one of
// the account's own (server, security and port, the log-in: user and password, or the
// account's OAuth 2.0 sign-in with "Sign in…"), and the addresses the account sends for. The
// values come from and go to OutgoingValues; the checks are validation::checkOutgoing.
#pragma once

#include "frontend/settings/outgoing_values.h"
#include "frontend/settings/sign_in.h"
#include "frontend/settings/validation.h"

#include <QWidget>

#include <functional>
#include <string>

class NumberBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class OutgoingFields : public QWidget {
    Q_OBJECT

public:
    // account: the account's title, whose sign-in an OAuth 2.0 log-in uses; empty while the
    // account does not exist yet (no Sign in… button then).
    OutgoingFields(QWidget* parent, std::string account);

    // Shows values; ownAddress is what an empty list of addresses stands for.
    void showValues(const OutgoingValues& values, const std::string& ownAddress);
    // What the fields hold. With the server for all accounts the server is empty and the
    // rest is as shown before; the addresses are stored joined by ", ".
    OutgoingValues values() const;
    // The port as typed, and whether the account's own server is chosen, for the check.
    std::string portTyped() const;
    bool ownServerChosen() const;
    void focusField(validation::AccountField field);

    // Whether the account's OAuth 2.0 sign-in is there to log in with; without it the log-in
    // is by password, and the choice is hidden.
    void offerOAuth(bool offered);

    // Where Sign in… takes the provider and client id from: the account's own sign-in fields.
    void setSignInChoice(std::function<signin::Choice()> choice) { choice_ = std::move(choice); }

signals:
    // The choice between the server for all accounts and the account's own changed.
    void serverChoiceChanged(bool own);

private:
    void follow();
    void signIn();

    std::string account_;
    std::function<signin::Choice()> choice_;
    QRadioButton* same_;
    QRadioButton* own_;
    QWidget* ownBox_;
    QFormLayout* form_;
    QLineEdit* server_;
    QComboBox* security_;
    NumberBox* port_;
    QLabel* plainText_;
    QComboBox* auth_;
    QLineEdit* user_;
    QLineEdit* password_;
    QPushButton* signIn_ = nullptr;
    QLabel* status_ = nullptr;
    QLineEdit* addresses_;
    OutgoingValues shown_;
    int authRow_ = 0;
    int passwordRow_ = 0;
    int signInRow_ = -1;
    SignInRun run_;
};
