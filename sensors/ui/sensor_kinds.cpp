#include "sensors/ui/sensor_kinds.h"

#include "devlib/device_library_loader.h"

namespace orvana::sensors {

const MonitorKind kTemperatureKind{"temperature", ALERT_TEMP, MonitorSwitch::Temperature, COL_TEMP,
                                   30};
const MonitorKind kGeigerKind{"geiger", ALERT_GEIGER, MonitorSwitch::Geiger, COL_GEIGER, 40};
const MonitorKind kOwlKind{"owl", ALERT_OWL, MonitorSwitch::Owl, COL_OWL, 50};

void registerSensorMonitors(MonitorRegistry& registry, MonitorContext& context) {
    MonitorHost& host = context.host;
    DeviceLibraryLoader* loader = context.backends.get<DeviceLibraryLoader>();
    registry.add(std::make_unique<TemperatureKind>(
        kTemperatureKind, host,
        [&host, loader] { return std::make_unique<TemperatureMonitor>(host, loader, 0); },
        context.parent));
    registry.add(std::make_unique<GeigerKind>(
        kGeigerKind, host,
        [&host, loader] { return std::make_unique<GeigerMonitor>(host, loader, 0); },
        context.parent));
    VendorDatabase* db = context.backends.get<VendorDatabase>();
    registry.add(std::make_unique<OwlKind>(
        kOwlKind, host, [&host, db] { return std::make_unique<OwlMonitor>(host, db); },
        context.parent));
}

}  // namespace orvana::sensors
