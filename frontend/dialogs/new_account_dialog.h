// "New Account Settings for E-Mail Client": what the user must enter in the
// e-mail program for a new account, and a button that starts that program.
#pragma once

#include <QDialog>

#include <string>

class NewAccountSettingsDialog : public QDialog {
    Q_OBJECT

public:
    // oauth: the account signs in to the provider with OAuth 2.0, and the e-mail program logs
    // in with the local password given in Tarnwick; otherwise with the provider's password.
    NewAccountSettingsDialog(QWidget* owner, const std::string& clientName, const std::string& commandLine,
                             const std::string& accountTitle, bool oauth = false);

private:
    std::string commandLine_;
};

// Opens the dialog centred and in front, modal for owner, and returns at once.
void showNewAccountSettings(QWidget* owner, const std::string& clientName, const std::string& commandLine,
                            const std::string& accountTitle, bool oauth = false);
