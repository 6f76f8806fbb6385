// The WAN address page (mail/wan_address.*): what GetIpAddress takes from
// the page the HTTP client returns. The input is the page.
//
// Promises:
//  - the address is the text between the first "<body>" and the first
//    "</body>" with every CR and LF removed, and empty when either tag is
//    missing or the end tag comes first;
//  - GetIpAddress gives exactly that for a fetched page, and nothing when
//    the fetch failed;
//  - it holds no CR or LF, so the "IP(...)" of a notice stays on its line.
#include <memory>
#include <optional>
#include <string>

#include "mail/http_client.h"
#include "mail/wan_address.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

class Page final : public orvana::HttpClient {
  public:
    explicit Page(std::optional<std::string> body) : body_(std::move(body)) {}
    std::optional<std::string> get(const std::string&, std::chrono::milliseconds) override {
        return body_;
    }

  private:
    std::optional<std::string> body_;
};

// Where `tag` first starts in `page`, or page.size() when it never does.
std::size_t first(const std::string& page, const char* tag) {
    const std::string t(tag);
    for (std::size_t i = 0; i + t.size() <= page.size(); ++i) {
        std::size_t k = 0;
        while (k < t.size() && page[i + k] == t[k])
            ++k;
        if (k == t.size())
            return i;
    }
    return page.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvana::fuzz::escaped;
    const std::string page(reinterpret_cast<const char*>(data), size);

    std::string expected;
    const std::size_t open = first(page, "<body>");
    const std::size_t close = first(page, "</body>");
    if (open < page.size() && close < page.size() && close >= open + 6)
        for (std::size_t i = open + 6; i < close; ++i)
            if (page[i] != '\r' && page[i] != '\n')
                expected += page[i];

    const std::string got = orvana::extractBodyAddress(page);
    FUZZ_CHECK(got == expected, escaped(got) + " instead of " + escaped(expected));
    FUZZ_CHECK(got.find_first_of("\r\n") == std::string::npos, escaped(got));

    orvana::WanAddress fetched(std::make_unique<Page>(page), "http://wan.invalid/");
    FUZZ_CHECK(fetched.GetIpAddress() == expected, escaped(page));
    orvana::WanAddress failed(std::make_unique<Page>(std::nullopt), "http://wan.invalid/");
    FUZZ_CHECK(failed.GetIpAddress().empty(), "an address without a page");
    return 0;
}
