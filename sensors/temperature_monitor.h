// The temperature/humidity monitor without its window (CTemperatureDlg): the
// meter library bound by file name, a reading every 10 s into one record per
// minute, the title text, and four independent alarms (high and low
// temperature, high and low humidity), section "Temperature", ALERT_TEMP.
//
// Threads: UI thread only.
#pragma once

#include <memory>

#include "devlib/device_library_loader.h"
#include "sensors/device_binding.h"
#include "sensors/device_watch.h"
#include "sensors/sensor_monitor.h"
#include "sensors/sensor_records.h"

namespace orvana::sensors {

extern const SensorKindData kTemperatureKindData;

class TemperatureMonitor final : public SeriesMonitor<CTempRecordArray> {
  public:
    // Binds "libkelvaro.so" through `loader` (null: no library, the monitor
    // cannot run). deviceIndex: where the meter search starts (the main
    // window passes 0). host and loader outlive the monitor.
    TemperatureMonitor(MonitorHost& host, DeviceLibraryLoader* loader, int deviceIndex = 0);

    // Meters attached; 0 when the library is not bound.
    int CheckDevice() override;
    std::string statusBlock() const override;

    TYPE_OF_TEMP_SENSOR TypeOfSensor() const { return library_.TypeOfSensor(); }
    const MeterLibrary& library() const { return library_; }
    // The device path in use ("" when no meter was found).
    const std::string& devicePath() const { return watch_.path(); }
    const DeviceWatch& deviceWatch() const { return watch_; }

    // Section "Temperature", in writing order after "mNotify".
    int TempAutoYScale;
    double TempMin, TempDiv, TempWarnLo, TempWarnHi, TempHist;
    int bTempWarnLo, bTempWarnHi;
    int HumidAutoYScale;
    double HumidMin, HumidDiv, HumidWarnLo, HumidWarnHi, HumidHist;
    int bHumidWarnLo, bHumidWarnHi;
    int PeriodL, PeriodS;

    // Alarm order in alarms(): high and low temperature, high and low
    // humidity.
    enum { kTempHigh, kTempLow, kHumidHigh, kHumidLow };

  protected:
    Cycle Measure() override;
    void FindDevice() override { watch_.find(); }

  private:
    MeterLibrary library_;
    int deviceIndex_;
    DeviceWatch watch_;
};

}  // namespace orvana::sensors
