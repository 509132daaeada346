// "Connection" (dialog 620): the dial-up entry and its retries, and the provider's SMTP
// server for outgoing mail.
#pragma once

#include "frontend/options/prop_sheet.h"

#include <string>

class ConnectionPage : public PropPage {
public:
    // Reads the current settings into the page's fields.
    ConnectionPage();

    void activate() override;
    int validate() override;
    int apply() override;

    // The first entry of the dial-up list, stored as the empty entry.
    static const char* const kNoDialUp;
    // The longest pause in minutes: its milliseconds must fit a timer.
    static constexpr unsigned kMaxMinutes = 35791;

private:
    std::string rasEntry_;
    std::string outHost_;
    bool allowEstab_ = true;
    bool failRetry_ = true;
    unsigned retryLimit_ = 3;
    unsigned pauseMinutes_ = 5;
};
