// The "Add Account Wizard": the account's title, its POP3 server and login, and the e-mail
// program that reads it. Nothing is stored before Finish.
#pragma once

#include "frontend/settings/prop_sheet.h"

#include <cstdint>
#include <string>

class QComboBox;
class QLineEdit;
class QWidget;

// What the wizard's pages fill in.
struct WizardRecord {
    std::string title;
    std::string server;
    unsigned port = 110;
    std::uint32_t security = 0;
    std::string user;
    std::string password;
    std::string clientName;
    std::string clientFile;
    int finished = 0;
};

// The wizard's first page: the account's title.
class WizardTitlePage : public PropPage {
    Q_OBJECT

public:
    explicit WizardTitlePage(WizardRecord& record);
    void activate() override;
    int validate() override;
    int apply() override { return 1; }

private:
    QLineEdit* accountTitle_;
    WizardRecord& record_;
};

// The wizard's second page: the POP3 server (kept in lower case), its security and port, user
// name and password.
class WizardServerPage : public PropPage {
    Q_OBJECT

public:
    explicit WizardServerPage(WizardRecord& record);
    void activate() override;
    int validate() override;
    int apply() override { return 1; }

private:
    QLineEdit* popServer_;
    QComboBox* popSecurity_;
    QLineEdit* popPort_;
    QLineEdit* popUser_;
    QLineEdit* popPassword_;
    WizardRecord& record_;
};

// The wizard's last page: the e-mail program, the desktop's default one chosen first.
class WizardClientPage : public PropPage {
    Q_OBJECT

public:
    explicit WizardClientPage(WizardRecord& record);
    void activate() override;
    int validate() override { return 1; }
    int apply() override { return 1; }
    void finish() override;

private:
    QComboBox* emailProgram_;
    WizardRecord& record_;
};

// Runs the wizard over owner. After Finish the account is created with its mailbox directory
// and the e-mail program's settings are shown. Answers whether an account was created; the
// caller refreshes its views in every case.
bool runAddAccountWizard(QWidget* owner);
