// System strings: the text results of the device libraries.
//
// Layout: a uint32_t byte length (native byte order), the bytes, a NUL byte.
// The pointer handed out points at the first byte, so it reads as a C string;
// the length sits in the 4 bytes just before it. Only freeSystemString (the
// libraries' FreeString) may release one. Both functions may be called from
// any thread.
#pragma once

#include <string_view>

namespace orvana::hid {

// nullptr only when memory runs out or the text exceeds 4 GiB.
char* makeSystemString(std::string_view text) noexcept;

// Accepts nullptr.
void freeSystemString(char* text) noexcept;

}  // namespace orvana::hid
