// The temperature/humidity monitor and the skeleton the sensor monitors
// share, without a window, over the stand-in meter library and a virtual
// clock: the four alarms at their limits, the notice switch, failed reads,
// the settings section, the timers and the data file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "sensors/temperature_monitor.h"
#include "tests/sensors/sensor_test_host.h"
#include "tests/sensors/standin_devices.h"
#include "tests/sensors/test_dirs.h"
#include "tests/support/wait_until.h"

namespace orvana::sensors {
namespace {

using orvana::testing::slurp;

using testing::SensorTestHost;
using testing::StandinDevices;

const std::string kSep = "---------------------------------------";

class TemperatureTest : public ::testing::Test {
  protected:
    TemperatureTest() : tz_("Asia/Tokyo"), host_(fromLocal(2026, 5, 3, 12, 0, 5)) {
        host_.store_.writeString("Setting", "DATA_DIR", data_.path());
        devices_.meter("meter0", 20.0, 50.0);
    }

    // A monitor opened as its window opens it, notices on.
    TemperatureMonitor& open() {
        monitor_ = std::make_unique<TemperatureMonitor>(host_, loader_.get(), 0);
        monitor_->LoadSettings();
        monitor_->mNotify = 1;
        monitor_->Open();
        host_.takeLines();
        host_.takeMails();
        return *monitor_;
    }
    // The next cycle, a minute later, with this reading.
    int read(double t, double h = 50.0) {
        devices_.meter("meter0", t, h);
        host_.clock_.advanceSeconds(60);
        return monitor_->DoMeasure();
    }

    orvana::testing::ScopedTz tz_;
    orvana::testing::TempDir data_;
    StandinDevices devices_;
    std::unique_ptr<DeviceLibraryLoader> loader_ = StandinDevices::loader();
    SensorTestHost host_;
    std::unique_ptr<TemperatureMonitor> monitor_;
};

TEST_F(TemperatureTest, HighTemperatureRisesStrictlyAboveAndClearsBelowLimitMinusHysteresis) {
    TemperatureMonitor& m = open();
    m.bTempWarnHi = 1;  // TempWarnHi 35.0 and TempHist 1.0 are the defaults

    EXPECT_EQ(read(35.0), 1);
    EXPECT_TRUE(host_.takeLines().empty());

    EXPECT_EQ(read(35.01, 41.2), 1);
    EXPECT_EQ(host_.takeLines(), (std::vector<std::string>{kSep, "[2]>>>温度異常発生<<<"}));
    auto mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].kind, ALERT_TEMP);
    EXPECT_EQ(mails[0].title, "温度異常発生");
    EXPECT_EQ(mails[0].text, "\r\n高温状態を検出しました。\r\n温度：35.01[度] 湿度：41.20[%RH]");

    read(34.5);
    read(34.0);  // not below 34.0
    EXPECT_TRUE(host_.takeLines().empty());
    EXPECT_TRUE(host_.takeMails().empty());

    read(33.99, 40.0);
    EXPECT_EQ(host_.takeLines(), (std::vector<std::string>{"[2]>>>温度回復<<<", kSep}));
    mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].title, "温度回復");
    EXPECT_EQ(mails[0].text, "\r\n高温状態から復帰しました。\r\n温度：33.99[度] 湿度：40.00[%RH]");
}

TEST_F(TemperatureTest, HighAndLowAlarmsOfEachQuantityAreIndependentAndEvaluatedInOrder) {
    TemperatureMonitor& m = open();
    m.bTempWarnHi = m.bTempWarnLo = m.bHumidWarnHi = m.bHumidWarnLo = 1;
    m.TempWarnHi = 30.0;
    m.TempWarnLo = 40.0;  // above the high limit: both can be on at once
    m.HumidWarnHi = 50.0;
    m.HumidWarnLo = 60.0;

    read(35.0, 55.0);
    EXPECT_EQ(
        host_.takeLines(),
        (std::vector<std::string>{kSep, "[2]>>>温度異常発生<<<", kSep, "[2]>>>温度異常発生<<<",
                                  kSep, "[2]>>>湿度異常発生<<<", kSep, "[2]>>>湿度異常発生<<<"}));
    auto mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 4u);
    EXPECT_EQ(mails[0].text.rfind("\r\n高温状態を検出しました。\r\n", 0), 0u);
    EXPECT_EQ(mails[1].text.rfind("\r\n低温状態を検出しました。\r\n", 0), 0u);
    EXPECT_EQ(mails[2].text.rfind("\r\n高湿度状態を検出しました。\r\n", 0), 0u);
    EXPECT_EQ(mails[3].text.rfind("\r\n低湿度状態を検出しました。\r\n", 0), 0u);
    EXPECT_EQ(mails[2].title, "湿度異常発生");

    // Only the low temperature alarm ends: 41.5 is above 40 + 1 and keeps
    // the high one on.
    read(41.5, 55.0);
    EXPECT_EQ(host_.takeLines(), (std::vector<std::string>{"[2]>>>温度回復<<<", kSep}));
    mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].text.rfind("\r\n低温状態から復帰しました。\r\n", 0), 0u);
    EXPECT_TRUE(m.alarms()[TemperatureMonitor::kTempHigh].state);

    // Humidity: low ends above 65, high ends below 45.
    read(41.5, 65.5);
    mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].title, "湿度回復");
    EXPECT_EQ(mails[0].text.rfind("\r\n低湿度状態から復帰しました。\r\n", 0), 0u);
    read(41.5, 44.0);
    mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 2u);  // low humidity starts again, then high ends
    EXPECT_EQ(mails[0].text.rfind("\r\n高湿度状態から復帰しました。\r\n", 0), 0u);
    EXPECT_EQ(mails[1].text.rfind("\r\n低湿度状態を検出しました。\r\n", 0), 0u);
}

TEST_F(TemperatureTest, NotifyOffFreezesTheStatesUntilItIsOnAgainAndTheValueIsBack) {
    TemperatureMonitor& m = open();
    m.bTempWarnHi = 1;
    read(36.0);
    ASSERT_EQ(host_.takeMails().size(), 1u);
    host_.takeLines();

    m.mNotify = 0;
    read(20.0);  // would end it
    read(37.0);
    EXPECT_TRUE(host_.takeLines().empty());
    EXPECT_TRUE(host_.takeMails().empty());
    EXPECT_TRUE(m.alarms()[TemperatureMonitor::kTempHigh].state);

    m.mNotify = 1;
    read(34.5);  // on again, but not past the recovery limit
    EXPECT_TRUE(host_.takeMails().empty());
    read(33.0);
    auto mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].title, "温度回復");
}

TEST_F(TemperatureTest, AnAlarmSwitchedOffKeepsItsStateAndEndsWhenSwitchedOnAgain) {
    TemperatureMonitor& m = open();
    m.bTempWarnHi = 1;
    read(36.0);
    host_.takeMails();

    m.bTempWarnHi = 0;
    read(20.0);
    read(40.0);
    EXPECT_TRUE(host_.takeMails().empty());
    EXPECT_TRUE(m.alarms()[TemperatureMonitor::kTempHigh].state);

    m.bTempWarnHi = 1;
    read(20.0);
    auto mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].title, "温度回復");
}

TEST_F(TemperatureTest, AFailedReadAddsNoRecordKeepsTheTitleAndEvaluatesNothing) {
    TemperatureMonitor& m = open();
    m.bTempWarnHi = 1;
    const int before = m.series().GetSize();
    read(25.0);
    const std::string title = m.title();
    EXPECT_EQ(title, "温度：25.00[度] 湿度：50.00[%RH]");

    devices_.failing("meter0");
    host_.clock_.advanceSeconds(60);
    EXPECT_EQ(m.DoMeasure(), 0);
    EXPECT_EQ(m.title(), title);
    EXPECT_EQ(m.series().GetSize(), before + 1);  // no gap marker either

    read(26.0);
    EXPECT_EQ(m.series().GetSize(), before + 2);
    // The minute of the failure simply has no record.
    EXPECT_EQ(m.series()[m.series().size() - 1].m_Time - m.series()[m.series().size() - 2].m_Time,
              120);
    EXPECT_TRUE(host_.takeLines().empty());
}

TEST_F(TemperatureTest, SamplesOfOneMinuteMakeOneRecordAndTheStatusBlockReadsTheSeries) {
    TemperatureMonitor& m = open();  // 12:00:05, 20 degrees, 50 %
    devices_.meter("meter0", 22.0, 40.0);
    host_.clock_.advanceSeconds(10);
    m.DoMeasure();
    ASSERT_EQ(m.series().GetSize(), 1);
    EXPECT_EQ(m.series()[0].m_Time, fromLocal(2026, 5, 3, 12, 1, 0));
    EXPECT_EQ(m.series()[0].m_Temp, 22.0);
    read(24.0, 60.0);
    EXPECT_EQ(m.statusBlock(),
              "温度：24度\r\n  24H(min:22度,ave:23度,max:24度)\r\n湿度：60%\r\n  "
              "24H(min:40%,ave:50%,max:60%)\r\n\r\n");
}

TEST_F(TemperatureTest, SettingsReadWithDefaultsAndWrittenInTheirOrderAfterThePlacement) {
    auto& mem = host_.store_.mem;
    mem.writeString("Temperature", "TempWarnHi", "31.5");
    mem.writeString("Temperature", "HumidHist", "garbage");
    mem.writeInt("Temperature", "bHumidWarnLo", 1);
    mem.writeInt("Temperature", "left", 5);
    TemperatureMonitor& m = open();
    EXPECT_EQ(m.TempWarnHi, 31.5);
    EXPECT_EQ(m.HumidHist, 5.0);  // no number: the default
    EXPECT_EQ(m.bHumidWarnLo, 1);
    EXPECT_EQ(m.TempMin, -10.0);
    EXPECT_EQ(m.TempAutoYScale, 1);
    EXPECT_EQ(m.PeriodL, 2);

    m.TempDiv = 2.5;
    m.HumidWarnLo = 1.0 / 3.0;
    host_.store_.written.clear();
    m.SaveSettingBeforeClose();
    std::vector<std::string> keys;
    for (const std::string& w : host_.store_.written)
        keys.push_back(w.substr(w.find('/') + 1));
    EXPECT_EQ(keys,
              (std::vector<std::string>{
                  "left",           "top",         "right",       "bottom",          "mNotify",
                  "TempAutoYScale", "TempMin",     "TempDiv",     "TempWarnLo",      "TempWarnHi",
                  "TempHist",       "bTempWarnLo", "bTempWarnHi", "HumidAutoYScale", "HumidMin",
                  "HumidDiv",       "HumidWarnLo", "HumidWarnHi", "HumidHist",       "bHumidWarnLo",
                  "bHumidWarnHi",   "PeriodL",     "PeriodS"}));
    EXPECT_EQ(mem.getString("Temperature", "TempMin", ""), "-10");
    EXPECT_EQ(mem.getString("Temperature", "TempDiv", ""), "2.5");
    EXPECT_EQ(mem.getString("Temperature", "HumidWarnLo", ""), "0.333333");
    EXPECT_EQ(mem.getInt("Temperature", "mNotify", -1), 1);
    EXPECT_EQ(mem.getInt("Temperature", "left", 0), 5);  // no window: the stored one
    // The data file follows the section.
    EXPECT_EQ(slurp(data_.file("TemperatureData.csv")), "2026,5,3,12,1,0,20,50\r\n");
}

TEST_F(TemperatureTest, ValuesOutsideTheirMeaningTakeTheirDefaultsAndAreNamedOnce) {
    auto& mem = host_.store_.mem;
    mem.writeString("Temperature", "mNotify", "yes");
    mem.writeString("Temperature", "TempAutoYScale", "99999999999");
    mem.writeString("Temperature", "TempMin", "-274");      // below absolute zero
    mem.writeString("Temperature", "TempDiv", "0.05");      // below the dialog's 0.1
    mem.writeString("Temperature", "TempWarnLo", "nan");    // compares false both ways
    mem.writeString("Temperature", "TempWarnHi", "1e400");  // beyond double
    mem.writeString("Temperature", "TempHist", "inf");
    mem.writeInt("Temperature", "bTempWarnLo", 2);
    mem.writeInt("Temperature", "bTempWarnHi", -1);
    mem.writeString("Temperature", "HumidMin", "-1");
    mem.writeString("Temperature", "HumidDiv", "abc");
    mem.writeString("Temperature", "HumidWarnHi", "100.5");
    mem.writeInt("Temperature", "PeriodL", 6);  // one beyond "30日"
    mem.writeInt("Temperature", "PeriodS", -1);
    // Good values, the bounds among them, stay as they are.
    mem.writeString("Temperature", "HumidWarnLo", "0");
    mem.writeString("Temperature", "HumidHist", " 0.1 ");
    mem.writeInt("Temperature", "HumidAutoYScale", 0);
    mem.writeInt("Temperature", "bHumidWarnLo", 1);
    mem.writeInt("Temperature", "bHumidWarnHi", 1);
    mem.writeInt("Temperature", "left", -2000000000);  // the window checks placements
    TemperatureMonitor m(host_, loader_.get(), 0);
    m.LoadSettings();
    EXPECT_EQ(host_.takeLines(),
              std::vector<std::string>{
                  "[2]設定値が不正なため既定値に戻しました: Temperature/mNotify, "
                  "Temperature/TempAutoYScale, Temperature/TempMin, Temperature/TempDiv, "
                  "Temperature/TempWarnLo, Temperature/TempWarnHi, Temperature/TempHist, "
                  "Temperature/bTempWarnLo, Temperature/bTempWarnHi, Temperature/HumidMin, "
                  "Temperature/HumidDiv, Temperature/HumidWarnHi, Temperature/PeriodL, "
                  "Temperature/PeriodS"});
    EXPECT_EQ(m.mNotify, 0);
    EXPECT_EQ(m.TempAutoYScale, 1);
    EXPECT_EQ(m.TempMin, -10.0);
    EXPECT_EQ(m.TempDiv, 10.0);
    EXPECT_EQ(m.TempWarnLo, 0.0);
    EXPECT_EQ(m.TempWarnHi, 35.0);
    EXPECT_EQ(m.TempHist, 1.0);
    EXPECT_EQ(m.bTempWarnLo, 0);
    EXPECT_EQ(m.bTempWarnHi, 0);
    EXPECT_EQ(m.HumidMin, 0.0);
    EXPECT_EQ(m.HumidDiv, 20.0);
    EXPECT_EQ(m.HumidWarnHi, 80.0);
    EXPECT_EQ(m.PeriodL, 2);
    EXPECT_EQ(m.PeriodS, 0);
    EXPECT_EQ(m.HumidWarnLo, 0.0);
    EXPECT_EQ(m.HumidHist, 0.1);
    EXPECT_EQ(m.HumidAutoYScale, 0);
    EXPECT_EQ(m.bHumidWarnLo, 1);
    EXPECT_EQ(m.bHumidWarnHi, 1);

    // Saved, the section holds the defaults in place of what was wrong and
    // reads back without a word.
    m.SaveSettingBeforeClose();
    EXPECT_EQ(mem.getString("Temperature", "TempWarnHi", ""), "35");
    EXPECT_EQ(mem.getInt("Temperature", "left", 0), -2000000000);
    TemperatureMonitor again(host_, loader_.get(), 0);
    again.LoadSettings();
    EXPECT_TRUE(host_.takeLines().empty());
    EXPECT_EQ(again.HumidHist, 0.1);
}

TEST_F(TemperatureTest, TimersMeasureEveryTenSecondsAndSaveEveryFiveMinutes) {
    StandinDevices::Counters counters("libkelvaro.so");
    TemperatureMonitor& m = open();
    const int reads = counters.readCalls();
    EXPECT_EQ(m.msUntilNextTimer(), 10000);
    EXPECT_EQ(m.RunDueTimers(), 0);

    host_.clock_.advance(std::chrono::milliseconds(9999));
    EXPECT_EQ(m.RunDueTimers(), 0);
    host_.clock_.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(m.RunDueTimers(), 1);
    EXPECT_EQ(counters.readCalls(), reads + 1);
    EXPECT_EQ(m.msUntilNextTimer(), 10000);

    // A late tick runs once and the next one is a full period after it.
    host_.clock_.advanceSeconds(35);
    EXPECT_EQ(m.RunDueTimers(), 1);
    EXPECT_EQ(m.msUntilNextTimer(), 10000);
    EXPECT_FALSE(std::filesystem::exists(data_.file("TemperatureData.csv")));

    // Up to five minutes after opening; the save timer runs its own
    // measurement and writes the section and the data file.
    int runs = 0;
    while (host_.clock_.nowMs() < fromLocal(2026, 5, 3, 12, 5, 5) * 1000LL) {
        host_.clock_.advance(std::chrono::milliseconds(m.msUntilNextTimer()));
        runs += m.RunDueTimers();
    }
    EXPECT_TRUE(std::filesystem::exists(data_.file("TemperatureData.csv")));
    EXPECT_EQ(host_.store_.mem.getInt("Temperature", "mNotify", -1), 1);
    EXPECT_EQ(counters.readCalls(), reads + 2 + runs);

    m.Close();
    EXPECT_EQ(m.msUntilNextTimer(), -1);
    host_.clock_.advanceSeconds(600);
    EXPECT_EQ(m.RunDueTimers(), 0);
}

TEST_F(TemperatureTest, OpeningLoadsTheDataFileBeforeTheFirstMeasurement) {
    std::ofstream(data_.file("TemperatureData.csv"), std::ios::binary)
        << "2026,5,3,11,58,0,18.5,45\r\n2026,5,3,11,59,0,19,46\r\n";
    TemperatureMonitor& m = open();
    ASSERT_EQ(m.series().GetSize(), 3);
    EXPECT_EQ(m.series()[0].m_Temp, 18.5);
    EXPECT_EQ(m.series()[1].m_Time, fromLocal(2026, 5, 3, 11, 59, 0));
    EXPECT_EQ(m.series()[2].m_Temp, 20.0);
    EXPECT_EQ(m.GetDataFilePath(), data_.file("TemperatureData.csv"));
}

TEST_F(TemperatureTest, CheckDeviceCountsMetersAndEveryLibraryStringIsFreed) {
    StandinDevices::Counters counters("libkelvaro.so");
    devices_.meter("meter1", 21.0, 50.0);
    devices_.meter("meter2", 22.0, 50.0);
    TemperatureMonitor probe(host_, loader_.get(), 0);
    EXPECT_EQ(probe.TypeOfSensor(), TEMP_SENSOR_KELVARO);
    EXPECT_EQ(probe.CheckDevice(), 3);
    EXPECT_EQ(counters.liveStrings(), 0);

    // The search at opening starts at the construction index.
    TemperatureMonitor second(host_, loader_.get(), 2);
    second.LoadSettings();
    second.Open();
    EXPECT_EQ(second.devicePath(), devices_.path("meter2"));
    EXPECT_EQ(second.series()[0].m_Temp, 22.0);

    TemperatureMonitor& m = open();
    const int finds = counters.findCalls();
    for (int i = 0; i < 20; ++i)
        read(20.0 + i * 0.1);
    EXPECT_EQ(counters.findCalls(), finds);  // no search while it answers
    EXPECT_EQ(counters.liveStrings(), 0);
    EXPECT_EQ(m.devicePath(), devices_.path("meter0"));

    devices_.unplug("meter0");
    devices_.unplug("meter1");
    devices_.unplug("meter2");
    EXPECT_EQ(probe.CheckDevice(), 0);
    EXPECT_EQ(counters.liveStrings(), 0);
}

TEST_F(TemperatureTest, WithoutTheLibraryOrItsReadingTheMonitorCannotRun) {
    TemperatureMonitor noLoader(host_, nullptr, 0);
    EXPECT_EQ(noLoader.TypeOfSensor(), TEMP_SENSOR_NONE);
    EXPECT_EQ(noLoader.CheckDevice(), 0);
    EXPECT_EQ(noLoader.DoMeasure(), 0);

    // The counter library has FindUSB but no GetTempHumidTrue.
    orvana::testing::TempDir empty;
    std::filesystem::copy_file(std::string(ORVANA_STANDIN_LIB_DIR) + "/libruvasko.so",
                               empty.file("libkelvaro.so"));
    FolderLibraryLoader wrong({empty.path()}, false);
    TemperatureMonitor m(host_, &wrong, 0);
    EXPECT_EQ(m.TypeOfSensor(), TEMP_SENSOR_NONE);
    EXPECT_NE(m.library().binding().error().find("GetTempHumidTrue"), std::string::npos);
    EXPECT_EQ(m.CheckDevice(), 0);

    FolderLibraryLoader nowhere({empty.file("none")}, false);
    TemperatureMonitor missing(host_, &nowhere, 0);
    EXPECT_EQ(missing.CheckDevice(), 0);
    EXPECT_FALSE(missing.library().binding().error().empty());
}

TEST_F(TemperatureTest, AMeterUnpluggedAndPluggedBackIsReportedOnceAndFoundAgain) {
    TemperatureMonitor& m = open();
    devices_.unplug("meter0");

    // Two failures stay silent.
    host_.clock_.advanceSeconds(10);
    EXPECT_EQ(m.DoMeasure(), 0);
    host_.clock_.advanceSeconds(10);
    EXPECT_EQ(m.DoMeasure(), 0);
    EXPECT_TRUE(host_.takeLines().empty());

    // The third reports the loss and searches (nothing there).
    host_.clock_.advanceSeconds(10);
    EXPECT_EQ(m.DoMeasure(), 0);
    EXPECT_EQ(host_.takeLines(), (std::vector<std::string>{"[2]>>>温湿度計が応答しません<<<"}));
    auto mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].kind, ALERT_KANRI);
    EXPECT_EQ(mails[0].title, "温湿度計応答なし");

    // Back under a new device path: found at the next search, a minute
    // after the last one, not before.
    devices_.meter("meter7", 23.0, 45.0);
    StandinDevices::Counters counters("libkelvaro.so");
    const int finds = counters.findCalls();
    for (int i = 0; i < 5; ++i) {
        host_.clock_.advanceSeconds(10);
        EXPECT_EQ(m.DoMeasure(), 0);
    }
    EXPECT_EQ(counters.findCalls(), finds);
    host_.clock_.advanceSeconds(10);
    EXPECT_EQ(m.DoMeasure(), 1);
    EXPECT_EQ(counters.findCalls(), finds + 1);
    EXPECT_EQ(m.devicePath(), devices_.path("meter7"));
    EXPECT_EQ(host_.takeLines(), (std::vector<std::string>{"[2]>>>温湿度計の応答回復<<<"}));
    mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].kind, ALERT_KANRI);
    EXPECT_EQ(mails[0].title, "温湿度計応答回復");

    // Later single failures are silent again.
    devices_.failing("meter7");
    host_.clock_.advanceSeconds(10);
    m.DoMeasure();
    devices_.meter("meter7", 23.0, 45.0);
    host_.clock_.advanceSeconds(10);
    m.DoMeasure();
    EXPECT_TRUE(host_.takeLines().empty());
    EXPECT_EQ(counters.liveStrings(), 0);
}

TEST_F(TemperatureTest, AMeterThatStopsAnsweringFailsItsCyclesWithoutHoldingThemAndIsReportedLost) {
    StandinDevices::Counters counters("libkelvaro.so");
    TemperatureMonitor& m = open();
    const int records = m.series().GetSize();
    const std::string title = m.title();
    const int reads = counters.readCalls();

    // The cycle ends although the meter never answers (it would wait for
    // ever otherwise); the read goes on off this thread.
    devices_.hanging("meter0");
    host_.clock_.advanceSeconds(60);
    EXPECT_EQ(m.DoMeasure(), 0);
    ASSERT_TRUE(orvana::testing::waitUntil([&] { return counters.hangingReads() == 1; }));
    EXPECT_TRUE(m.library().binding().busy());

    // While it hangs, the next cycles fail at once, without a second call
    // into the library (it takes one at a time) and without a search; the
    // third failure reports the loss.
    host_.clock_.advanceSeconds(60);
    EXPECT_EQ(m.DoMeasure(), 0);
    EXPECT_TRUE(host_.takeLines().empty());
    host_.clock_.advanceSeconds(60);
    const int finds = counters.findCalls();
    EXPECT_EQ(m.DoMeasure(), 0);
    EXPECT_EQ(host_.takeLines(), (std::vector<std::string>{"[2]>>>温湿度計が応答しません<<<"}));
    EXPECT_EQ(counters.readCalls(), reads + 1);
    EXPECT_EQ(counters.findCalls(), finds);

    // The late answer is dropped: nothing is recorded for the cycle that
    // had given up on it.
    devices_.meter("meter0", 24.0, 45.0);
    ASSERT_TRUE(orvana::testing::waitUntil([&] { return !m.library().binding().busy(); }));
    EXPECT_EQ(m.series().GetSize(), records);
    EXPECT_EQ(m.title(), title);

    // Answering again: read, recorded and reported back.
    host_.clock_.advanceSeconds(60);
    EXPECT_EQ(m.DoMeasure(), 1);
    EXPECT_EQ(m.title(), "温度：24.00[度] 湿度：45.00[%RH]");
    EXPECT_EQ(host_.takeLines(), (std::vector<std::string>{"[2]>>>温湿度計の応答回復<<<"}));
    EXPECT_EQ(counters.liveStrings(), 0);
}

TEST_F(TemperatureTest, AMonitorClosedWhileItsMeterHangsWaitsForTheReadBeforeTheLibraryGoes) {
    StandinDevices::Counters counters("libkelvaro.so");
    open();
    devices_.hanging("meter0");
    host_.clock_.advanceSeconds(60);
    EXPECT_EQ(monitor_->DoMeasure(), 0);
    ASSERT_TRUE(orvana::testing::waitUntil([&] { return counters.hangingReads() == 1; }));
    // The meter answers while the monitor goes: the library, still running
    // that read, must stay loaded until it returns.
    std::thread answer([&] { devices_.meter("meter0", 21.0, 50.0); });
    monitor_.reset();
    answer.join();
    EXPECT_EQ(counters.hangingReads(), 0);
    EXPECT_EQ(counters.liveStrings(), 0);
}

}  // namespace
}  // namespace orvana::sensors
