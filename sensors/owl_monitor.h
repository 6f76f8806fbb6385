// The power monitor without its window (COwlDlg): it has no device of its
// own; every 30 s it reads the new one-minute rows of the OWL vendor's
// energy history (VendorDatabase, sensors/owl_database.h) into its series as
// power in kW, shows a moving average in the title, and watches a high and a
// low power alarm with one shared hysteresis, section "Owl", ALERT_OWL.
//
// While the series is empty there is no average: the title shows 0.000 and
// the alarms are not evaluated.
//
// Threads: UI thread only. A cycle may block for the database's busy
// time-out while the vendor's software writes.
#pragma once

#include <string>

#include "sensors/owl_database.h"
#include "sensors/sensor_monitor.h"
#include "sensors/sensor_records.h"

namespace orvana::sensors {

extern const SensorKindData kOwlKindData;

class OwlMonitor final : public SeriesMonitor<COwlRecordArray> {
  public:
    // db: the vendor database (null: the monitor cannot run). host and db
    // outlive the monitor. The device index of the other monitors has no
    // meaning here.
    OwlMonitor(MonitorHost& host, VendorDatabase* db);

    // 1 when the database can be opened now (bDB is then set and stays
    // set), else 0. Never creates or changes the file.
    int CheckDevice() override;
    std::string statusBlock() const override;

    // The title for an average a over a window of w records.
    static std::string TitleText(double a, int w);
    // The estimated cost of a graph spanning `spanMinutes`: CostPerKW times
    // the average power over the newest spanMinutes records times the span
    // in hours (0 for an empty series).
    double EstimatedCost(int spanMinutes) const;
    // Its line in the graph: "概算電力料金(%d時間):%6.1f[円] " below a day,
    // "概算電力料金(%d日間):%6.1f[円] " from a day on.
    std::string CostText(int spanMinutes) const;
    // The last cycle's outcome.
    const OwlCycleResult& lastCycle() const { return last_; }

    // The database was opened once (CheckDevice); never cleared.
    bool bDB = false;

    // Section "Owl", in writing order after "mNotify".
    double CostPerKW;
    int AutoYScale;
    double Ymin, Ymax, Ystep;
    int PeriodL, MaTypeL1, MaTypeL2, PeriodR, MaTypeR1, MaTypeR2;
    int WarnMaType;
    int WarnHiEnable, WarnLoEnable;
    double WarnLoTh, WarnHiTh, WarnHiste;

    enum { kHigh, kLow };  // order in alarms()

  protected:
    Cycle Measure() override;

  private:
    VendorDatabase* db_;
    OwlCycleResult last_;
};

}  // namespace orvana::sensors
