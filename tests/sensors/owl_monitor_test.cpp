// The power monitor without a window, over real SQLite files written the way
// the vendor's software writes them, on a virtual clock: the keep period,
// the kW conversion, no row twice, the title forms, the alarms at their
// limits, the cost, and the vendor's file left exactly as it was.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <sstream>
#include <thread>

#include "sensors/owl_monitor.h"
#include "tests/sensors/sensor_test_host.h"
#include "tests/sensors/test_dirs.h"

namespace orvana::sensors {
namespace {

using orvana::testing::slurp;

using namespace std::chrono_literals;
using testing::SensorTestHost;

const std::string kSep = "---------------------------------------";

// The vendor's side of the file: a read-write connection of its own.
class Vendor {
  public:
    explicit Vendor(const std::string& path, bool create = true) {
        EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
        if (create)
            exec(
                "CREATE TABLE energy_history (year INTEGER, month INTEGER, day INTEGER, hour "
                "INTEGER, min INTEGER, unused INTEGER, energy REAL, extra INTEGER)");
    }
    ~Vendor() { sqlite3_close(db_); }
    void exec(const std::string& sql) {
        char* err = nullptr;
        EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK)
            << sql << ": " << (err ? err : "");
        sqlite3_free(err);
    }
    // The row of the local minute of t.
    void add(TimeT t, double energy) {
        const LocalTime l = toLocal(t);
        std::ostringstream s;
        s.precision(17);
        s << "INSERT INTO energy_history VALUES (" << l.year << "," << l.month << "," << l.day
          << "," << l.hour << "," << l.minute << ",0," << energy << ",7)";
        exec(s.str());
    }
    void fill(TimeT from, TimeT to, double energy) {
        exec("BEGIN");
        for (TimeT t = from; t <= to; t += 60)
            add(t, energy);
        exec("COMMIT");
    }

  private:
    sqlite3* db_ = nullptr;
};

class OwlTest : public ::testing::Test {
  protected:
    // 12:00:30; the vendor's newest row is the minute 12:00.
    OwlTest()
        : tz_("Asia/Tokyo"),
          now_(fromLocal(2026, 5, 3, 12, 0, 30)),
          minute_(fromLocal(2026, 5, 3, 12, 0, 0)),
          host_(now_) {
        host_.store_.writeString("Setting", "DATA_DIR", data_.path());
        host_.store_.writeInt("Setting", "DATA_KEEP_PERIOD", 3);  // 24 hours
    }

    std::string dbPath() const { return vendorDir_.file("be.db"); }

    // The monitor over the vendor's file, opened with notices on. Returns
    // null (test failure) when CheckDevice says no.
    OwlMonitor* open(OwlReadMode mode = OwlReadMode::Incremental,
                     std::function<void()> onBusy = {}) {
        SqliteVendorDatabaseOptions o;
        o.mode = mode;
        o.onBusy = std::move(onBusy);
        db_ = makeSqliteVendorDatabase(dbPath(), o);
        monitor_ = std::make_unique<OwlMonitor>(host_, db_.get());
        EXPECT_EQ(monitor_->CheckDevice(), 1);
        monitor_->LoadSettings();
        monitor_->mNotify = 1;
        monitor_->Open();
        return monitor_.get();
    }

    orvana::testing::ScopedTz tz_;
    orvana::testing::TempDir data_, vendorDir_;
    TimeT now_, minute_;
    SensorTestHost host_;
    std::unique_ptr<VendorDatabase> db_;
    std::unique_ptr<OwlMonitor> monitor_;
};

TEST_F(OwlTest, ThreeDaysOfRowsWithTheOneDayKeepPeriodLoadExactlyTheLast24Hours) {
    {
        Vendor v(dbPath());
        v.fill(minute_ - 3 * 86400, minute_, 20.0);
    }
    OwlMonitor& m = *open();
    const COwlRecordArray& s = m.series();
    ASSERT_EQ(s.GetSize(), 1440);
    EXPECT_EQ(s[0].m_Time, now_ - 86400 + 30);  // 12:01 yesterday: not before the cut-off
    EXPECT_EQ(s[s.size() - 1].m_Time, minute_);
    EXPECT_DOUBLE_EQ(s[0].m_Power, 1.2);  // column 6 = 20 gives 1.2 kW
    EXPECT_EQ(m.title(), "電力監視値： 1.200[kW] (15分間電力)");
    EXPECT_EQ(m.lastCycle().status, OwlCycleResult::Status::Read);
    EXPECT_EQ(m.statusBlock(),
              "電力：1.2[kW]\r\n  24H(min:1.2[kW],ave:1.2[kW],max:1.2[kW])\r\n\r\n");
}

TEST_F(OwlTest, RowsAlreadyInTheSeriesAreNotAddedAgainAndIncrementalAgreesWithFull) {
    Vendor v(dbPath());
    v.fill(minute_ - 3600, minute_, 10.0);
    OwlMonitor& inc = *open(OwlReadMode::Incremental);
    SqliteVendorDatabaseOptions fullOptions;
    fullOptions.mode = OwlReadMode::Full;
    auto fullDb = makeSqliteVendorDatabase(dbPath(), fullOptions);
    OwlMonitor full(host_, fullDb.get());
    ASSERT_EQ(full.CheckDevice(), 1);
    full.DoMeasure();
    ASSERT_EQ(inc.series().GetSize(), 61);

    for (int cycle = 1; cycle <= 6; ++cycle) {
        if (cycle % 2 == 0)
            v.add(minute_ + 30 * cycle, 10.0 + cycle);  // one new minute every minute
        host_.clock_.advanceSeconds(30);
        EXPECT_EQ(inc.DoMeasure(), 1);
        EXPECT_EQ(full.DoMeasure(), 1);
    }
    const COwlRecordArray& s = inc.series();
    ASSERT_EQ(s.GetSize(), 64);
    std::set<TimeT> times;
    for (const COwlRecord& r : s)
        times.insert(r.m_Time);
    EXPECT_EQ(times.size(), 64u);
    EXPECT_TRUE(inc.lastCycle().incremental);
    ASSERT_EQ(full.series().GetSize(), s.GetSize());
    for (int i = 0; i < s.GetSize(); ++i) {
        EXPECT_EQ(full.series()[i].m_Time, s[i].m_Time);
        EXPECT_EQ(full.series()[i].m_Power, s[i].m_Power);
    }
}

TEST_F(OwlTest, TheTitleNamesTheAveragingWindow) {
    {
        Vendor v(dbPath());
        for (int i = 0; i < 60; ++i)
            v.add(minute_ - 60 * (59 - i), i < 45 ? 0.0 : 50.0);  // last 15 minutes 3 kW
    }
    OwlMonitor& m = *open();  // WarnMaType 2: 15 records
    EXPECT_EQ(m.title(), "電力監視値： 3.000[kW] (15分間電力)");
    m.WarnMaType = 4;
    m.DoMeasure();
    EXPECT_EQ(m.title(), "電力監視値： 0.750[kW] (1時間電力)");
    m.WarnMaType = 0;
    m.DoMeasure();
    EXPECT_EQ(m.title(), "電力監視値： 3.000[kW] (瞬時電力(1分計))");
    m.WarnMaType = 3;
    m.DoMeasure();
    EXPECT_EQ(m.title(), "電力監視値： 1.500[kW] (30分間電力)");
}

TEST_F(OwlTest, HighAndLowAlarmsCompareStrictlyWithTheSharedHysteresis) {
    { Vendor v(dbPath()); }  // the vendor's table, still without rows
    OwlMonitor& m = *open();
    m.WarnMaType = 0;
    m.WarnHiEnable = 1;
    m.WarnHiTh = 2.0;
    m.WarnHiste = 0.2;
    // The newest record is the value of the cycle.
    auto cycle = [&](double kw) {
        host_.clock_.advanceSeconds(30);
        m.series().AddRecord(host_.clock_.now(), kw);
        EXPECT_EQ(m.DoMeasure(), 1);
    };
    cycle(2.0);
    EXPECT_TRUE(host_.lines().empty());
    cycle(2.01);
    EXPECT_EQ(host_.takeLines(), (std::vector<std::string>{kSep, "[2]>>>電力異常発生<<<"}));
    auto mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].kind, ALERT_OWL);
    EXPECT_EQ(mails[0].title, "電力異常発生");
    EXPECT_EQ(mails[0].text,
              "\r\n過電力状態を検出しました。\r\n電力監視値： 2.010[kW] (瞬時電力(1分計))");
    cycle(1.81);
    EXPECT_TRUE(host_.takeLines().empty());
    cycle(1.79);
    EXPECT_EQ(host_.takeLines(), (std::vector<std::string>{"[2]>>>電力回復<<<", kSep}));
    mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].title, "電力回復");
    EXPECT_EQ(mails[0].text,
              "\r\n過電力状態から復帰しました。\r\n電力監視値： 1.790[kW] (瞬時電力(1分計))");

    // The low alarm with the default limit 3.0 and the same hysteresis.
    m.WarnHiEnable = 0;
    m.WarnLoEnable = 1;
    cycle(3.0);
    EXPECT_TRUE(host_.takeLines().empty());
    cycle(2.99);
    mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].text,
              "\r\n低電力状態を検出しました。\r\n電力監視値： 2.990[kW] (瞬時電力(1分計))");
    cycle(3.2);
    EXPECT_TRUE(host_.takeMails().empty());
    cycle(3.21);
    mails = host_.takeMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].title, "電力回復");
    EXPECT_EQ(mails[0].text.rfind("\r\n低電力状態から復帰しました。\r\n", 0), 0u);
}

TEST_F(OwlTest, AnEmptySeriesShowsZeroAndEvaluatesNoAlarm) {
    { Vendor v(dbPath()); }
    OwlMonitor& m = *open();
    m.WarnLoEnable = 1;  // 0 kW would be below 3.0
    EXPECT_EQ(m.DoMeasure(), 1);
    EXPECT_EQ(m.title(), "電力監視値： 0.000[kW] (15分間電力)");
    EXPECT_TRUE(host_.lines().empty());
    EXPECT_EQ(m.CostText(60), "概算電力料金(1時間):   0.0[円] ");
}

TEST_F(OwlTest, TheCostOfAGraphIsThePriceTimesTheAveragePowerTimesItsHours) {
    {
        Vendor v(dbPath());
        v.fill(minute_ - 1439 * 60, minute_, 0.5 / 0.06);
    }
    OwlMonitor& m = *open();
    ASSERT_EQ(m.series().GetSize(), 1440);
    EXPECT_EQ(m.CostPerKW, 25.0);
    EXPECT_EQ(m.CostText(1440), "概算電力料金(1日間): 300.0[円] ");
    EXPECT_EQ(m.CostText(180), "概算電力料金(3時間):  37.5[円] ");
    EXPECT_EQ(m.CostText(2880), "概算電力料金(2日間): 600.0[円] ");  // the average of 1440
}

TEST_F(OwlTest, TheVendorsFileKeepsItsBytesAndTimeAndNothingIsAddedBesideIt) {
    {
        Vendor v(dbPath());
        v.fill(minute_ - 600, minute_, 15.0);
    }
    struct stat before {};
    ASSERT_EQ(::stat(dbPath().c_str(), &before), 0);
    const std::string bytes = slurp(dbPath());
    OwlMonitor& m = *open();
    for (int i = 0; i < 5; ++i) {
        host_.clock_.advanceSeconds(30);
        m.DoMeasure();
    }
    m.SaveSettingBeforeClose();
    monitor_.reset();
    db_.reset();
    struct stat after {};
    ASSERT_EQ(::stat(dbPath().c_str(), &after), 0);
    EXPECT_EQ(slurp(dbPath()), bytes);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(vendorDir_.path()))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, std::set<std::string>{"be.db"});
    // Its own data file has what it read.
    EXPECT_NE(slurp(data_.file("OwlData.csv")).find("2026,5,3,12,0,0,0.9\r\n"), std::string::npos);
}

TEST_F(OwlTest, AMissingFileIsNotCreatedAndAFileThatGoesAwaySkipsTheCycle) {
    auto db = makeSqliteVendorDatabase(dbPath());
    OwlMonitor absent(host_, db.get());
    EXPECT_EQ(absent.CheckDevice(), 0);
    EXPECT_FALSE(absent.bDB);
    EXPECT_EQ(absent.DoMeasure(), 0);
    EXPECT_FALSE(std::filesystem::exists(dbPath()));
    OwlMonitor none(host_, nullptr);
    EXPECT_EQ(none.CheckDevice(), 0);

    {
        Vendor v(dbPath());
        v.fill(minute_ - 60, minute_, 10.0);
    }
    OwlMonitor& m = *open();
    EXPECT_TRUE(m.bDB);
    const std::string title = m.title();
    std::filesystem::remove(dbPath());
    host_.clock_.advanceSeconds(30);
    EXPECT_EQ(m.DoMeasure(), 0);
    EXPECT_EQ(m.title(), title);
    EXPECT_FALSE(std::filesystem::exists(dbPath()));
    EXPECT_EQ(m.series().GetSize(), 2);

    // A file without the table reads as a table without rows.
    {
        Vendor v(dbPath(), false);
        v.exec("CREATE TABLE other (x)");
    }
    host_.clock_.advanceSeconds(30);
    EXPECT_EQ(m.DoMeasure(), 1);
    EXPECT_EQ(m.lastCycle().status, OwlCycleResult::Status::QueryFailed);
    EXPECT_EQ(m.series().GetSize(), 2);
}

TEST_F(OwlTest, AWriterHoldingAWriteTransactionWhenTheCycleStartsDoesNotCostTheCycle) {
    Vendor v(dbPath());
    v.fill(minute_ - 600, minute_, 10.0);
    // The vendor's software commits as soon as the cycle finds its lock.
    std::promise<void> seen;
    std::atomic<bool> once{false};
    OwlMonitor& m = *open(OwlReadMode::Incremental, [&] {
        if (!once.exchange(true))
            seen.set_value();
    });
    ASSERT_EQ(m.series().GetSize(), 11);

    // It writes the next minute inside an exclusive transaction.
    std::promise<void> locked;
    std::thread writer([&] {
        v.exec("BEGIN EXCLUSIVE");
        v.add(minute_ + 60, 30.0);
        locked.set_value();
        seen.get_future().wait_for(30s);
        v.exec("COMMIT");
    });
    locked.get_future().wait();
    host_.clock_.setNow(minute_ + 90);
    const int result = m.DoMeasure();
    writer.join();
    EXPECT_TRUE(once.load());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(m.lastCycle().status, OwlCycleResult::Status::Read);
    ASSERT_EQ(m.series().GetSize(), 12);
    EXPECT_DOUBLE_EQ(m.series()[11].m_Power, 1.8);
}

TEST_F(OwlTest, ValuesOutsideTheirMeaningTakeTheirDefaultsAndAreNamedOnce) {
    // Each load on a section of its own.
    std::vector<std::unique_ptr<SensorTestHost>> hosts;
    auto load = [&](std::initializer_list<std::pair<const char*, const char*>> values) {
        auto& host = *hosts.emplace_back(std::make_unique<SensorTestHost>(now_));
        for (const auto& [key, text] : values)
            host.store_.mem.writeString("Owl", key, text);
        auto m = std::make_unique<OwlMonitor>(host, nullptr);
        m->LoadSettings();
        return m;
    };
    auto lines = [&] { return hosts.back()->takeLines(); };
    auto line = [](const char* keys) {
        return std::vector<std::string>{std::string("[2]設定値が不正なため既定値に戻しました: ") +
                                        keys};
    };

    auto m = load({{"CostPerKW", "-3.5"},  // any price, as the dialog takes it
                   {"AutoYScale", "2"},
                   {"WarnHiste", "-0.1"},
                   {"WarnLoTh", "inf"},
                   {"WarnHiTh", "1e300"},  // any limit
                   {"WarnMaType", "9"},
                   {"MaTypeR1", "4"},
                   {"MaTypeR2", "5"},
                   {"PeriodR", "-1"},
                   {"PeriodL", "5"},
                   {"MaTypeL1", "x"},
                   {"MaTypeL2", "0"},
                   {"WarnHiEnable", "2"},
                   {"WarnLoEnable", "1"},
                   {"mNotify", "1"}});
    EXPECT_EQ(lines(), line("Owl/AutoYScale, Owl/MaTypeL1, Owl/PeriodR, Owl/MaTypeR2, "
                            "Owl/WarnMaType, Owl/WarnHiEnable, Owl/WarnLoTh, "
                            "Owl/WarnHiste"));
    EXPECT_EQ(m->CostPerKW, -3.5);
    EXPECT_EQ(m->AutoYScale, 1);
    EXPECT_EQ(m->WarnHiste, 0.2);
    EXPECT_EQ(m->WarnLoTh, 3.0);
    EXPECT_EQ(m->WarnHiTh, 1e300);
    EXPECT_EQ(m->WarnMaType, 2);
    EXPECT_EQ(m->MaTypeR1, 4);
    EXPECT_EQ(m->MaTypeR2, 3);
    EXPECT_EQ(m->PeriodR, 0);
    EXPECT_EQ(m->PeriodL, 5);
    EXPECT_EQ(m->MaTypeL1, 4);
    EXPECT_EQ(m->MaTypeL2, 0);
    EXPECT_EQ(m->WarnHiEnable, 0);
    EXPECT_EQ(m->WarnLoEnable, 1);
    EXPECT_EQ(m->mNotify, 1);

    // The axis: a step not above 0 is wrong alone; the rest of the axis
    // stays when it then holds.
    m = load({{"Ymin", "1"}, {"Ymax", "3"}, {"Ystep", "0"}});
    EXPECT_EQ(lines(), line("Owl/Ystep"));
    EXPECT_EQ(m->Ymin, 1.0);
    EXPECT_EQ(m->Ymax, 3.0);
    EXPECT_EQ(m->Ystep, 1.0);
    // Reversed: the whole axis takes its defaults; a key not stored, or
    // stored as its default, was not reset.
    m = load({{"Ymin", "5"}, {"Ymax", "2"}});
    EXPECT_EQ(lines(), line("Owl/Ymin, Owl/Ymax"));
    EXPECT_EQ(m->Ymin, 0.0);
    EXPECT_EQ(m->Ymax, 4.0);
    m = load({{"Ymin", "0"}, {"Ymax", "4"}, {"Ystep", "0.001"}});  // 4000 grid lines
    EXPECT_EQ(lines(), line("Owl/Ystep"));
    EXPECT_EQ(m->Ystep, 1.0);
    // What the dialog accepts stays: 1000 steps, an empty range, no hysteresis.
    m = load({{"Ymin", "0"}, {"Ymax", "4"}, {"Ystep", "0.004"}, {"WarnHiste", "0"}});
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(m->Ystep, 0.004);
    EXPECT_EQ(m->WarnHiste, 0.0);
    m = load({{"Ymin", "2"}, {"Ymax", "2"}, {"Ystep", "1e-300"}});
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(m->Ymin, 2.0);
    EXPECT_EQ(m->Ystep, 1e-300);
}

TEST_F(OwlTest, SettingsDefaultsAndWritingOrder) {
    { Vendor v(dbPath()); }
    OwlMonitor& m = *open();
    EXPECT_EQ(m.WarnHiTh, 0.2);
    EXPECT_EQ(m.WarnLoTh, 3.0);
    EXPECT_EQ(m.WarnMaType, 2);
    host_.store_.written.clear();
    m.SaveSettingBeforeClose();
    std::vector<std::string> keys;
    for (const std::string& w : host_.store_.written)
        keys.push_back(w.substr(4));
    EXPECT_EQ(keys,
              (std::vector<std::string>{
                  "left",         "top",      "right",    "bottom",   "mNotify",    "CostPerKW",
                  "AutoYScale",   "Ymin",     "Ymax",     "Ystep",    "PeriodL",    "MaTypeL1",
                  "MaTypeL2",     "PeriodR",  "MaTypeR1", "MaTypeR2", "WarnMaType", "WarnHiEnable",
                  "WarnLoEnable", "WarnLoTh", "WarnHiTh", "WarnHiste"}));
    EXPECT_EQ(host_.store_.mem.getString("Owl", "CostPerKW", ""), "25");
    EXPECT_EQ(host_.store_.mem.getString("Owl", "WarnHiste", ""), "0.2");
    EXPECT_EQ(m.msUntilNextTimer(), 30000);
}

}  // namespace
}  // namespace orvana::sensors
