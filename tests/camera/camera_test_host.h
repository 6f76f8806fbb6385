// The main window stand-in of the camera tests: not headless, so the windows
// draw their pictures.
#pragma once

#include "tests/support/test_monitor_host.h"

namespace orvana::camera::testing {

using orvana::testing::SentMail;

class CameraTestHost final : public orvana::testing::TestMonitorHost<> {
  public:
    explicit CameraTestHost(TimeT start = 1700000000) : TestMonitorHost(start) {
        headlessMode = false;
    }
};

}  // namespace orvana::camera::testing
