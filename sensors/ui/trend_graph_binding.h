// Between the sensor monitors and what the windows show of them: the
// monitors' settings as the trend graphs' inputs and as the settings
// dialogs' values, and those values copied back after OK. The windows'
// graph painting and "設定..." handling (CTemperatureDlg, CGeigerDlg,
// COwlDlg: DrawGraphAll, EditSettings) are defined with them.
//
// Threads: UI thread.
#pragma once

#include "sensors/geiger_monitor.h"
#include "sensors/graph/trend_graph.h"
#include "sensors/owl_monitor.h"
#include "sensors/temperature_monitor.h"
#include "sensors/ui/dlg_geiger_setting.h"
#include "sensors/ui/dlg_owl_setting.h"
#include "sensors/ui/dlg_temp_setting.h"

namespace orvana::sensors {

TempGraphInput graphInputOf(const TemperatureMonitor& m);
GeigerGraphInput graphInputOf(const GeigerMonitor& m);
OwlGraphInput graphInputOf(const OwlMonitor& m);

TempSettingValues settingValuesOf(const TemperatureMonitor& m);
GeigerSettingValues settingValuesOf(const GeigerMonitor& m);
OwlSettingValues settingValuesOf(const OwlMonitor& m);

// All edited values into the monitor's settings (alarm states untouched).
void applySettingValues(const TempSettingValues& v, TemperatureMonitor& m);
void applySettingValues(const GeigerSettingValues& v, GeigerMonitor& m);
void applySettingValues(const OwlSettingValues& v, OwlMonitor& m);

}  // namespace orvana::sensors
