// The main window stand-in of the sound tests.
#pragma once

#include "tests/support/test_monitor_host.h"

namespace orvana::sound::testing {

using orvana::testing::SentMail;
using TestHost = orvana::testing::TestMonitorHost<>;

}  // namespace orvana::sound::testing
