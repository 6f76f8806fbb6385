#include "core/snapshot_name.h"

#include "core/app_settings.h"
#include "core/event_log.h"

namespace orvana {

std::string snapshotFileName(const std::string& dataDir, TimeT now, const std::string& suffix) {
    return joinDataPath(dataDir, formatLocal(now, "%Y年%m月%d日%H時%M分%S秒") + suffix);
}

std::string snapshotFileName(const SettingsStore& store, TimeT now, const std::string& suffix) {
    return snapshotFileName(store.getString(kSection, "DATA_DIR", ""), now, suffix);
}

}  // namespace orvana
