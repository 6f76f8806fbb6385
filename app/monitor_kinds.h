// Every monitor kind of this build, in the order their folders declared
// them (orvana_register_monitor in each folder's CMakeLists.txt); the
// registry then orders them by start order. The definition is generated.
#pragma once

#include "widgets/monitor_context.h"

namespace orvana {

// Adds every kind to registry. UI thread.
void registerMonitorKinds(MonitorRegistry& registry, MonitorContext& context);

}  // namespace orvana
