#include <gtest/gtest.h>

#include "core/snapshot_name.h"
#include "tests/support/memory_settings_store.h"

namespace orvana {
namespace {

TEST(SnapshotName, StampSuffixAndFolder) {
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
    const TimeT t = fromLocal(2016, 3, 5, 14, 5, 9);
    EXPECT_EQ(snapshotFileName("/data", t, "#win.jpg"), "/data/2016年03月05日14時05分09秒#win.jpg");
    for (const char* suffix :
         {"#win.jpg", "#Vol.jpg", "#temp.jpg", "#geiger.jpg", "#Power.jpg", "#Cam3.jpg"}) {
        const std::string name = snapshotFileName("/d", t, suffix);
        EXPECT_NE(name.find('#'), std::string::npos) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".jpg");
    }
}

TEST(SnapshotName, FolderReadFromTheStoreAtThatMoment) {
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
    testing::MemorySettingsStore store;
    const TimeT t = fromLocal(2016, 3, 5, 14, 5, 9);
    EXPECT_EQ(snapshotFileName(store, t, "#Vol.jpg"), "2016年03月05日14時05分09秒#Vol.jpg");
    store.writeString("Setting", "DATA_DIR", "/x/y/");
    EXPECT_EQ(snapshotFileName(store, t, "#Vol.jpg"), "/x/y/2016年03月05日14時05分09秒#Vol.jpg");
}

}  // namespace
}  // namespace orvana
