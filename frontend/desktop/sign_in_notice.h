// An OAuth 2.0 sign-in the provider no longer accepts: the engine says so in the day log
// ("sign-in for ACCOUNT expired: sign in again", MAIL HIGH), and the front end tells the user,
// once per cycle and target, which account (or the outgoing host) to sign in again.
#pragma once

#include "frontend/desktop/notification_texts.h"

#include <string>
#include <vector>

namespace notify {

// The targets (account titles, or "outgoing") whose sign-in expired, in the order the lines
// name them, each once.
std::vector<std::string> expiredSignIns(const std::vector<std::string>& logLines);

// "Sign in again": which account, and where to do it.
Text signInExpiredText(const std::string& target);

}  // namespace notify
