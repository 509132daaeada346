// One blocking HTTPS GET, for programs that wait for it anyway (trawlexctl, a worker thread of
// the front end), never for the engine's loop.
//
// Only https://; the certificate is checked as the mail connections' are (the system's trust
// store plus caFile, and the host name). No redirect is followed, the whole request is bounded
// by timeoutMs, and a body past maxBytes fails it.
#pragma once

#include <cstddef>
#include <string>

namespace plat {

struct HttpsGetReply {
    bool completed = false;  // a whole reply came (any status)
    long status = 0;
    std::string body;
    std::string failure;  // in words, when !completed
};

struct HttpsGetOptions {
    std::string caFile;  // further trusted certificates (PEM), empty: none
    int timeoutMs = 10000;
    std::size_t maxBytes = 64 * 1024;
    // "127.0.0.1:PORT": connect there whatever the URL's host and port are (the certificate
    // is still checked for the URL's host). For tests; empty: the URL's own.
    std::string connectTo;
};

HttpsGetReply httpsGet(const std::string& url, const HttpsGetOptions& options);

}  // namespace plat
