// The router's global address, read from the maker's address page.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "mail/http_client.h"

namespace orvana {

// The text between the first "<body>" and the first "</body>" with every CR
// and LF removed; empty when either tag is missing or they are out of order.
std::string extractBodyAddress(const std::string& page);

// The page URL: ORVANA_GIP_URL when set, else the build default.
std::string wanPageUrl(const std::string& overrideUrl);

class WanAddress {
  public:
    // Fetches at most `timeout` in total, since the caller is the UI thread.
    WanAddress(std::unique_ptr<HttpClient> http, std::string url,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The address as the page gives it; empty when the page could not be
    // fetched or has no body element. UI thread.
    std::string GetIpAddress();

    const std::string& url() const { return url_; }

  private:
    std::unique_ptr<HttpClient> http_;
    std::string url_;
    std::chrono::milliseconds timeout_;
};

}  // namespace orvana
