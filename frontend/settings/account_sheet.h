// "Account properties": the Account page (login with port and security, e-mail address and
// identity, the e-mail program) and the display-only Advanced page of one account.
#pragma once

#include "frontend/settings/prop_sheet.h"

#include <string>

class QComboBox;
class QLineEdit;
class SignInFields;
class QRadioButton;
class QWidget;

// The name in the e-mail program list that stands for the account's own command line.
inline constexpr char kAlternativeClient[] = QT_TRANSLATE_NOOP("AccountPage", "(alternative client)");

// The account sheet's "Account" page: the POP3 log-in (a password, or OAuth 2.0 with its
// "Sign in…" and the local password the e-mail program then logs in to Tarnwick with), its
// security and port, and the e-mail program that reads the account's mail.
class AccountPage : public PropPage {
    Q_OBJECT

public:
    AccountPage(SettingsModel& account, const std::string& title);
    void load() override;
    bool save() override;
    // Shows the e-mail program's settings for the account.
    void stored() override;

private:
    // The "..." button: the account's own command line, which then becomes its e-mail program.
    void editAlternative();

    QLineEdit* accountTitle_;
    QLineEdit* popServer_;
    QComboBox* popSecurity_;
    QLineEdit* popPort_;
    QLineEdit* popUser_;
    QLineEdit* popPassword_;
    SignInFields* signIn_;
    QLineEdit* localPassword_;
    QLineEdit* emailAddress_;
    QLineEdit* emailIdentity_;
    QComboBox* emailProgram_;

    std::string title_;
    std::string alternative_;
};

// The account sheet's "Advanced" page: the title again and when retrieved messages leave
// the server; it stores nothing.
class AdvancedPage : public PropPage {
    Q_OBJECT

public:
    AdvancedPage(SettingsModel& account, const std::string& title);
    void load() override;
    bool save() override { return true; }

private:
    QLineEdit* accountTitle_;
    QRadioButton* removeAlways_;
    std::string title_;
};

// The sheet for the account at index (0-based, registry order); nothing when index is below
// 0 or past the last account. This is what the mailbox tree calls for its account nodes.
void showAccountProperties(QWidget* owner, int accountIndex);
