// The one place that picks the production implementation of every
// platform facility.
#pragma once

#include "app/services.h"

namespace orvana {

// The real clock, the per-user (or ORVANA_CONFIG) settings store, the
// desktop folder and the shipped manual. Needs a QApplication. UI thread.
Services makeSystemServices(const Overrides& overrides, bool headless);

}  // namespace orvana
