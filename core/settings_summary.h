// The banner and settings summary written into the event list at start-up
// and after the settings dialog: the usage guide while nothing is set up,
// otherwise the "設定情報:" block.
#pragma once

#include <array>
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

// For a person at a console: one short line per box of the main window,
// "<label>：監視中" (running), "装置なし" (its device or source is missing;
// "電池なし" for the power-failure watch) or "オフ" (switched off), then one
// for mail: "メール：送信しない", or "メール：送信する（宛先 N 件、<server>）"
// where server is the own SMTP server or makerHost. canRun and running are
// indexed like kMonitorSwitches. Pure.
std::vector<std::string> ConsoleOverview(const AppSettings& s, const std::array<bool, 6>& canRun,
                                         const std::array<bool, 6>& running,
                                         const std::string& makerHost);

}  // namespace orvana
