// The radiation monitor without a window, over the stand-in counter library
// and a virtual clock: the baseline minute, one record per minute change,
// the reset rule, the title forms, the alarm on the average taken before the
// new record, and a counter that goes away and comes back.
#include <gtest/gtest.h>

#include "sensors/geiger_monitor.h"
#include "tests/sensors/sensor_test_host.h"
#include "tests/sensors/standin_devices.h"
#include "tests/sensors/test_dirs.h"

namespace orvana::sensors {
namespace {

using testing::SensorTestHost;
using testing::StandinDevices;

const std::string kSep = "---------------------------------------";

class GeigerTest : public ::testing::Test {
  protected:
    // Constructed at 11:59:55, so the poll at 12:00:05 sees the first minute
    // change and takes the baseline.
    GeigerTest() : tz_("Asia/Tokyo"), host_(fromLocal(2026, 5, 3, 11, 59, 55)) {
        host_.store_.writeString("Setting", "DATA_DIR", data_.path());
        devices_.counter("counter0", 1000);
    }

    GeigerMonitor& open() {
        monitor_ = std::make_unique<GeigerMonitor>(host_, loader_.get(), 0);
        monitor_->LoadSettings();
        monitor_->mNotify = 1;
        monitor_->Open();
        return *monitor_;
    }
    // A poll at hh:mm:ss of the test day with the counter at `count`.
    int pollAt(int h, int m, int s, long count) {
        devices_.counter("counter0", count);
        host_.clock_.setNow(fromLocal(2026, 5, 3, h, m, s));
        return monitor_->DoMeasure();
    }

    orvana::testing::ScopedTz tz_;
    orvana::testing::TempDir data_;
    StandinDevices devices_;
    std::unique_ptr<DeviceLibraryLoader> loader_ = StandinDevices::loader();
    SensorTestHost host_;
    std::unique_ptr<GeigerMonitor> monitor_;
};

TEST_F(GeigerTest, TheFirstMinuteChangeSetsTheBaselineAndEachLaterOneAddsItsCounts) {
    GeigerMonitor& m = open();
    EXPECT_EQ(m.title(), "放射線数：1000 (   0.00[CPM]:1時間平均)");
    EXPECT_EQ(pollAt(12, 0, 5, 1000), 0);  // baseline
    EXPECT_TRUE(m.series().empty());
    EXPECT_EQ(pollAt(12, 0, 15, 1012), 0);
    EXPECT_EQ(pollAt(12, 0, 55, 1025), 0);
    EXPECT_EQ(m.title(), "放射線数：1025 (   0.00[CPM]:1時間平均)");  // only the title
    EXPECT_TRUE(m.series().empty());

    EXPECT_EQ(pollAt(12, 1, 5, 1030), 1);
    EXPECT_EQ(pollAt(12, 1, 15, 1040), 0);
    EXPECT_EQ(pollAt(12, 2, 5, 1061), 1);
    ASSERT_EQ(m.series().GetSize(), 2);
    EXPECT_EQ(m.series()[0].m_Time, fromLocal(2026, 5, 3, 12, 1, 5));
    EXPECT_EQ(m.series()[0].m_Cpm, 30.0);
    EXPECT_EQ(m.series()[1].m_Time, fromLocal(2026, 5, 3, 12, 2, 5));
    EXPECT_EQ(m.series()[1].m_Cpm, 31.0);
    // The average in the title was taken before this poll's record.
    EXPECT_EQ(m.title(), "放射線数：1061 (  30.00[CPM]:1時間平均)");
    EXPECT_EQ(m.statusBlock(),
              "放射線：31[CPM]\r\n  24H(min:30[CPM],ave:30.5[CPM],max:31[CPM])\r\n\r\n");
    EXPECT_TRUE(host_.lines().empty());
}

TEST_F(GeigerTest, OnlyTheMinuteFieldIsCompared) {
    GeigerMonitor& m = open();
    pollAt(12, 0, 5, 1000);
    // An hour later in the same minute-of-hour: no change seen.
    EXPECT_EQ(pollAt(13, 0, 30, 1500), 0);
    EXPECT_TRUE(m.series().empty());
    EXPECT_EQ(pollAt(13, 1, 0, 1600), 1);
    EXPECT_EQ(m.series()[0].m_Cpm, 600.0);
}

TEST_F(GeigerTest, ACounterThatWasClearedCountsFromZeroNeverNegative) {
    GeigerMonitor& m = open();
    pollAt(12, 0, 5, 4000);
    pollAt(12, 1, 5, 5000);
    pollAt(12, 2, 5, 20);
    ASSERT_EQ(m.series().GetSize(), 2);
    EXPECT_EQ(m.series()[1].m_Cpm, 20.0);

    // Cleared between two polls of one minute: the next record counts from
    // zero.
    pollAt(12, 2, 35, 10);
    pollAt(12, 3, 5, 25);
    EXPECT_EQ(m.series()[2].m_Cpm, 25.0);
}

TEST_F(GeigerTest, TheTitleNamesTheAveragingWindow) {
    GeigerMonitor& m = open();
    pollAt(12, 0, 5, 1000);
    pollAt(12, 1, 5, 1030);
    pollAt(12, 2, 5, 1061);
    pollAt(12, 2, 15, 1065);
    EXPECT_EQ(m.title(), "放射線数：1065 (  30.50[CPM]:1時間平均)");  // index 4: 60
    m.MaTypeWarn = 3;
    pollAt(12, 2, 25, 1066);
    EXPECT_EQ(m.title(), "放射線数：1066 (  30.50[CPM]:30分間平均)");
    m.MaTypeWarn = 0;
    pollAt(12, 2, 35, 1067);
    EXPECT_EQ(m.title(), "放射線数：1067 (  31.00[CPM]:1分計)");
    m.MaTypeWarn = 6;
    pollAt(12, 2, 45, 1068);
    EXPECT_EQ(m.title(), "放射線数：1068 (  30.50[CPM]:6時間平均)");
    m.MaTypeWarn = 99;  // a hand-edited index reads the last window
    pollAt(12, 2, 55, 1069);
    EXPECT_EQ(m.title(), "放射線数：1069 (  30.50[CPM]:24時間平均)");
}

TEST_F(GeigerTest, TheAlarmComparesTheAverageStrictlyWithHysteresis) {
    host_.store_.writeInt("Geiger", "bCpmWarnHi", 100);  // stored as the default: on
    GeigerMonitor& m = open();
    m.MaTypeWarn = 0;  // the newest record is the average
    pollAt(12, 0, 5, 1000);
    host_.takeLines();

    // Before each minute's poll the newest record holds `v`.
    long count = 1000;
    int minute = 1;
    auto averageThenPoll = [&](double v) {
        m.series().AddRecord(fromLocal(2026, 5, 3, 12, minute - 1, 30), v);
        count += 10;
        EXPECT_EQ(pollAt(12, minute, 5, count), 1);
        ++minute;
    };
    averageThenPoll(120.0);
    EXPECT_TRUE(host_.takeLines().empty());

    averageThenPoll(120.5);
    EXPECT_EQ(host_.takeLines(),
              (std::vector<std::string>{kSep, "[2]>>>放射線　カウント値異常発生<<<"}));
    auto mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].kind, ALERT_GEIGER);
    EXPECT_EQ(mails[0].title, "放射線カウント値異常発生");
    EXPECT_EQ(mails[0].text,
              "\r\n高リスク状態を検出しました。\r\n放射線数：1020 ( 120.50[CPM]:1分計)");

    averageThenPoll(100.0);
    EXPECT_TRUE(host_.takeLines().empty());
    averageThenPoll(99.9);
    EXPECT_EQ(host_.takeLines(),
              (std::vector<std::string>{"[2]>>>放射線 カウント値回復<<<", kSep}));
    mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].title, "放射線カウント値回復");
    EXPECT_EQ(mails[0].text,
              "\r\n高リスク状態から復帰しました。\r\n放射線数：1040 (  99.90[CPM]:1分計)");

    // Switched off (0): not evaluated; the notice switch likewise.
    m.bCpmWarnHi = 0;
    averageThenPoll(500.0);
    m.bCpmWarnHi = 1;
    m.mNotify = 0;
    averageThenPoll(500.0);
    EXPECT_TRUE(host_.takeLines().empty());
    // Polls without a minute change never evaluate it.
    m.mNotify = 1;
    m.series().AddRecord(fromLocal(2026, 5, 3, 12, minute - 1, 10), 500.0);
    pollAt(12, minute - 1, 20, count);
    EXPECT_TRUE(host_.takeLines().empty());
}

TEST_F(GeigerTest, WithAnEmptySeriesTheTitleShowsZeroAndNoAlarmIsEvaluated) {
    GeigerMonitor& m = open();
    m.CpmWarnHi = -5.0;  // any average would raise it
    m.MaTypeWarn = 0;
    pollAt(12, 0, 5, 1000);
    EXPECT_EQ(pollAt(12, 1, 5, 1003), 1);  // the first record, on an empty series
    EXPECT_EQ(m.title(), "放射線数：1003 (   0.00[CPM]:1分計)");
    EXPECT_TRUE(host_.lines().empty());
    pollAt(12, 2, 5, 1004);
    EXPECT_EQ(host_.lines(),
              (std::vector<std::string>{kSep, "[2]>>>放射線　カウント値異常発生<<<"}));
}

TEST_F(GeigerTest, SettingsDefaultsAndWritingOrder) {
    GeigerMonitor& m = open();
    EXPECT_EQ(m.bCpmWarnHi, 100);
    EXPECT_EQ(m.CpmWarnHi, 120.0);
    EXPECT_EQ(m.MaTypeWarn, 4);
    host_.store_.written.clear();
    m.SaveSettingBeforeClose();
    std::vector<std::string> keys;
    for (const std::string& w : host_.store_.written)
        keys.push_back(w);
    EXPECT_EQ(keys, (std::vector<std::string>{
                        "Geiger/left", "Geiger/top", "Geiger/right", "Geiger/bottom",
                        "Geiger/mNotify", "Geiger/AutoYScale", "Geiger/CpmMin", "Geiger/CpmDiv",
                        "Geiger/CpmWarnHi", "Geiger/CpmHist", "Geiger/bCpmWarnHi", "Geiger/PeriodL",
                        "Geiger/PeriodS", "Geiger/MaTypeS1", "Geiger/MaTypeL1", "Geiger/MaTypeS2",
                        "Geiger/MaTypeL2", "Geiger/MaTypeWarn"}));
    EXPECT_EQ(host_.store_.mem.getString("Geiger", "CpmDiv", ""), "40");
    EXPECT_EQ(host_.store_.mem.getInt("Geiger", "bCpmWarnHi", 0), 100);
}

TEST_F(GeigerTest, ValuesOutsideTheirMeaningTakeTheirDefaultsAndAreNamedOnce) {
    auto& mem = host_.store_.mem;
    mem.writeInt("Geiger", "AutoYScale", 0);  // good
    mem.writeString("Geiger", "CpmMin", "-0.5");
    mem.writeString("Geiger", "CpmDiv", "0.09");
    mem.writeString("Geiger", "CpmWarnHi", "1000.5");
    mem.writeString("Geiger", "CpmHist", "200");  // good: the top of its range
    mem.writeInt("Geiger", "bCpmWarnHi", 101);
    mem.writeString("Geiger", "PeriodL", "");
    mem.writeInt("Geiger", "PeriodS", 4);   // good: "24H"
    mem.writeInt("Geiger", "MaTypeS1", 5);  // one beyond "60分平均"
    mem.writeInt("Geiger", "MaTypeL1", 8);  // good: "24時間平均"
    mem.writeInt("Geiger", "MaTypeS2", -1);
    mem.writeInt("Geiger", "MaTypeL2", 9);
    mem.writeString("Geiger", "MaTypeWarn", "2147483648");
    GeigerMonitor m(host_, loader_.get(), 0);
    m.LoadSettings();
    EXPECT_EQ(host_.takeLines(),
              std::vector<std::string>{
                  "[2]設定値が不正なため既定値に戻しました: Geiger/CpmMin, Geiger/CpmDiv, "
                  "Geiger/CpmWarnHi, Geiger/bCpmWarnHi, Geiger/PeriodL, Geiger/MaTypeS1, "
                  "Geiger/MaTypeS2, Geiger/MaTypeL2, Geiger/MaTypeWarn"});
    EXPECT_EQ(m.CpmMin, 0.0);
    EXPECT_EQ(m.CpmDiv, 40.0);
    EXPECT_EQ(m.CpmWarnHi, 120.0);
    EXPECT_EQ(m.bCpmWarnHi, 100);
    EXPECT_EQ(m.PeriodL, 2);
    EXPECT_EQ(m.MaTypeS1, 0);
    EXPECT_EQ(m.MaTypeS2, 3);
    EXPECT_EQ(m.MaTypeL2, 8);
    EXPECT_EQ(m.MaTypeWarn, 4);
    EXPECT_EQ(m.AutoYScale, 0);
    EXPECT_EQ(m.CpmHist, 200.0);
    EXPECT_EQ(m.PeriodS, 4);
    EXPECT_EQ(m.MaTypeL1, 8);

    // The warning switch keeps each value the program writes: off, the
    // dialog's on and the default on.
    for (const int on : {0, 1, 100}) {
        mem.writeInt("Geiger", "bCpmWarnHi", on);
        GeigerMonitor g(host_, loader_.get(), 0);
        host_.takeLines();
        g.LoadSettings();
        EXPECT_EQ(g.bCpmWarnHi, on);
        EXPECT_EQ(host_.takeLines().size(), 1u);  // the other keys, still wrong
    }
}

TEST_F(GeigerTest, ACounterPluggedBackStartsFromANewBaseline) {
    StandinDevices::Counters counters("libruvasko.so");
    GeigerMonitor& m = open();
    pollAt(12, 0, 5, 1000);
    pollAt(12, 1, 5, 1030);
    ASSERT_EQ(m.series().GetSize(), 1);

    devices_.unplug("counter0");
    host_.clock_.setNow(fromLocal(2026, 5, 3, 12, 1, 15));
    EXPECT_EQ(m.DoMeasure(), 0);
    host_.clock_.setNow(fromLocal(2026, 5, 3, 12, 1, 25));
    EXPECT_EQ(m.DoMeasure(), 0);
    host_.clock_.setNow(fromLocal(2026, 5, 3, 12, 1, 35));
    EXPECT_EQ(m.DoMeasure(), 0);
    EXPECT_EQ(host_.takeLines(),
              (std::vector<std::string>{"[2]>>>放射線カウンターが応答しません<<<"}));

    // Another counter with a large count of its own appears a few minutes
    // later: it is found, and its count does not become one record.
    devices_.counter("counter9", 250000);
    host_.clock_.setNow(fromLocal(2026, 5, 3, 12, 4, 5));
    EXPECT_EQ(m.DoMeasure(), 0);
    EXPECT_EQ(m.devicePath(), devices_.path("counter9"));
    EXPECT_EQ(host_.takeLines(), (std::vector<std::string>{"[2]>>>放射線カウンターの応答回復<<<"}));
    EXPECT_EQ(m.series().GetSize(), 1);
    devices_.counter("counter9", 250040);
    host_.clock_.setNow(fromLocal(2026, 5, 3, 12, 5, 5));
    EXPECT_EQ(m.DoMeasure(), 1);
    EXPECT_EQ(m.series()[1].m_Cpm, 40.0);
    EXPECT_EQ(counters.liveStrings(), 0);
}

}  // namespace
}  // namespace orvana::sensors
