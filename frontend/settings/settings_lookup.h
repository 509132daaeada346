// The wizard's look-up of an address's mail settings, away from the GUI thread: the look-up
// runs on a worker thread and its answer comes back through the event loop. A test replaces
// the look-up with its own, which answers when the test wants (or never).
#pragma once

#include "autoconfig/discovery.h"

#include <chrono>
#include <functional>

namespace lookup {

using Answer = std::function<void(autoconfig::Discovery)>;
// Starts a look-up for address and returns at once; answer is called later on the GUI thread
// (a look-up that is no longer wanted is answered all the same: the caller ignores it).
using Start = std::function<void(const autoconfig::MailAddress& address, Answer answer)>;

// The look-up the wizard uses: the test's one when set, else the real one, which asks the
// provider table, then the network (HTTPS with the "cafile" setting, the system's resolver),
// each request bounded; TRAWLEX_AUTOCONFIG_CONNECT, TRAWLEX_DNS_SERVER and
// TRAWLEX_LOOKUP_TIMEOUT_MS point it at a test's servers as they do trawlexctl's.
void start(const autoconfig::MailAddress& address, Answer answer);
// A test's look-up; an empty function restores the real one.
void setStartHook(Start hook);

// How long the wizard waits before it gives up and offers the manual pages.
std::chrono::milliseconds timeLimit();
// A test's limit; zero restores the default.
void setTimeLimit(std::chrono::milliseconds limit);

}  // namespace lookup
