// The banner and settings summary written into the event list at start-up
// and after the settings dialog: the usage guide while nothing is set up,
// otherwise the "設定情報:" block.
#pragma once

#include <string>
#include <vector>

#include "core/app_settings.h"
#include "core/clock.h"

namespace orvana {

struct ReportLine {
    std::string text;
    int stampMode;  // as EventLog::Report
};

// The lines in order. keepAliveRef is shown as the KeepAlive start time.
// Pure; any thread.
std::vector<ReportLine> SettingsSummary(const AppSettings& s, TimeT keepAliveRef);

}  // namespace orvana
