#include "ruvasko/ruvasko.h"

#include <mutex>
#include <string>

#include "hid/hid_exchange.h"
#include "hid/system_string.h"

namespace {

using orvana::hid::Report;

constexpr std::uint16_t kCounterProductId = 0x1002;
constexpr std::uint8_t kReadCount = 0x00;
constexpr std::uint8_t kClearCount = 0xAA;
// Count and time fill reply bytes 1-7.
constexpr std::size_t kCountReplyBytes = 7;

int request(const char* path, std::uint8_t command, Report& reply, std::size_t minReplyBytes) {
    if (path == nullptr) {
        return -1;
    }
    try {
        Report out{};
        out[1] = command;
        const std::lock_guard lock(orvana::hid::transportLock());
        return orvana::hid::exchange(orvana::hid::hidapiBus(), path, out, reply, minReplyBytes);
    } catch (...) {
        return -1;
    }
}

}  // namespace

extern "C" {

char* FindUSB(int* index) {
    return orvana::hid::findUsbExport(index, kCounterProductId);
}

char* GetVers(const char* path) {
    return orvana::hid::getVersExport(path);
}

int GetCountTime(const char* path, uint32_t* count, uint32_t* time) {
    if (count == nullptr || time == nullptr) {
        return -1;
    }
    Report reply{};
    const int status = request(path, kReadCount, reply, kCountReplyBytes);
    if (status != 0) {
        return status;
    }
    *count = static_cast<std::uint32_t>(reply[1]) | static_cast<std::uint32_t>(reply[2]) << 8 |
             static_cast<std::uint32_t>(reply[3]) << 16 |
             static_cast<std::uint32_t>(reply[4]) << 24;
    *time = static_cast<std::uint32_t>(reply[5]) | static_cast<std::uint32_t>(reply[6]) << 8 |
            static_cast<std::uint32_t>(reply[7]) << 16;
    return 0;
}

int Clear(const char* path) {
    Report reply{};
    return request(path, kClearCount, reply, 0);
}

void FreeString(char* text) {
    orvana::hid::freeSystemString(text);
}

}  // extern "C"
