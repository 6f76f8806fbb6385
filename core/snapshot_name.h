// Names of snapshot files. Every name carries a "#", which the housekeeping
// relies on to tell pictures from logs and data files.
#pragma once

#include <string>

#include "core/clock.h"
#include "core/settings_store.h"

namespace orvana {

// dataDir + "/" + local time as "%Y年%m月%d日%H時%M分%S秒" + suffix; without a
// folder part when dataDir is empty (the file lands in the current folder).
std::string snapshotFileName(const std::string& dataDir, TimeT now, const std::string& suffix);

// The same with "DATA_DIR" read from the store at this moment. Any thread.
std::string snapshotFileName(const SettingsStore& store, TimeT now, const std::string& suffix);

}  // namespace orvana
