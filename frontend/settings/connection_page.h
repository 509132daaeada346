// "Connection": the NetworkManager connection to bring up and its retries, the provider's SMTP
// server for outgoing mail with its port, security and log-in (a password, or OAuth 2.0 with
// its "Sign in…"), and the file of further trusted certificates.
#pragma once

#include "frontend/settings/prop_sheet.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class SignInFields;

class ConnectionPage : public PropPage {
    Q_OBJECT

public:
    explicit ConnectionPage(SettingsModel& model);

    void load() override;
    bool save() override;

    // The first entry of the dial-up list, stored as the empty entry.
    static const char* const kNoDialUp;

private:
    void browseCaFile();

    QGroupBox* dialUp_;
    QComboBox* dialUpEntry_;
    QCheckBox* establishConnection_;
    QCheckBox* retryDialUp_;
    QLineEdit* retryCount_;
    QLineEdit* retryPause_;
    QLineEdit* smtpServer_;
    QComboBox* smtpSecurity_;
    QLineEdit* smtpPort_;
    QLineEdit* smtpUser_;
    QLineEdit* smtpPassword_;
    SignInFields* signIn_;
    QLineEdit* caFile_;
};
