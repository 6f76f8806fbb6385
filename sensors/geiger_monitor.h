// The radiation monitor without its window (CGeigerDlg): the counter library
// bound by file name, the cumulative count polled every 10 s and turned into
// one record per minute change (the counts since the previous one), the
// title with a moving average, and one alarm on that average, section
// "Geiger", ALERT_GEIGER.
//
// The record is the number of counts between two successive minute changes
// seen by the polling, stamped with the time of the poll that saw the
// change. The first minute change after opening only sets the baseline. The
// alarm is evaluated once a minute, when a record is added, on the average
// taken before that record. While the series is empty there is no average:
// the title shows 0.00 and the alarm is not evaluated.
//
// Threads: UI thread only.
#pragma once

#include <cstdint>

#include "devlib/device_library_loader.h"
#include "sensors/device_binding.h"
#include "sensors/device_watch.h"
#include "sensors/sensor_monitor.h"
#include "sensors/sensor_records.h"

namespace orvana::sensors {

extern const SensorKindData kGeigerKindData;

class GeigerMonitor final : public SeriesMonitor<CGeigerRecordArray> {
  public:
    // Binds "libruvasko.so" through `loader` (null: no library). The last
    // time starts at the construction time. host and loader outlive the
    // monitor.
    GeigerMonitor(MonitorHost& host, DeviceLibraryLoader* loader, int deviceIndex = 0);

    int CheckDevice() override;
    std::string statusBlock() const override;

    TYPE_OF_GEIGER_SENSOR TypeOfSensor() const { return library_.TypeOfSensor(); }
    const std::string& devicePath() const { return watch_.path(); }
    const DeviceWatch& deviceWatch() const { return watch_; }

    // The title for a count, an average and a window of w records.
    static std::string TitleText(int count, double average, int w);

    // Section "Geiger", in writing order after "mNotify".
    int AutoYScale;
    double CpmMin, CpmDiv, CpmWarnHi, CpmHist;
    int bCpmWarnHi;  // any non-zero value is on (the default is 100); read as 0..100
    int PeriodL, PeriodS;
    int MaTypeS1, MaTypeL1, MaTypeS2, MaTypeL2, MaTypeWarn;

    // The baseline state: the count at the previous minute record, the time
    // of the poll that made it, and whether the baseline is still to come.
    std::int32_t m_lastCount = 0;
    TimeT m_lastTime = 0;
    bool m_firstReading = true;

  protected:
    Cycle Measure() override;
    void FindDevice() override { watch_.find(); }

  private:
    CounterLibrary library_;
    int deviceIndex_;
    DeviceWatch watch_;
};

}  // namespace orvana::sensors
