// What the SMTP client reads from an EHLO reply and how it writes its log-in: the extensions
// it uses (STARTTLS, AUTH PLAIN, AUTH LOGIN, PIPELINING) and the encodings of the credentials.
#pragma once

#include <string>
#include <string_view>

struct EhloCapabilities {
    bool startTls = false;
    bool authPlain = false;
    bool authLogin = false;
    bool pipelining = false;

    // Notes one line of the reply ("250-STARTTLS", "250 AUTH LOGIN PLAIN", or the old form
    // "250-AUTH=LOGIN"); keywords and mechanisms count in any case, others are ignored.
    void note(std::string_view line);
};

std::string base64Encode(std::string_view bytes);

// "AUTH PLAIN " and the credentials as one base64 answer: an empty identity, NUL, user, NUL,
// password.
std::string authPlainCommand(std::string_view user, std::string_view password);
