// One HTTP POST of a form, run inside the engine's loop (libcurl's multi interface driven by
// libevent), never blocking it. For the OAuth 2.0 token endpoint.
//
// https:// is checked as the mail connections are: the system's trust store plus caFile, and
// the host name. Plain http:// is refused unless the host is a dotted address in 127.0.0.0/8.
// No redirect is followed; the whole request is bounded by timeoutMs; a reply body past
// 64 KiB fails the request.
#pragma once

#include <functional>
#include <string>

namespace plat {

struct HttpReply {
    bool completed = false;  // a reply was read whole (any status)
    long status = 0;  // the HTTP status when completed
    std::string body;
    std::string failure;  // why nothing complete came, in words, when !completed
};

using HttpDone = std::function<void(const HttpReply&)>;

// Starts the request; done runs later from the loop, exactly once, unless the request is
// cancelled first. Answers the request's id (never 0). A URL that may not be used is
// reported through done as well, after the caller's turn.
int httpPostForm(const std::string& url, const std::string& form, const std::string& caFile, int timeoutMs,
                 HttpDone done);
// Drops a request still running; done will not run. Unknown ids are ignored.
void cancelHttpRequest(int id);

// Whether url may be asked: https to any host, http only to 127.0.0.0/8. why says why not.
bool httpUrlAllowed(const std::string& url, std::string& why);

}  // namespace plat
