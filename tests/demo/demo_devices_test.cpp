// The demo's simulated devices as the monitors meet them: the history files
// and the vendor database read by the sensor monitors' own readers, the
// meter and counter read through the demo's device libraries loaded by the
// program's loader, the counter growing by its rate, the vendor rows coming
// once a minute, and the settings the program loads.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/app_settings.h"
#include "demo/demo_devices.h"
#include "demo/demo_settings.h"
#include "devlib/device_library_loader.h"
#include "sensors/data_file.h"
#include "sensors/owl_database.h"
#include "sensors/sensor_records.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/temp_dir.h"

namespace orvana::demo {
namespace {

namespace fs = std::filesystem;
using orvana::testing::TempDir;

// A start in the middle of a minute, 2025-06-11 14:03:22.250 local time.
std::int64_t startMs() {
    return fromLocal(2025, 6, 11, 14, 3, 22) * 1000 + 250;
}

struct World {
    TempDir dir;
    DevicePaths paths;
    World() {
        paths = {dir / "devices", dir / "be.db", dir / "data"};
        fs::create_directories(paths.devices);
        fs::create_directories(paths.dataDir);
    }
};

int rows(const std::string& db) {
    sqlite3* h = nullptr;
    sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(h, "SELECT count(*) FROM energy_history", -1, &st, nullptr);
    const int n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(h);
    return n;
}

std::string slurp(const std::string& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The history is what the monitors load: a day of minutes ending at the
// start, whose last minute is above the radiation and power limits (so
// their first judgement, a minute or two in, raises the alarm).
TEST(DemoDevices, HistoryIsADayThatTheMonitorsReadersLoad) {
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    World w;
    const Schedule schedule(1);
    DemoDevices devices(w.paths, schedule, startMs());
    std::string error;
    ASSERT_TRUE(devices.writeHistory(error)) << error;

    const TimeT startMinute = fromLocal(2025, 6, 11, 14, 3, 0);
    CTempRecordArray temp;
    LoadResult r = readDataFile(w.paths.dataDir + "/TemperatureData.csv", temp);
    EXPECT_EQ(r.loaded, 1440u);
    EXPECT_EQ(r.skipped, 0u);
    ASSERT_EQ(temp.GetSize(), 1440);
    EXPECT_EQ(temp[temp.size() - 1].m_Time, startMinute);
    EXPECT_EQ(temp[0].m_Time, startMinute - 1439 * 60);
    EXPECT_LT(temp.GetTempMax(1440), kTemperatureLimit - 1);

    CGeigerRecordArray cpm;
    r = readDataFile(w.paths.dataDir + "/GeigerData.csv", cpm);
    EXPECT_EQ(r.loaded, 1440u);
    ASSERT_EQ(cpm.GetSize(), 1440);
    EXPECT_GT(cpm[cpm.size() - 1].m_Cpm, kRadiationLimit);
    EXPECT_LT(cpm[cpm.size() - 10].m_Cpm, kRadiationLimit - 20);

    // The power monitor's own reader, over the keep period of 192 hours.
    auto db = makeSqliteVendorDatabase(w.paths.vendorDb);
    EXPECT_TRUE(db->canOpen());
    COwlRecordArray power;
    const OwlCycleResult c = db->readCycle(power, startMinute - 192 * 3600);
    EXPECT_EQ(c.status, OwlCycleResult::Status::Read);
    ASSERT_EQ(power.GetSize(), 1440);
    EXPECT_EQ(power[power.size() - 1].m_Time, startMinute - 60);
    EXPECT_GT(power[power.size() - 1].m_Power, kPowerLimit);
    EXPECT_LT(power[power.size() - 10].m_Power, kPowerLimit - 0.2);
    EXPECT_NEAR(power[power.size() - 1].m_Power, devices.rowPowerKw(startMinute - 60), 1e-3);
}

TEST(DemoDevices, RowsComeOncePerCompletedMinuteAndTheCounterGrowsByItsRate) {
    World w;
    const Schedule schedule(1);
    DemoDevices devices(w.paths, schedule, startMs());
    std::string error;
    ASSERT_TRUE(devices.writeHistory(error)) << error;
    ASSERT_EQ(rows(w.paths.vendorDb), 1440);
    const std::string counter = w.paths.devices + "/counter";
    EXPECT_EQ(slurp(counter), "0\n");

    // 14:03:22.25 + 30 s: the minute is not complete yet.
    for (int t = 1; t <= 30; ++t)
        devices.advance(t);
    EXPECT_EQ(rows(w.paths.vendorDb), 1440);
    // The minute 14:03 completes at t = 37.75; a second call in 14:04 adds nothing more.
    devices.advance(38);
    EXPECT_EQ(rows(w.paths.vendorDb), 1441);
    devices.advance(39);
    EXPECT_EQ(rows(w.paths.vendorDb), 1441);
    // A stall of three minutes: every missed minute is written.
    devices.advance(38 + 180);
    EXPECT_EQ(rows(w.paths.vendorDb), 1444);
    EXPECT_TRUE(devices.lastError().empty()) << devices.lastError();

    // The counter's count is the rate integrated (about 220 a minute at the
    // start, then about 31).
    double expected = 0;
    for (int t = 1; t <= 39; ++t)
        expected += schedule.countsPerMinute(t) / 60.0;
    expected += schedule.countsPerMinute(38 + 180) * 179 / 60.0;
    EXPECT_NEAR(std::stod(slurp(counter)), expected, 2.0);

    // Cleared by its library: counted on from zero.
    std::ofstream(counter) << "0\n";
    devices.advance(38 + 240);
    const double after = std::stod(slurp(counter));
    EXPECT_NEAR(after, schedule.countsPerMinute(38 + 240) * 60 / 60.0, 2.0);
    // Time that goes backwards counts nothing.
    devices.advance(100);
    EXPECT_EQ(std::stod(slurp(counter)), after);
}

TEST(DemoDevices, TheDemoLibrariesReadTheDevicesTheDemoWrites) {
    World w;
    ::setenv("ORVANA_DEMO_DEVICES", w.paths.devices.c_str(), 1);
    const Schedule schedule(10);
    DemoDevices devices(w.paths, schedule, startMs());
    std::string error;
    ASSERT_TRUE(devices.writeHistory(error)) << error;
    const double hot = schedule.episode(EpisodeKind::HighTemperature).first + 1;
    devices.advance(hot);

    // The program's loader, told to look only in the demo's folder.
    FolderLibraryLoader loader({ORVANA_DEMO_LIB_DIR}, false);
    auto meter = loader.load("libkelvaro.so", error);
    ASSERT_TRUE(meter) << error;
    auto counter = loader.load("libruvasko.so", error);
    ASSERT_TRUE(counter) << error;
    EXPECT_EQ(meter->file(), std::string(ORVANA_DEMO_LIB_DIR) + "/libkelvaro.so");

    using FindFn = char*(int*);
    using FreeFn = void(char*);
    using TempFn = int(const char*, double*, double*);
    using CountFn = int(const char*, std::uint32_t*, std::uint32_t*);
    auto* findMeter = meter->function<FindFn>("FindUSB");
    auto* freeMeter = meter->function<FreeFn>("FreeString");
    auto* read = meter->function<TempFn>("GetTempHumidTrue");
    auto* findCounter = counter->function<FindFn>("FindUSB");
    auto* freeCounter = counter->function<FreeFn>("FreeString");
    auto* count = counter->function<CountFn>("GetCountTime");
    ASSERT_TRUE(findMeter && freeMeter && read && findCounter && freeCounter && count);

    int index = 0;
    char* path = findMeter(&index);
    ASSERT_NE(path, nullptr);
    const std::string meterPath = path;
    freeMeter(path);
    EXPECT_EQ(meterPath, w.paths.devices + "/meter");
    EXPECT_EQ(index, 1);
    path = findMeter(&index);  // one meter only
    EXPECT_STREQ(path, "");
    EXPECT_EQ(index, 0);
    freeMeter(path);

    double t = 0, h = 0;
    ASSERT_EQ(read(meterPath.c_str(), &t, &h), 0);
    EXPECT_DOUBLE_EQ(t, schedule.temperature(hot));
    EXPECT_GT(t, kTemperatureLimit);
    EXPECT_DOUBLE_EQ(h, schedule.humidity(hot));

    index = 0;
    path = findCounter(&index);
    const std::string counterPath = path;
    freeCounter(path);
    EXPECT_EQ(counterPath, w.paths.devices + "/counter");
    devices.advance(hot + 30);
    std::uint32_t n = 0, deviceTime = 0;
    ASSERT_EQ(count(counterPath.c_str(), &n, &deviceTime), 0);
    EXPECT_EQ(std::to_string(n) + "\n", slurp(counterPath));
    EXPECT_GT(n, 0u);

    // A device whose file is gone is not found and does not read, as an
    // unplugged one.
    fs::remove(meterPath);
    index = 0;
    path = findMeter(&index);
    EXPECT_STREQ(path, "");
    freeMeter(path);
    EXPECT_EQ(read(meterPath.c_str(), &t, &h), -1);
    EXPECT_EQ(t, 0.0);
    // ... and the next advance plugs it back in.
    devices.advance(hot + 31);
    EXPECT_EQ(read(meterPath.c_str(), &t, &h), 0);
}

// The program loads the demo's settings without resetting any value, mails
// every kind of notice to someone, and leaves the attachments as they come.
TEST(DemoSettings, TheProgramLoadsThemAsWrittenWithARecipientForEveryKind) {
    orvana::testing::MemorySettingsStore store;
    ASSERT_TRUE(writeDemoSettings(store, "/tmp/demo-data", ""));
    std::vector<std::string> reset;
    const AppSettings s = LoadSettings(store, fromLocal(2025, 6, 11, 14, 3, 22), "/desk", &reset);
    EXPECT_TRUE(reset.empty()) << reset.front();
    EXPECT_EQ(s.working, 1);
    EXPECT_EQ(s.dataDir, "/tmp/demo-data");
    EXPECT_EQ(s.attach, defaultAttachMatrix());
    EXPECT_EQ(s.checkRB, 0);
    bool abnormal = false, periodic = false, management = false;
    for (const CUserAddress& a : s.addresses) {
        abnormal |= a.m_bIjyou == 1;
        periodic |= a.m_bTeiki == 1;
        management |= a.m_bKanri == 1;
    }
    EXPECT_TRUE(abnormal && periodic && management);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(s.useFlag(static_cast<MonitorSwitch>(k)), 1) << k;
    // The maker's account for the Maildir; with a server, the own account
    // without login or TLS.
    EXPECT_EQ(s.useQuellorSmtp, 0);
    orvana::testing::MemorySettingsStore withServer;
    ASSERT_TRUE(writeDemoSettings(withServer, "/tmp/demo-data", "127.0.0.1:2525"));
    const AppSettings o = LoadSettings(withServer, 0, "/desk", &reset);
    EXPECT_EQ(o.useQuellorSmtp, 1);
    EXPECT_EQ(o.smtp, "127.0.0.1:2525");
    EXPECT_EQ(o.portNum, 0);
    EXPECT_EQ(o.enableSsl, 0);
}

}  // namespace
}  // namespace orvana::demo
