// The HID facility used by both device libraries: enumeration of the HID
// devices present and byte-level access to one opened device.
//
// Production backend: hidapi (libhidapi-hidraw). Test double: the simulated
// hidapi library in tests/devices, which replaces libhidapi-hidraw.so.0 at run
// time, so the tests drive this very code.
//
// Threads: the bus may be used from any thread, one call at a time (the device
// libraries serialise their calls with transportLock()).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace orvana::hid {

struct DeviceEntry {
    std::string path;  // empty when the system gave none
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// One opened device; closing happens in the destructor, so every open is
// matched by exactly one close.
//
// Results: a non-negative byte count on success, 0 from readTimeout() when
// nothing arrived in time, otherwise the negated system error number (-EIO when
// the system gave none).
class Connection {
  public:
    virtual ~Connection() = default;
    // data[0] is the report ID (0 for unnumbered reports).
    virtual int write(std::span<const std::uint8_t> data) = 0;
    // Receives an input report without its report ID byte (unnumbered reports).
    virtual int readTimeout(std::span<std::uint8_t> data, int milliseconds) = 0;
    // data[0] is the report ID both ways; the result counts it.
    virtual int sendFeature(std::span<const std::uint8_t> data) = 0;
    virtual int getFeature(std::span<std::uint8_t> data) = 0;
};

class Bus {
  public:
    virtual ~Bus() = default;
    // Every HID device present, once per device path, in the system's
    // enumeration order. Empty when the enumeration fails.
    virtual std::vector<DeviceEntry> enumerate() = 0;
    // nullptr when the device cannot be opened (unplugged, busy, no permission).
    virtual std::unique_ptr<Connection> open(const std::string& path) = 0;
};

// The process-wide hidapi backend. hid_init runs once on first use; hid_exit
// runs when the library holding this code is unloaded.
Bus& hidapiBus();

// Held by every exported library call: the libraries promise nothing for
// overlapping calls, but serialising them keeps an overlapping caller safe.
std::mutex& transportLock();

}  // namespace orvana::hid
