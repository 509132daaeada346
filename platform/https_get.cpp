#include "platform/https_get.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

namespace plat {
namespace {

struct Transfer {
    const HttpsGetOptions* options = nullptr;
    std::string body;
    bool tooLong = false;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* userp) {
    auto* t = static_cast<Transfer*>(userp);
    std::size_t n = size * count;
    if (t->body.size() + n > t->options->maxBytes) {
        t->tooLong = true;
        return 0;  // aborts the transfer
    }
    t->body.append(data, n);
    return n;
}

CURLcode addCaFile(CURL*, void* sslContext, void* userp) {
    const auto* t = static_cast<const Transfer*>(userp);
    if (t->options->caFile.empty()) return CURLE_OK;
    if (SSL_CTX_load_verify_locations(static_cast<SSL_CTX*>(sslContext), t->options->caFile.c_str(), nullptr) != 1)
        return CURLE_SSL_CACERT_BADFILE;
    return CURLE_OK;
}

}  // namespace

HttpsGetReply httpsGet(const std::string& url, const HttpsGetOptions& options) {
    HttpsGetReply reply;
    if (url.rfind("https://", 0) != 0) {
        reply.failure = "only https is used";
        return reply;
    }
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    CURL* easy = initialised ? curl_easy_init() : nullptr;
    if (!easy) {
        reply.failure = "the HTTP library could not be set up";
        return reply;
    }
    Transfer t;
    t.options = &options;
    char error[CURL_ERROR_SIZE] = {};
    curl_slist* connectTo = nullptr;
    if (!options.connectTo.empty()) connectTo = curl_slist_append(nullptr, ("::" + options.connectTo).c_str());
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeoutMs));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.timeoutMs));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, addCaFile);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &t);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "trawlexctl");
    if (connectTo) curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);
    CURLcode rc = curl_easy_perform(easy);
    if (rc == CURLE_OK) {
        reply.completed = true;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &reply.status);
        reply.body = std::move(t.body);
    } else if (t.tooLong || rc == CURLE_FILESIZE_EXCEEDED) {
        reply.failure = "reply longer than " + std::to_string(options.maxBytes / 1024) + " KiB";
    } else if (rc == CURLE_OPERATION_TIMEDOUT) {
        reply.failure = "no whole reply within " + std::to_string(options.timeoutMs / 1000) + " s";
    } else {
        reply.failure = error[0] ? error : curl_easy_strerror(rc);
    }
    curl_slist_free_all(connectTo);
    curl_easy_cleanup(easy);
    return reply;
}

}  // namespace plat
