// The main window stand-in of the sensor monitor tests: keeps the order of
// the settings writes, and every mail asks for the time form 2.
#pragma once

#include "tests/support/test_monitor_host.h"

namespace orvana::sensors::testing {

using orvana::testing::OrderedSettingsStore;
using orvana::testing::SentMail;

class SensorTestHost final : public orvana::testing::TestMonitorHost<OrderedSettingsStore> {
  public:
    explicit SensorTestHost(TimeT start) : TestMonitorHost(start) { expectedTimeFormat = 2; }
};

}  // namespace orvana::sensors::testing
