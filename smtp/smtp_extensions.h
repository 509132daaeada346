// What the SMTP client reads from an EHLO reply and how it writes its log-in: the extensions
// it uses (STARTTLS, PIPELINING, CHUNKING, AUTH PLAIN, LOGIN, XOAUTH2, OAUTHBEARER) and the encodings of
// the credentials.
#pragma once

#include "net/base64.h"

#include <string>
#include <string_view>

struct EhloCapabilities {
    bool startTls = false;
    bool authPlain = false;
    bool authLogin = false;
    bool pipelining = false;
    bool authXoauth2 = false;
    bool authOauthBearer = false;
    bool chunking = false;

    // Notes one line of the reply ("250-STARTTLS", "250 AUTH LOGIN PLAIN", or the old form
    // "250-AUTH=LOGIN"); keywords and mechanisms count in any case, others are ignored.
    void note(std::string_view line);
};

// "AUTH PLAIN " and the credentials as one base64 answer: an empty identity, NUL, user, NUL,
// password.
std::string authPlainCommand(std::string_view user, std::string_view password);
