#include "hid/hid_exchange.h"

#include "hid/system_string.h"

#include <algorithm>
#include <cstdio>

namespace orvana::hid {

std::optional<std::string> findNext(Bus& bus, std::uint16_t productId, int& index) {
    const std::vector<DeviceEntry> devices = bus.enumerate();
    const std::size_t first = index > 0 ? static_cast<std::size_t>(index) : 0;
    for (std::size_t member = first; member < devices.size(); ++member) {
        const DeviceEntry& device = devices[member];
        // A member without a path cannot be opened, so it is no instrument.
        if (device.vendorId == kVendorId && device.productId == productId && !device.path.empty()) {
            index = static_cast<int>(member + 1);
            return device.path;
        }
    }
    index = 0;
    return std::nullopt;
}

int exchange(Bus& bus, const std::string& path, const Report& request, Report& reply,
             std::size_t minReplyBytes) {
    const std::unique_ptr<Connection> device = bus.open(path);
    if (!device) {
        return -1;
    }
    const int written = device->write(request);
    if (written < 0) {
        return written;
    }
    if (static_cast<std::size_t>(written) < request.size()) {
        return -1;
    }
    // Room for a full-speed report, so a longer reply is not cut by the kernel.
    std::array<std::uint8_t, 64> input{};
    const int got = device->readTimeout(input, kReplyTimeoutMs);
    // hidapi's read gives up at the time-out with nothing left pending, so
    // there is no outstanding read to cancel before the close.
    if (got <= 0 || static_cast<std::size_t>(got) < minReplyBytes) {
        return -1;
    }
    reply.fill(0);
    const std::size_t payload = std::min<std::size_t>(got, reply.size() - 1);
    std::copy_n(input.begin(), payload, reply.begin() + 1);
    return 0;
}

int setFeature(Bus& bus, const std::string& path, const Report& report) {
    const std::unique_ptr<Connection> device = bus.open(path);
    if (!device) {
        return -1;
    }
    const int sent = device->sendFeature(report);
    return sent < 0 ? sent : 0;
}

std::optional<std::string> readVersion(Bus& bus, const std::string& path) {
    const std::unique_ptr<Connection> device = bus.open(path);
    if (!device) {
        return std::nullopt;
    }
    Report report{};
    if (device->getFeature(report) < 0) {
        return std::nullopt;
    }
    const int a = report[1];
    const int b = report[2];
    const int c = report[3];
    const int length = std::snprintf(nullptr, 0, "%02d/%02d/%02d", a, b, c);
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, "%02d/%02d/%02d", a, b, c);
    return text;
}

char* findUsbExport(int* index, std::uint16_t productId) noexcept {
    if (index == nullptr) {
        return makeSystemString({});
    }
    try {
        const std::lock_guard lock(transportLock());
        const auto path = findNext(hidapiBus(), productId, *index);
        return makeSystemString(path.value_or(std::string{}));
    } catch (...) {
        *index = 0;
        return makeSystemString({});
    }
}

char* getVersExport(const char* path) noexcept {
    if (path == nullptr) {
        return makeSystemString({});
    }
    try {
        const std::lock_guard lock(transportLock());
        const auto version = readVersion(hidapiBus(), path);
        return makeSystemString(version.value_or(std::string{}));
    } catch (...) {
        return makeSystemString({});
    }
}

}  // namespace orvana::hid
