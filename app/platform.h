// The one place that picks the production implementation of every
// platform facility.
#pragma once

#include "app/services.h"

namespace orvana {

namespace demo {
class DemoSession;
}

// The real clock, the per-user (or ORVANA_CONFIG) settings store, the
// desktop folder and the shipped manual. Needs a QApplication. UI thread.
Services makeSystemServices(const Overrides& overrides, bool headless);

// The demo's services (--demo): its settings file, data folder and log
// folder; simulated power supply, sound, cameras, meter, counter and vendor
// database; mail into its Maildir folder (or to the SMTP server of
// --smtp); no power-off, reboot or shutdown lock. The monitors, the mail
// sender and the rest are the real ones. `demo` outlives the services.
// Needs a QApplication. UI thread.
Services makeDemoServices(demo::DemoSession& demo, const Overrides& overrides, bool headless);

}  // namespace orvana
