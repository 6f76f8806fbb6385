// The demo's power supply: a machine with a battery that runs on mains
// except during the schedule's mains-loss episodes, when the battery slowly
// drains (never below half). Reads the schedule at the seconds since the demo
// started, as told by `elapsed`.
#pragma once

#include <functional>
#include <memory>

#include "demo/demo_schedule.h"
#include "supervision/power_status.h"

namespace orvana::demo {

// `elapsed` gives the seconds since the demo started (it may be called at
// any time). read() never fails. UI thread. Never null.
std::unique_ptr<PowerSource> makeDemoPowerSource(Schedule schedule,
                                                 std::function<double()> elapsed);

}  // namespace orvana::demo
