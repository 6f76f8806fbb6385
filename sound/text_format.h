// printf-style formatting into a std::string of whatever length it needs.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace orvana::sound {

__attribute__((format(printf, 1, 2))) inline std::string strprintf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, ap);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(ap);
    return out;
}

}  // namespace orvana::sound
