// A synchronous HTTP GET, for the WAN address page.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace orvana {

class HttpClient {
  public:
    virtual ~HttpClient() = default;
    // GETs url and returns the whole body, or nullopt on any failure (no
    // connection, HTTP status 400 or above, time-out). Gives up after
    // `timeout` in total, connecting included. Any thread; one call at a time
    // per object.
    virtual std::optional<std::string> get(const std::string& url,
                                           std::chrono::milliseconds timeout) = 0;
};

// The libcurl backend (http and https only, no redirects). Never null.
std::unique_ptr<HttpClient> makeCurlHttpClient();

}  // namespace orvana
