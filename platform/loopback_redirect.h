// The receiving end of a browser sign-in (RFC 8252): a listener on 127.0.0.1 at a port the
// system picks, where the provider's page sends the browser back with the answer in the
// address's query. For trawlexctl, which has nothing else to do meanwhile: it blocks.
#pragma once

#include "platform/owned_handles.h"

#include <cstdint>
#include <string>

namespace plat {

class LoopbackRedirect {
public:
    // Listens on 127.0.0.1; false (with why) when it cannot.
    bool listen(std::string& why);
    std::uint16_t port() const { return port_; }

    // Waits at most timeoutMs for a GET whose query holds "code=" or "error=", answers every
    // request with a short page (page for that one) and gives its query (after the "?").
    // Other requests (a browser's icon request) are answered and waited past. Empty on
    // time-out. A request line longer than 8 KiB is dropped.
    std::string awaitQuery(int timeoutMs, const std::string& page);

private:
    Descriptor fd_;
    std::uint16_t port_ = 0;
};

}  // namespace plat
