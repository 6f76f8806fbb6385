// The report exchanges shared by the meter and the counter library.
//
// Every function opens the device by path and closes it before returning;
// nothing stays open between calls. Callers hold transportLock().
//
// Reports are 8 bytes with the report ID (always 0) in byte 0, so byte indices
// match the device's report tables. hidapi delivers input reports without the
// ID byte; exchange() puts it back.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "hid/hid_bus.h"

namespace orvana::hid {

inline constexpr std::uint16_t kVendorId = 0x1774;
inline constexpr std::size_t kReportSize = 8;
inline constexpr int kReplyTimeoutMs = 1000;

using Report = std::array<std::uint8_t, kReportSize>;

// Member index of the next device with kVendorId/productId at a position of
// at least `index` in the enumeration; stores that position + 1 into `index`
// and returns its path, never an empty one: a member without a path is
// passed over. When there is none, stores 0 and returns nullopt.
// A negative index counts as 0.
std::optional<std::string> findNext(Bus& bus, std::uint16_t productId, int& index);

// Writes `request` as an output report and waits up to kReplyTimeoutMs for
// the input report. Returns 0 with `reply` filled (byte 0 = 0), -1 when the
// device cannot be opened, the write was short, no reply came in time or the
// reply holds fewer than `minReplyBytes` bytes after the ID byte, and the
// negated system error number when the write was refused. `reply` is only
// written on success.
int exchange(Bus& bus, const std::string& path, const Report& request, Report& reply,
             std::size_t minReplyBytes);

// Sends a feature report. 0 on success, -1 when the device cannot be opened,
// the negated system error number when the request was refused.
int setFeature(Bus& bus, const std::string& path, const Report& report);

// Version feature report formatted "%02d/%02d/%02d" from bytes 1, 2, 3;
// nullopt when the device cannot be opened or the request was refused.
std::optional<std::string> readVersion(Bus& bus, const std::string& path);

// The FindUSB and GetVers exports, the same in both libraries: each takes
// transportLock() itself, never throws, and returns a system string that
// the caller frees with FreeString (an empty one on any failure, null only
// when memory runs out). A null index or path gives an empty string.
char* findUsbExport(int* index, std::uint16_t productId) noexcept;
char* getVersExport(const char* path) noexcept;

}  // namespace orvana::hid
