// "Connection": the dial-up entry and its retries, the provider's SMTP server
// for outgoing mail with its port, security and log-in, and the file of further trusted
// certificates.
#pragma once

#include "frontend/settings/prop_sheet.h"

#include <cstdint>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;

class ConnectionPage : public PropPage {
    Q_OBJECT

public:
    // Reads the current settings into the page's fields.
    ConnectionPage();

    void activate() override;
    int validate() override;
    int apply() override;

    // The first entry of the dial-up list, stored as the empty entry.
    static const char* const kNoDialUp;

private:
    void browseCaFile();

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
    QLineEdit* caFile_;

    // What the page shows of the outgoing server's security; written only where it changed,
    // so a user who never touches it keeps the settings as they were.
    struct Secure {
        std::uint32_t security = 0;
        std::string user;
        std::string pass;
        std::string caFile;
    };

    std::string rasEntry_;
    std::string outHost_;
    bool allowEstab_ = true;
    bool failRetry_ = true;
    unsigned retryLimit_ = 3;
    unsigned pauseMinutes_ = 5;
    unsigned outPort_ = 25;
    Secure secure_;
    Secure loaded_;
};
