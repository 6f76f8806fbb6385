// The machine's power status: whether it runs on mains power and how full
// its battery is. On Linux read from <sysfs>/class/power_supply.
#pragma once

#include <memory>
#include <string>

namespace orvana {

struct PowerStatus {
    // 1 = on mains power, 0 = not on mains power, 255 = not known.
    int acLineStatus = 255;
    // 0..100, or 255 when no value is available.
    int batteryLifePercent = 255;
    // False when the machine has no system battery at all.
    bool batteryPresent = false;
};

class PowerSource {
  public:
    virtual ~PowerSource() = default;
    // The status now. Never fails: what cannot be read is reported as not
    // known (255). UI thread (the backends are not shared between threads).
    virtual PowerStatus read() = 0;
};

// Reads <sysfsRoot>/class/power_supply on every call:
// - AC line status 1 when some supply of type "Mains" reports online 1, 0 when
//   Mains supplies exist but none is online; without a Mains supply, 0 when a
//   system battery reports "Discharging", 1 otherwise (also with no battery:
//   a machine without battery and mains entry runs from the wall).
// - battery percent: mean of the system batteries' "capacity" (clamped to
//   0..100), 255 when none gives one.
// - batteries with scope "Device" (mice, headsets) and batteries whose
//   "present" reads 0 are not system batteries.
// Never null.
std::unique_ptr<PowerSource> makeSysfsPowerSource(const std::string& sysfsRoot);

// Same rules, one call, for code that has no PowerSource at hand.
PowerStatus readSysfsPowerStatus(const std::string& sysfsRoot);

}  // namespace orvana
