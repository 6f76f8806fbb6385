// The three sensor kinds inside the main window: the start-up probes and the
// "温湿度", "放射線" and "電力" boxes, the window pictures in an alarm mail as
// the attachment settings ask, the periodic notice's blocks from the live
// series, and the sections and data files written at closing and at the end
// of the session. Stand-in device libraries, a vendor database file and a
// virtual clock; no mail leaves the machine (the network is down, so
// queued mails stay in the queue for the test to read).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <filesystem>

#include "app/tarnwick_dlg.h"
#include "core/status_text.h"
#include "mail/mail_queue.h"
#include "sensors/ui/sensor_kinds.h"
#include "tests/sensors/standin_devices.h"
#include "tests/sensors/test_dirs.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_prompt.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/window_doubles.h"

namespace orvana::sensors {
namespace {

namespace fs = std::filesystem;
using orvana::testing::ForwardingStore;
using testing::StandinDevices;

class DownNetwork final : public NetworkState {
  public:
    bool isConnected() override { return false; }
};

void writeVendorTable(const std::string& path, TimeT lastMinute, int rows, double energy) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE energy_history (y, mo, d, h, mi, u, e, x); BEGIN", nullptr,
                 nullptr, nullptr);
    for (int i = rows - 1; i >= 0; --i) {
        const LocalTime l = toLocal(lastMinute - 60 * i);
        const std::string sql =
            strprintf("INSERT INTO energy_history VALUES (%d,%d,%d,%d,%d,0,%g,0)", l.year, l.month,
                      l.day, l.hour, l.minute, energy);
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

class SensorMainWindow : public ::testing::Test {
  protected:
    SensorMainWindow() : tz_("Asia/Tokyo"), start_(fromLocal(2026, 5, 3, 12, 0, 30)) {
        mem_.writeString("Setting", "DATA_DIR", dir_.file("data"));
        mem_.writeInt("Setting", "USE_VOLUME", 0);
        mem_.writeInt("Setting", "USE_CAMERA", 0);
        mem_.writeInt("Setting", "WORKING", 1);
        mem_.writeInt("Setting", "USER_ADDRESS", 1);
        mem_.writeString("UserAddress0", "Address", "owner@home.example");
        mem_.writeInt("UserAddress0", "IJYOU", 1);
        devices_.meter("meter0", 24.0, 50.0);
        devices_.counter("counter0", 1000);
        writeVendorTable(dbPath(), fromLocal(2026, 5, 3, 12, 0, 0), 60, 10.0);
    }

    std::string dbPath() const { return dir_.file("be.db"); }
    std::string dataFile(const char* name) const { return dir_.file("data") + "/" + name; }

    CTarnwickDlg& open() {
        Services s;
        auto c = std::make_unique<orvana::testing::VirtualClock>(start_);
        c->realLimit = std::chrono::milliseconds(5);
        clock_ = c.get();
        s.clock = std::move(c);
        s.store = std::make_unique<ForwardingStore>(mem_);
        s.prompt = std::make_unique<orvana::testing::RecordingPrompt>();
        s.headless = true;
        s.desktopDir = dir_.file("Desktop");
        s.network = std::make_unique<DownNetwork>();
        s.backends.put<DeviceLibraryLoader>(StandinDevices::loader());
        s.backends.put<VendorDatabase>(makeSqliteVendorDatabase(dbPath()));
        s.registerMonitors = registerSensorMonitors;
        orvana::testing::fillWindowDoubles(s);
        dlg_ = std::make_unique<CTarnwickDlg>(std::move(s));
        dlg_->OnInitDialog();
        return *dlg_;
    }

    template <class Kind>
    auto* window(MonitorSwitch box) {
        auto* k = dynamic_cast<Kind*>(dlg_->monitors().find(box));
        EXPECT_NE(k, nullptr);
        return k ? k->window() : nullptr;
    }
    CTemperatureDlg* temperature() { return window<TemperatureKind>(MonitorSwitch::Temperature); }
    CGeigerDlg* geiger() { return window<GeigerKind>(MonitorSwitch::Geiger); }
    COwlDlg* owl() { return window<OwlKind>(MonitorSwitch::Owl); }

    bool listHas(const std::string& tail) const {
        for (int i = 0; i < dlg_->eventList()->count(); ++i) {
            const std::string line = dlg_->eventList()->item(i)->text().toStdString();
            if (line.size() >= tail.size() &&
                line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
                return true;
        }
        return false;
    }

    orvana::testing::ScopedTz tz_;
    orvana::testing::TempDir dir_;
    StandinDevices devices_;
    orvana::testing::MemorySettingsStore mem_;
    TimeT start_;
    orvana::testing::VirtualClock* clock_ = nullptr;
    std::unique_ptr<CTarnwickDlg> dlg_;
};

TEST_F(SensorMainWindow, ProbesEnableTheBoxesAndTheSwitchedOnKindsStartInOrder) {
    CTarnwickDlg& d = open();
    for (MonitorSwitch box :
         {MonitorSwitch::Temperature, MonitorSwitch::Geiger, MonitorSwitch::Owl})
        EXPECT_TRUE(d.monitorBox(box)->isEnabled());
    ASSERT_NE(temperature(), nullptr);
    ASSERT_NE(geiger(), nullptr);
    ASSERT_NE(owl(), nullptr);
    EXPECT_TRUE(temperature()->isVisible());
    EXPECT_EQ(owl()->windowTitle(), "電力監視値： 0.600[kW] (15分間電力)");
    EXPECT_EQ(d.monitors().find("owl")->kind().startOrder, 50);
    EXPECT_TRUE(d.monitors().runningFor(COL_TEMP));
    EXPECT_TRUE(d.monitors().runningFor(COL_GEIGER));
    EXPECT_TRUE(d.monitors().runningFor(COL_OWL));
}

TEST_F(SensorMainWindow, WithoutDevicesOrDatabaseTheBoxesAreDisabledAndNothingOpens) {
    devices_.unplug("meter0");
    devices_.unplug("counter0");
    fs::remove(dbPath());
    CTarnwickDlg& d = open();
    for (MonitorSwitch box :
         {MonitorSwitch::Temperature, MonitorSwitch::Geiger, MonitorSwitch::Owl}) {
        EXPECT_FALSE(d.monitorBox(box)->isEnabled());
        EXPECT_TRUE(d.monitorBox(box)->isChecked());  // the switch stays as stored
    }
    EXPECT_EQ(temperature(), nullptr);
    EXPECT_EQ(geiger(), nullptr);
    EXPECT_EQ(owl(), nullptr);
    EXPECT_FALSE(fs::exists(dbPath()));
    EXPECT_TRUE(BuildStatusText(d.monitors()).empty());
}

TEST_F(SensorMainWindow, TheBoxesEndAndStartTheWindowsWhichSaveAsTheyClose) {
    CTarnwickDlg& d = open();
    ASSERT_NE(geiger(), nullptr);
    geiger()->notifyBox()->setChecked(true);
    d.monitorBox(MonitorSwitch::Geiger)->click();
    EXPECT_EQ(geiger(), nullptr);
    EXPECT_EQ(mem_.getInt("Geiger", "mNotify", -1), 1);
    EXPECT_TRUE(fs::exists(dataFile("GeigerData.csv")));
    EXPECT_FALSE(d.monitors().runningFor(COL_GEIGER));
    EXPECT_EQ(BuildStatusText(d.monitors()).find("放射線："), std::string::npos);

    d.monitorBox(MonitorSwitch::Geiger)->click();
    ASSERT_NE(geiger(), nullptr);
    EXPECT_TRUE(geiger()->notifyBox()->isChecked());

    d.monitorBox(MonitorSwitch::Owl)->click();
    EXPECT_EQ(owl(), nullptr);
    EXPECT_TRUE(fs::exists(dataFile("OwlData.csv")));
}

TEST_F(SensorMainWindow, AnAlarmMailCarriesTheWindowPicturesTheSettingsAskFor) {
    mem_.writeInt("Temperature", "mNotify", 1);
    mem_.writeInt("Temperature", "bTempWarnHi", 1);
    CTarnwickDlg& d = open();
    ASSERT_NE(temperature(), nullptr);
    devices_.meter("meter0", 36.5, 50.0);
    clock_->advanceSeconds(10);
    temperature()->OnTimer();
    EXPECT_TRUE(listHas(" >>>温度異常発生<<<"));
    EXPECT_TRUE(listHas("---------------------------------------"));

    const auto mails = d.mailQueue().all();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].subject, "温度異常発生：orvana");
    EXPECT_NE(
        mails[0].body.find("\r\n高温状態を検出しました。\r\n温度：36.50[度] 湿度：50.00[%RH]"),
        std::string::npos);
    // The temperature row asks for the cameras, the temperature window and
    // the power window: in mail order TEMP then OWL.
    ASSERT_EQ(mails[0].attachments.size(), 2u);
    EXPECT_NE(mails[0].attachments[0].find("#temp.jpg"), std::string::npos);
    EXPECT_NE(mails[0].attachments[1].find("#Power.jpg"), std::string::npos);
    for (const std::string& f : mails[0].attachments)
        EXPECT_TRUE(fs::exists(f)) << f;

    // Radiation notices use their own row: only the cameras and the
    // radiation window.
    d.RegistMail(ALERT_GEIGER, "放射線カウント値異常発生", "x", 2);
    const auto after = d.mailQueue().all();
    ASSERT_EQ(after.size(), 2u);
    ASSERT_EQ(after[1].attachments.size(), 1u);
    EXPECT_NE(after[1].attachments[0].find("#geiger.jpg"), std::string::npos);
}

TEST_F(SensorMainWindow, ThePeriodicNoticeReadsTheLiveSeriesOfEachRunningKind) {
    CTarnwickDlg& d = open();
    ASSERT_NE(geiger(), nullptr);
    EXPECT_EQ(BuildStatusText(d.monitors()),
              "温度：24度\r\n  24H(min:24度,ave:24度,max:24度)\r\n湿度：50%\r\n  "
              "24H(min:50%,ave:50%,max:50%)\r\n\r\n"
              "放射線：0[CPM]\r\n  24H(min:0[CPM],ave:0[CPM],max:0[CPM])\r\n\r\n"
              "電力：0.6[kW]\r\n  24H(min:0.6[kW],ave:0.6[kW],max:0.6[kW])\r\n\r\n");

    devices_.meter("meter0", 26.0, 40.0);
    clock_->advanceSeconds(60);
    temperature()->OnTimer();
    EXPECT_NE(BuildStatusText(d.monitors())
                  .find("温度：26度\r\n  24H(min:24度,ave:25度,max:26度)\r\n湿度：40%"),
              std::string::npos);
}

TEST_F(SensorMainWindow, SessionEndAndClosingWriteEverySectionAndDataFile) {
    CTarnwickDlg& d = open();
    ASSERT_NE(owl(), nullptr);
    const char* files[] = {"TemperatureData.csv", "GeigerData.csv", "OwlData.csv"};
    for (const char* f : files)
        EXPECT_FALSE(fs::exists(dataFile(f))) << f;
    d.OnEndSession();
    for (const char* f : files)
        EXPECT_TRUE(fs::exists(dataFile(f))) << f;
    EXPECT_TRUE(mem_.contains("Owl", "WarnHiste"));
    EXPECT_TRUE(mem_.contains("Temperature", "PeriodS"));
    EXPECT_TRUE(mem_.contains("Geiger", "MaTypeWarn"));

    for (const char* f : files)
        fs::remove(dataFile(f));
    dlg_.reset();
    for (const char* f : files)
        EXPECT_TRUE(fs::exists(dataFile(f))) << f;
}

}  // namespace
}  // namespace orvana::sensors
