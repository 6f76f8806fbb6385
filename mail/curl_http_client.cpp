#include <curl/curl.h>

#include <memory>

#include "mail/curl_global.h"
#include "mail/http_client.h"

namespace orvana {

void ensureCurlGlobalInit() {
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

namespace {

size_t appendBody(char* data, size_t size, size_t n, void* user) {
    auto* out = static_cast<std::string*>(user);
    // The page is a few bytes; anything huge is not the address page.
    if (out->size() + size * n > 1024 * 1024)
        return 0;
    out->append(data, size * n);
    return size * n;
}

class CurlHttpClient final : public HttpClient {
  public:
    std::optional<std::string> get(const std::string& url,
                                   std::chrono::milliseconds timeout) override {
        ensureCurlGlobalInit();
        std::unique_ptr<CURL, void (*)(CURL*)> h(curl_easy_init(), &curl_easy_cleanup);
        if (!h)
            return std::nullopt;
        std::string body;
        const long ms = static_cast<long>(timeout.count() > 0 ? timeout.count() : 1);
        curl_easy_setopt(h.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(h.get(), CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(h.get(), CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h.get(), CURLOPT_CONNECTTIMEOUT_MS, ms);
        curl_easy_setopt(h.get(), CURLOPT_TIMEOUT_MS, ms);
        curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, &appendBody);
        curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &body);
        if (curl_easy_perform(h.get()) != CURLE_OK)
            return std::nullopt;
        long status = 0;
        curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &status);
        if (status >= 400)
            return std::nullopt;
        return body;
    }
};

}  // namespace

std::unique_ptr<HttpClient> makeCurlHttpClient() {
    return std::make_unique<CurlHttpClient>();
}

}  // namespace orvana
