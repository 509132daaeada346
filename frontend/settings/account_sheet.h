// "Account properties": the Account page (login with port and security, e-mail address and
// identity, the e-mail program) and the display-only Advanced page of one account.
#pragma once

#include "frontend/settings/prop_sheet.h"

#include <cstdint>
#include <string>

class QComboBox;
class QLineEdit;
class QRadioButton;
class QWidget;

// The name in the e-mail program list that stands for the account's own command line.
inline constexpr char kAlternativeClient[] = "(alternative client)";

// The account sheet's "Account" page: the POP3 log-in, its security and port, and the
// e-mail program that reads the account's mail.
class AccountPage : public PropPage {
    Q_OBJECT

public:
    AccountPage(const std::string& accountsKey, const std::string& title);
    void activate() override;
    int validate() override;
    int apply() override;

    const std::string& alternativeCommandLine() const { return alternative_; }

private:
    // The "..." button: the account's own command line, which then becomes its e-mail program.
    void editAlternative();

    QLineEdit* accountTitle_;
    QLineEdit* popServer_;
    QComboBox* popSecurity_;
    QLineEdit* popPort_;
    QLineEdit* popUser_;
    QLineEdit* popPassword_;
    QLineEdit* emailAddress_;
    QLineEdit* emailIdentity_;
    QComboBox* emailProgram_;

    std::string accountsKey_;
    std::string title_;
    std::string alternative_;
    std::string identity_;
    std::string address_;
    // What the page showed first: port and security are written only when changed.
    unsigned shownPort_ = 110;
    std::uint32_t loadedSecurity_ = 0;
    bool filled_ = false;
};

// The account sheet's "Advanced" page: the title again and when retrieved messages leave
// the server.
class AdvancedPage : public PropPage {
    Q_OBJECT

public:
    AdvancedPage(const std::string& accountsKey, const std::string& title);
    void activate() override;
    int validate() override { return 1; }
    int apply() override { return 1; }

private:
    QLineEdit* accountTitle_;
    QRadioButton* removeAlways_;
    std::string accountsKey_;
    std::string title_;
};

// The sheet for the account at index (0-based, registry order); nothing when index is below
// 0 or past the last account. This is what the mailbox tree calls for its account nodes.
void showAccountProperties(QWidget* owner, int accountIndex);
