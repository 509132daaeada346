// The "Add Account Wizard": the account's title, its POP3 server and login, and the e-mail
// program that reads it. Each page keeps Next disabled until its required fields are filled;
// the checks that need a message run when Next is pressed. Nothing is stored before Finish.
#pragma once

#include "shared/registry.h"

#include <QWizard>
#include <QWizardPage>

class QComboBox;
class QLineEdit;
class SignInFields;

// The account's title (field "accountTitle").
class WizardTitlePage : public QWizardPage {
    Q_OBJECT

public:
    explicit WizardTitlePage(QWidget* parent = nullptr);
    bool validatePage() override;

private:
    QLineEdit* accountTitle_;
};

// The POP3 server (kept in lower case), its security and port, user name and password
// (fields "popServer", "popSecurity", "popPort", "popUser", "popPassword"), and how Tarnwick
// logs in there: with that password, or with OAuth 2.0 (fields "oauth", "oauthPreset",
// "oauthClientId"), the password then being the one the e-mail program logs in to Tarnwick
// with.
class WizardServerPage : public QWizardPage {
    Q_OBJECT

public:
    explicit WizardServerPage(QWidget* parent = nullptr);
    // The three mandatory fields are filled and the port is one a connection can use.
    bool isComplete() const override;
    bool validatePage() override;

private:
    QLineEdit* popServer_;
    QComboBox* popSecurity_;
    QLineEdit* popPort_;
    QLineEdit* popUser_;
    QLineEdit* popPassword_;
    SignInFields* signIn_;
};

// The e-mail program (field "emailProgram"), the desktop's default one chosen first.
class WizardClientPage : public QWizardPage {
    Q_OBJECT

public:
    explicit WizardClientPage(QWidget* parent = nullptr);
    void initializePage() override;

private:
    QComboBox* emailProgram_;
};

class AccountWizard : public QWizard {
    Q_OBJECT

public:
    explicit AccountWizard(QWidget* parent = nullptr);
    // The account as the pages hold it; complete once Finish was accepted. With OAuth 2.0
    // chosen its "pass" is empty: the password typed is the local one.
    config::NewAccount account() const;
    bool oauth() const;
};

// Runs the wizard over owner. After Finish the account is created with its mailbox directory
// (its password in the desktop's secret store when one is ready); with OAuth 2.0 chosen the
// sign-in runs at once, in the browser; then the e-mail program's settings are shown. Answers whether an account was created; the
// caller refreshes its views in every case.
bool runAddAccountWizard(QWidget* owner);
