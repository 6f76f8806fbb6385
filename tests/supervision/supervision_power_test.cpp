// Power status from a fake power_supply tree, and the power watch of the
// supervision tick: failure, recovery and battery shutdown.
#include <gtest/gtest.h>

#include "supervision/power_status.h"
#include "supervision/supervisor.h"
#include "tests/supervision/supervision_fixtures.h"

namespace orvana::testing {
namespace {

TEST(PowerStatusSysfs, MainsOnlineDecidesAndBatteryGivesPercent) {
    FakeSysfs fs;
    fs.laptop(1, 80);
    PowerStatus st = readSysfsPowerStatus(fs.root());
    EXPECT_EQ(st.acLineStatus, 1);
    EXPECT_EQ(st.batteryLifePercent, 80);
    EXPECT_TRUE(st.batteryPresent);

    // The battery may still say "Charging" for a moment; mains decides.
    fs.plug(0);
    st = readSysfsPowerStatus(fs.root());
    EXPECT_EQ(st.acLineStatus, 0);

    // A second adapter (USB-C) online is enough.
    fs.set("ucsi-source-psy-1", "type", "Mains");
    fs.set("ucsi-source-psy-1", "online", "1");
    EXPECT_EQ(readSysfsPowerStatus(fs.root()).acLineStatus, 1);
}

TEST(PowerStatusSysfs, WithoutMainsEntryTheBatteryStatusDecides) {
    FakeSysfs fs;
    fs.set("BAT1", "type", "Battery");
    fs.set("BAT1", "capacity", "55");
    fs.set("BAT1", "status", "Discharging");
    EXPECT_EQ(readSysfsPowerStatus(fs.root()).acLineStatus, 0);
    for (const char* s : {"Charging", "Full", "Not charging", "Unknown"}) {
        fs.set("BAT1", "status", s);
        EXPECT_EQ(readSysfsPowerStatus(fs.root()).acLineStatus, 1) << s;
    }
}

TEST(PowerStatusSysfs, NoSystemBattery) {
    FakeSysfs fs;
    // A desktop: nothing at all, or only a wireless mouse's battery.
    PowerStatus st = readSysfsPowerStatus(fs.root());
    EXPECT_FALSE(st.batteryPresent);
    EXPECT_EQ(st.batteryLifePercent, 255);
    EXPECT_EQ(st.acLineStatus, 1);

    fs.set("hidpp_battery_0", "type", "Battery");
    fs.set("hidpp_battery_0", "scope", "Device");
    fs.set("hidpp_battery_0", "capacity", "5");
    fs.set("hidpp_battery_0", "status", "Discharging");
    st = readSysfsPowerStatus(fs.root());
    EXPECT_FALSE(st.batteryPresent);
    EXPECT_EQ(st.batteryLifePercent, 255);
    EXPECT_EQ(st.acLineStatus, 1);

    // An empty battery bay.
    fs.set("BAT0", "type", "Battery");
    fs.set("BAT0", "present", "0");
    EXPECT_FALSE(readSysfsPowerStatus(fs.root()).batteryPresent);

    EXPECT_FALSE(readSysfsPowerStatus(fs.root() + "/does-not-exist").batteryPresent);
}

TEST(PowerStatusSysfs, CapacityUnknownGarbledOrSeveralBatteries) {
    FakeSysfs fs;
    fs.laptop(1, 40);
    fs.remove("BAT0", "capacity");
    EXPECT_EQ(readSysfsPowerStatus(fs.root()).batteryLifePercent, 255);
    EXPECT_TRUE(readSysfsPowerStatus(fs.root()).batteryPresent);
    fs.set("BAT0", "capacity", "forty");
    EXPECT_EQ(readSysfsPowerStatus(fs.root()).batteryLifePercent, 255);
    fs.set("BAT0", "capacity", "120");
    EXPECT_EQ(readSysfsPowerStatus(fs.root()).batteryLifePercent, 100);
    fs.set("BAT0", "capacity", "30");
    fs.set("BAT1", "type", "Battery");
    fs.set("BAT1", "capacity", "61");
    EXPECT_EQ(readSysfsPowerStatus(fs.root()).batteryLifePercent, 45);
}

// The tick against the production sysfs reader.
class PowerWatch : public ::testing::Test {
  protected:
    PowerWatch()
        : clock(fromLocal(2026, 1, 14, 12, 0, 0)),
          host(clock),
          power(makeSysfsPowerSource(sysfs.root())),
          shutdown(host.st, &host.events),
          sup(host, clock, *power, shutdown) {
        host.log.setDataDir(logDir.path());
        host.s.checkTK = 0;  // no periodic notice in these cases
    }
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            sup.OnTimer();
            clock.advance(std::chrono::milliseconds(200));
        }
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const auto& r : host.reports)
            t.push_back(r.text);
        return t;
    }

    ScratchDir logDir;
    FakeSysfs sysfs;
    VirtualClock clock;
    TestHost host;
    std::unique_ptr<PowerSource> power;
    RecordingShutdown shutdown;
    Supervisor sup;
};

const std::string kDashes = "---------------------------------------";

TEST_F(PowerWatch, UnplugAndPlugGiveOneNoticeEachWithSeparators) {
    ASSERT_EQ(kDashes.size(), 39u);
    sysfs.laptop(1, 90);
    tick(3);
    EXPECT_TRUE(host.reports.empty());
    EXPECT_EQ(sup.state().prevMains, 1);

    sysfs.plug(0);
    tick(10);
    ASSERT_EQ(host.reports.size(), 2u);
    EXPECT_EQ(host.reports[0].text, kDashes);
    EXPECT_EQ(host.reports[0].stampMode, 0);
    EXPECT_EQ(host.reports[1].text, ">>>停電発生<<<");
    EXPECT_EQ(host.reports[1].stampMode, 2);
    ASSERT_EQ(host.mails.size(), 1u);
    EXPECT_EQ(host.mails[0].kind, ALERT_POW);
    EXPECT_EQ(host.mails[0].title, "停電発生");
    EXPECT_EQ(host.mails[0].text, "停電が発生しました。");
    EXPECT_EQ(host.mails[0].timeFormat, 2);

    sysfs.plug(1);
    tick(10);
    ASSERT_EQ(host.reports.size(), 4u);
    EXPECT_EQ(host.reports[2].text, "<<<停電から復帰>>>");
    EXPECT_EQ(host.reports[2].stampMode, 2);
    EXPECT_EQ(host.reports[3].text, kDashes);
    EXPECT_EQ(host.reports[3].stampMode, 0);
    ASSERT_EQ(host.mails.size(), 2u);
    EXPECT_EQ(host.mails[1].kind, ALERT_POW);
    EXPECT_EQ(host.mails[1].title, "電力回復");
    EXPECT_EQ(host.mails[1].text, "停電から復帰しました。");
    EXPECT_TRUE(shutdown.calls.empty());

    // The lines reached the daily log too, stamped.
    const std::string logText = readFile(host.log.logFilePathFor(clock.now()));
    const auto failure = logText.find(" >>>停電発生<<<\r\n");
    ASSERT_NE(failure, std::string::npos);
    EXPECT_LT(logText.find(kDashes + "\r\n"), failure) << "separator before the failure";
    const std::string tail = "<<<停電から復帰>>>\r\n" + kDashes + "\r\n";
    ASSERT_GE(logText.size(), tail.size());
    EXPECT_EQ(logText.substr(logText.size() - tail.size()), tail) << "separator after recovery";
    EXPECT_EQ(host.updates, 23) << "controls are read on every tick";
}

TEST_F(PowerWatch, FirstTickNeverNotifies) {
    sysfs.laptop(0, 90, "Discharging");
    tick(5);
    EXPECT_TRUE(host.reports.empty());
    EXPECT_EQ(sup.state().prevMains, 0);
    sysfs.plug(1);
    tick();
    ASSERT_EQ(host.mails.size(), 1u);
    EXPECT_EQ(host.mails[0].title, "電力回復");
}

TEST_F(PowerWatch, WatchOffStillTracksStateSilently) {
    host.s.usePowerDown = 0;
    host.s.autoShutdown = 0;
    sysfs.laptop(1, 90);
    tick();
    sysfs.plug(0);
    tick();
    EXPECT_EQ(sup.state().prevMains, 0);
    // Switched on while on battery: plugging in is a recovery.
    host.s.usePowerDown = 1;
    sysfs.plug(1);
    tick();
    ASSERT_EQ(host.mails.size(), 1u);
    EXPECT_EQ(host.mails[0].title, "電力回復");
}

TEST_F(PowerWatch, BatteryShutdownBelowTheLimitOnlyOnce) {
    host.s.usePowerDown = 0;
    host.s.autoShutdown = 1;
    host.s.batteryLimit = 10;
    sysfs.laptop(1, 50);
    tick();
    sysfs.plug(0);
    tick(3);
    EXPECT_TRUE(host.reports.empty()) << "no failure notice with the watch off";

    sysfs.capacity(10);  // exactly at the limit
    tick(5);
    EXPECT_TRUE(host.reports.empty());
    EXPECT_TRUE(shutdown.calls.empty());

    sysfs.capacity(9);
    tick();
    const std::string msg = "監視PCの電池残量が規定値以下になったため、PCをシャットダウンします。";
    ASSERT_EQ(host.reports.size(), 1u);
    EXPECT_EQ(host.reports[0].text, msg);
    EXPECT_EQ(host.reports[0].stampMode, 1);
    ASSERT_EQ(host.mails.size(), 1u);
    EXPECT_EQ(host.mails[0].kind, ALERT_KANRI);
    EXPECT_EQ(host.mails[0].title, "緊急シャットダウン");
    EXPECT_EQ(host.mails[0].text, msg);
    ASSERT_EQ(shutdown.calls.size(), 1u);
    EXPECT_EQ(shutdown.calls[0].reboot, 0);
    EXPECT_EQ(shutdown.calls[0].force, 1);
    EXPECT_EQ(shutdown.calls[0].markerAtCall, 2) << "REBOOT = 2 before the power-off";
    EXPECT_GE(host.st.syncs, 1) << "the marker is flushed before the machine goes down";
    const std::vector<std::string> order = {"report:" + msg, "mail:7:緊急シャットダウン", "wait",
                                            "poweroff"};
    EXPECT_EQ(host.events, order) << "the notice is handed to the sender first";
    EXPECT_EQ(sup.state().batteryShutdownDone, 1);

    // The machine did not go down: no second attempt in this run.
    sysfs.capacity(3);
    tick(20);
    EXPECT_EQ(shutdown.calls.size(), 1u);
    EXPECT_EQ(host.mails.size(), 1u);
}

TEST_F(PowerWatch, BatteryShutdownNeedsAKnownLevelAndAPreviousBatteryTick) {
    host.s.autoShutdown = 1;
    host.s.batteryLimit = 100;
    host.s.usePowerDown = 0;
    // Started on battery at 5 %: the first tick knows no previous state.
    sysfs.laptop(0, 5, "Discharging");
    sup.OnTimer();
    EXPECT_TRUE(shutdown.calls.empty());
    // 255 = no value: never, whatever the limit.
    sysfs.remove("BAT0", "capacity");
    tick(10);
    EXPECT_TRUE(shutdown.calls.empty());
    sysfs.capacity(5);
    tick();
    EXPECT_EQ(shutdown.calls.size(), 1u);
}

TEST_F(PowerWatch, FailureWinsOverShutdownInTheSameTick) {
    host.s.autoShutdown = 1;
    host.s.batteryLimit = 50;
    sysfs.laptop(1, 20);
    tick();
    sysfs.plug(0);
    tick();  // failure notice only: the shutdown case needs a previous battery tick
    EXPECT_EQ(host.mails.size(), 1u);
    EXPECT_TRUE(shutdown.calls.empty());
    tick();
    ASSERT_EQ(shutdown.calls.size(), 1u);
    EXPECT_EQ(host.mails.back().title, "緊急シャットダウン");
}

}  // namespace
}  // namespace orvana::testing
