#include "mail/wan_address.h"

#include "orvana/build_config.h"

namespace orvana {

std::string extractBodyAddress(const std::string& page) {
    const std::size_t open = page.find("<body>");
    const std::size_t close = page.find("</body>");
    if (open == std::string::npos || close == std::string::npos || close < open + 6)
        return {};
    std::string inner = page.substr(open + 6, close - open - 6);
    std::string out;
    for (char c : inner)
        if (c != '\r' && c != '\n')
            out += c;
    return out;
}

std::string wanPageUrl(const std::string& overrideUrl) {
    return overrideUrl.empty() ? std::string(build::kGipUrl) : overrideUrl;
}

WanAddress::WanAddress(std::unique_ptr<HttpClient> http, std::string url,
                       std::chrono::milliseconds timeout)
    : http_(std::move(http)), url_(std::move(url)), timeout_(timeout) {}

std::string WanAddress::GetIpAddress() {
    if (!http_)
        return {};
    auto page = http_->get(url_, timeout_);
    if (!page)
        return {};
    return extractBodyAddress(*page);
}

}  // namespace orvana
