// The "Add Account Wizard": the account's title, its POP3 server and login, and the e-mail
// program that reads it. Each page keeps Next disabled until its required fields are filled;
// the checks that need a message run when Next is pressed. Nothing is stored before Finish.
#pragma once

class QWidget;

// Runs the wizard over owner. After Finish the account is created with its mailbox directory
// (its password in the desktop's secret store when one is ready); with OAuth 2.0 chosen the
// sign-in runs at once, in the browser; then the e-mail program's settings are shown. Answers whether an account was created; the
// caller refreshes its views in every case.
bool runAddAccountWizard(QWidget* owner);
