#include "hid/system_string.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace orvana::hid {

char* makeSystemString(std::string_view text) noexcept {
    if (text.size() > std::numeric_limits<std::uint32_t>::max() - sizeof(std::uint32_t) - 1) {
        return nullptr;
    }
    const auto length = static_cast<std::uint32_t>(text.size());
    auto* block = static_cast<char*>(std::malloc(sizeof length + text.size() + 1));
    if (block == nullptr) {
        return nullptr;
    }
    std::memcpy(block, &length, sizeof length);
    char* bytes = block + sizeof length;
    if (!text.empty()) {
        std::memcpy(bytes, text.data(), text.size());
    }
    bytes[text.size()] = '\0';
    return bytes;
}

void freeSystemString(char* text) noexcept {
    if (text != nullptr) {
        std::free(text - sizeof(std::uint32_t));
    }
}

}  // namespace orvana::hid
