#include "sensors/owl_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/sensors/owl_reference.h"
#include "tests/sensors/test_dirs.h"

namespace orvana {

// Readable test names and failure lines for the parameter.
void PrintTo(OwlReadMode mode, std::ostream* os) {
    *os << (mode == OwlReadMode::Incremental ? "Incremental" : "Full");
}

namespace {

using orvana::testing::slurp;

using namespace std::chrono_literals;
using testing::referenceCycle;
using testing::ScopedTz;
using testing::TempDir;
using Status = OwlCycleResult::Status;

constexpr const char* kCreateTable =
    "CREATE TABLE energy_history (year INTEGER, month INTEGER, day INTEGER, hour INTEGER, "
    "min INTEGER, unused INTEGER, energy REAL, extra INTEGER)";

// The vendor's side: a read-write connection that writes energy_history the
// way the vendor's software would. Closed before the reader's checks that
// need a quiet file.
class VendorTable {
  public:
    explicit VendorTable(const std::string& path, const char* create = kCreateTable) {
        EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
        exec("PRAGMA synchronous=OFF");  // no flush per row on a busy test machine
        if (create)
            exec(create);
    }
    ~VendorTable() { close(); }

    void exec(const std::string& sql) {
        char* err = nullptr;
        const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
        EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (err ? err : "");
        sqlite3_free(err);
    }

    // `values`: the row's SQL values, column 0 first.
    void addValues(const std::string& values, std::optional<std::int64_t> rowid = {}) {
        if (rowid)
            exec(
                "INSERT INTO energy_history (rowid, year, month, day, hour, min, unused, energy, "
                "extra) VALUES (" +
                std::to_string(*rowid) + "," + values + ")");
        else
            exec("INSERT INTO energy_history VALUES (" + values + ")");
    }

    // A row for the local minute of t.
    void add(TimeT t, double energy, std::optional<std::int64_t> rowid = {}) {
        addValues(fields(t) + "," + num(energy) + ",0", rowid);
    }

    // One row per minute from `from` to `to` (both local minutes), energy
    // energyAt(t).
    template <class F>
    void fill(TimeT from, TimeT to, F energyAt) {
        exec("BEGIN");
        for (TimeT t = from; t <= to; t += 60)
            add(t, energyAt(t));
        exec("COMMIT");
    }

    void close() {
        if (db_)
            sqlite3_close(db_);
        db_ = nullptr;
    }

    static std::string fields(TimeT t) {
        const LocalTime lt = toLocal(t);
        std::ostringstream s;
        s << lt.year << "," << lt.month << "," << lt.day << "," << lt.hour << "," << lt.minute
          << ",0";
        return s.str();
    }
    static std::string num(double v) {
        std::ostringstream s;
        s.precision(17);
        s << v;
        return s.str();
    }

  private:
    sqlite3* db_ = nullptr;
};

// Values that differ from row to row, so a record in the wrong place shows.
double energyOf(TimeT t) {
    return static_cast<double>((t / 60) % 97) + 0.5;
}

using Contents = std::vector<std::pair<TimeT, double>>;

Contents contents(const COwlRecordArray& s) {
    Contents c;
    for (const COwlRecord& r : s)
        c.emplace_back(r.m_Time, r.m_Power);
    return c;
}

std::set<std::string> listing(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

class OwlDatabaseTest : public ::testing::TestWithParam<OwlReadMode> {
  protected:
    OwlDatabaseTest() : tz_("Asia/Tokyo"), path_(dir_.file("be.db")) {}

    std::unique_ptr<VendorDatabase> reader(SqliteVendorDatabaseOptions o = {}) {
        o.mode = GetParam();
        return makeSqliteVendorDatabase(path_, std::move(o));
    }

    ScopedTz tz_;
    TempDir dir_;
    std::string path_;
    const TimeT now_ = fromLocal(2026, 5, 3, 15, 0, 0);
};

TEST_P(OwlDatabaseTest, ThreeDaysOfRowsWithKeepIndex3LoadExactlyTheLast24Hours) {
    VendorTable vendor(path_);
    vendor.fill(now_ - 3 * 86400, now_, energyOf);
    vendor.close();

    auto db = reader();
    COwlRecordArray series;
    const TimeT cutoff = keepCutoff(now_, 3);
    ASSERT_EQ(cutoff, now_ - 86400);
    const OwlCycleResult r = db->readCycle(series, cutoff);
    EXPECT_EQ(r.status, Status::Read);
    if (GetParam() == OwlReadMode::Incremental) {
        // Only the rows from the last one before the cut-off on, found by
        // bisecting the rowids, not the whole three days.
        EXPECT_TRUE(r.incremental);
        EXPECT_TRUE(r.searched);
        EXPECT_LT(r.rowsRead, 1441u + 64);
    }
    // Every minute from the cut-off (a row at the cut-off itself is not
    // earlier than it) to now, in time order.
    Contents want;
    for (TimeT t = cutoff; t <= now_; t += 60)
        want.emplace_back(t, energyOf(t) * 0.06);
    EXPECT_EQ(r.added, want.size());
    EXPECT_EQ(contents(series), want);
    for (const COwlRecord& rec : series)
        EXPECT_EQ(rec.m_MaWindow, 0);

    // A cut-off one second later leaves that first minute out.
    COwlRecordArray later;
    db->readCycle(later, cutoff + 1);
    ASSERT_EQ(later.size(), want.size() - 1);
    EXPECT_EQ(later[0].m_Time, cutoff + 60);
}

TEST_P(OwlDatabaseTest, ColumnsAreReadByPositionAsTextAndDamagedRowsAreSkipped) {
    // No declared types: each value keeps the storage class it was written
    // with, as a careless writer would leave it.
    VendorTable vendor(path_, "CREATE TABLE energy_history (a, b, c, d, e, f, g, h)");
    const std::string day = "2026,5,3";
    vendor.addValues(day + ",14,0,0,20,0");                           // integers
    vendor.addValues("'2026','5','3','14','1','x','20','y'");         // text
    vendor.addValues("2026.0,5.0,3.0,14.0,2.0,0,20.0,0");             // reals
    vendor.addValues("NULL," + std::string("5,3,14,3,0,20,0"));       // no year
    vendor.addValues("' 2026','+5','3','14','4abc',NULL,'7.5e1',0");  // loose text
    vendor.addValues("2026,13,3,14,5,0,20,0");                        // month 13
    vendor.addValues(day + ",14,6,0,NULL,0");                         // no energy
    vendor.addValues(day + ",14,7,0,'abc',0");                        // not a number
    vendor.addValues(day + ",24,0,0,20,0");                           // hour 24
    vendor.addValues(day + ",14,8,0,'1,5',0");                        // decimal comma
    vendor.addValues(day + ",14,9,0,2.5,0");
    vendor.close();

    auto db = reader();
    COwlRecordArray series;
    const OwlCycleResult r = db->readCycle(series, now_ - 86400);
    EXPECT_EQ(r.status, Status::Read);
    auto at = [](int minute) { return fromLocal(2026, 5, 3, 14, minute, 0); };
    // The damaged rows neither load nor stop the backward pass: the rows
    // before them still load.
    const Contents want = {{at(0), 20 * 0.06}, {at(1), 20 * 0.06}, {at(2), 20 * 0.06},
                           {at(4), 75 * 0.06}, {at(6), 0.0},       {at(7), 0.0},
                           {at(8), 1 * 0.06},  {at(9), 2.5 * 0.06}};
    EXPECT_EQ(contents(series), want);
    ASSERT_FALSE(series.empty());
    EXPECT_DOUBLE_EQ(series[0].m_Power, 1.2);

    COwlRecordArray ref;
    ASSERT_TRUE(referenceCycle(path_, ref, now_ - 86400));
    EXPECT_EQ(contents(series), contents(ref));
}

TEST_P(OwlDatabaseTest, NoRowIsAddedTwice) {
    VendorTable vendor(path_);
    vendor.fill(now_ - 7200, now_, energyOf);
    auto db = reader();
    const TimeT cutoff = keepCutoff(now_, 3);

    COwlRecordArray series;
    ASSERT_EQ(db->readCycle(series, cutoff).added, 121u);
    const Contents first = contents(series);
    for (int i = 0; i < 3; ++i) {
        const OwlCycleResult r = db->readCycle(series, cutoff + 30 * (i + 1));
        EXPECT_EQ(r.status, Status::Read);
        EXPECT_EQ(r.added, 0u);
    }
    EXPECT_EQ(contents(series), first);

    // Three new minutes come in once.
    vendor.fill(now_ + 60, now_ + 180, energyOf);
    EXPECT_EQ(db->readCycle(series, cutoff + 120).added, 3u);
    EXPECT_EQ(db->readCycle(series, cutoff + 150).added, 0u);
    EXPECT_EQ(series.size(), 124u);

    // A series loaded from the data file already holding those minutes
    // takes only the minutes after its newest.
    COwlRecordArray loaded;
    for (TimeT t = now_ - 3600; t <= now_ + 60; t += 60)
        loaded.AddRecord(t, 9.0);
    const OwlCycleResult r = db->readCycle(loaded, now_ - 3600);
    EXPECT_EQ(r.added, 2u);
    ASSERT_EQ(loaded.size(), 64u);
    EXPECT_EQ(loaded[61].m_Power, 9.0);
    EXPECT_EQ(loaded[62].m_Time, now_ + 120);
    EXPECT_EQ(loaded[63].m_Time, now_ + 180);
}

TEST_P(OwlDatabaseTest, OlderHistoryComesInWhenTheKeepPeriodGrowsOrTheDataFileIsShort) {
    // A table ten hours young: its first row lies inside a 24-hour keep period.
    VendorTable vendor(path_);
    vendor.fill(now_ - 10 * 3600, now_, energyOf);
    auto db = reader();

    COwlRecordArray series;
    ASSERT_EQ(db->readCycle(series, keepCutoff(now_, 2)).added, 8u * 60 + 1);
    series.PrecalPowerMA(5, 0, series.GetSize() - 1);
    const COwlRecord newestBefore = series[series.size() - 1];

    // 8 hours -> 24 hours: the forward pass brings the two older hours.
    const OwlCycleResult r = db->readCycle(series, keepCutoff(now_ + 30, 3));
    EXPECT_EQ(r.added, 120u);
    EXPECT_EQ(r.incremental, GetParam() == OwlReadMode::Incremental);
    Contents want;
    for (TimeT t = now_ - 10 * 3600; t <= now_; t += 60)
        want.emplace_back(t, energyOf(t) * 0.06);
    EXPECT_EQ(contents(series), want);
    // The records already there keep their cached averages; the new ones
    // have none.
    EXPECT_EQ(series[0].m_MaWindow, 0);
    EXPECT_EQ(series[series.size() - 1].m_MaWindow, 5);
    EXPECT_EQ(series[series.size() - 1].m_MaValue, newestBefore.m_MaValue);

    // A data file holding only the last hour, read with a 24-hour keep
    // period: older rows from the front, newer ones from the back.
    vendor.fill(now_ + 60, now_ + 120, energyOf);
    COwlRecordArray loaded;
    for (TimeT t = now_ - 3600; t <= now_; t += 60)
        loaded.AddRecord(t, energyOf(t) * 0.06);
    COwlRecordArray ref = loaded;
    db->readCycle(loaded, keepCutoff(now_ + 60, 3));
    ASSERT_TRUE(referenceCycle(path_, ref, keepCutoff(now_ + 60, 3)));
    EXPECT_EQ(loaded.size(), 10u * 60 + 3);
    EXPECT_EQ(contents(loaded), contents(ref));
}

TEST_P(OwlDatabaseTest, TheVendorsFileKeepsItsBytesAndModificationTime) {
    VendorTable vendor(path_);
    vendor.fill(now_ - 3 * 3600, now_, energyOf);
    vendor.close();
    // An old stamp, so that any write would show.
    const auto stamp = std::filesystem::last_write_time(path_) - 1h;
    std::filesystem::last_write_time(path_, stamp);
    const std::string bytes = slurp(path_);
    const auto names = listing(dir_.path());

    auto db = reader();
    EXPECT_TRUE(db->canOpen());
    COwlRecordArray series;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(db->readCycle(series, keepCutoff(now_ + 30 * i, 3)).status, Status::Read);
    EXPECT_EQ(series.size(), 181u);

    EXPECT_EQ(std::filesystem::last_write_time(path_), stamp);
    EXPECT_EQ(slurp(path_), bytes);
    EXPECT_EQ(listing(dir_.path()), names);  // no journal or lock file left
}

TEST_P(OwlDatabaseTest, AMissingFileIsNoDeviceAndIsNotCreated) {
    auto db = reader();
    EXPECT_FALSE(db->canOpen());
    COwlRecordArray series;
    series.AddRecord(now_, 1.0);
    const OwlCycleResult r = db->readCycle(series, keepCutoff(now_, 3));
    EXPECT_EQ(r.status, Status::NotOpened);
    EXPECT_EQ(r.added, 0u);
    EXPECT_EQ(series.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(path_));
    EXPECT_TRUE(listing(dir_.path()).empty());

    // Nor in a folder that does not exist.
    auto nowhere = makeSqliteVendorDatabase(dir_.file("2SE/be.db"));
    EXPECT_FALSE(nowhere->canOpen());
    EXPECT_EQ(nowhere->readCycle(series, 0).status, Status::NotOpened);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("2SE")));
}

TEST_P(OwlDatabaseTest, ATableThatCannotBeReadAddsNothing) {
    {
        // An empty database, as the vendor's software leaves it before its
        // first run: it opens, and its missing table reads as no rows.
        VendorTable vendor(path_, "CREATE TABLE other (x)");
    }
    auto db = reader();
    EXPECT_TRUE(db->canOpen());
    COwlRecordArray series;
    series.AddRecord(now_, 1.0);
    EXPECT_EQ(db->readCycle(series, 0).status, Status::QueryFailed);

    // Fewer than the seven columns read.
    VendorTable narrow(path_, "CREATE TABLE energy_history (a, b, c, d, e, f)");
    narrow.addValues("2026,5,3,15,1,0");
    EXPECT_EQ(db->readCycle(series, 0).status, Status::QueryFailed);
    EXPECT_EQ(series.size(), 1u);

    // Not a database at all.
    std::ofstream(dir_.file("text.db")) << "2026,5,3,15,1,0,20\n";
    auto text = makeSqliteVendorDatabase(dir_.file("text.db"));
    EXPECT_EQ(text->readCycle(series, 0).status, Status::QueryFailed);
    EXPECT_EQ(series.size(), 1u);
}

TEST_P(OwlDatabaseTest, ATableWithoutRowidsIsReadInFull) {
    VendorTable vendor(path_,
                       "CREATE TABLE energy_history (year, month, day, hour, min, unused, energy, "
                       "PRIMARY KEY (year, month, day, hour, min)) WITHOUT ROWID");
    for (TimeT t = now_ - 600; t <= now_; t += 60)
        vendor.addValues(VendorTable::fields(t) + "," + VendorTable::num(energyOf(t)));
    auto db = reader();
    COwlRecordArray series;
    EXPECT_EQ(db->readCycle(series, keepCutoff(now_, 0)).added, 11u);
    vendor.addValues(VendorTable::fields(now_ + 60) + ",4");
    const OwlCycleResult r = db->readCycle(series, keepCutoff(now_ + 60, 0));
    EXPECT_EQ(r.added, 1u);
    EXPECT_FALSE(r.incremental);
    EXPECT_EQ(db->readCycle(series, keepCutoff(now_ + 90, 0)).added, 0u);
    ASSERT_EQ(series.size(), 12u);
    EXPECT_DOUBLE_EQ(series[11].m_Power, 0.24);
}

INSTANTIATE_TEST_SUITE_P(BothReads, OwlDatabaseTest,
                         ::testing::Values(OwlReadMode::Incremental, OwlReadMode::Full),
                         [](const auto& info) {
                             return info.param == OwlReadMode::Incremental ? "Incremental" : "Full";
                         });

// ---- the incremental read against the full one ----

class OwlIncrementalTest : public ::testing::Test {
  protected:
    OwlIncrementalTest() : tz_("Asia/Tokyo"), path_(dir_.file("be.db")) {}

    ScopedTz tz_;
    TempDir dir_;
    std::string path_;
    const TimeT now_ = fromLocal(2026, 5, 3, 15, 0, 0);
};

TEST_F(OwlIncrementalTest, ACycleReadsOnlyTheRowsWrittenSinceTheLast) {
    VendorTable vendor(path_);
    vendor.fill(now_ - 3 * 86400, now_, energyOf);
    auto db = makeSqliteVendorDatabase(path_);
    COwlRecordArray series;
    const OwlCycleResult first = db->readCycle(series, keepCutoff(now_, 3));
    EXPECT_TRUE(first.searched);
    EXPECT_EQ(first.added, 1441u);
    EXPECT_LT(first.rowsRead, 1441u + 64);

    vendor.fill(now_ + 60, now_ + 120, energyOf);
    const OwlCycleResult next = db->readCycle(series, keepCutoff(now_ + 30, 3));
    EXPECT_TRUE(next.incremental);
    EXPECT_FALSE(next.searched);
    EXPECT_EQ(next.added, 2u);
    // The anchor, the two new rows, and the first row of the table at most.
    EXPECT_LE(next.rowsRead, 4u);

    const OwlCycleResult idle = db->readCycle(series, keepCutoff(now_ + 60, 3));
    EXPECT_TRUE(idle.incremental);
    EXPECT_EQ(idle.added, 0u);
    EXPECT_LE(idle.rowsRead, 2u);
}

// The cost of a cycle counted in SQLite's own steps, on one day of rows and
// on twenty: a first cycle (series from the data file, no read position),
// a cycle with a new row and an idle one barely change; the full read grows
// with the table.
TEST_F(OwlIncrementalTest, TheCostOfACycleDoesNotGrowWithTheTable) {
    struct Costs {
        std::size_t first = 0, next = 0, idle = 0, full = 0;
    };
    auto measure = [&](const std::string& path, int days) {
        VendorTable vendor(path);
        vendor.fill(now_ - days * 86400, now_ - 60, energyOf);
        COwlRecordArray series;
        for (TimeT t = now_ - 3600; t <= now_ - 120; t += 60)
            series.AddRecord(t, energyOf(t) * 0.06);
        auto db = makeSqliteVendorDatabase(path);
        Costs c;
        OwlCycleResult r = db->readCycle(series, keepCutoff(now_, 2));
        EXPECT_TRUE(r.searched);
        EXPECT_EQ(r.added, 1u);
        c.first = r.work;
        vendor.add(now_, 1.0);
        r = db->readCycle(series, keepCutoff(now_ + 30, 2));
        EXPECT_EQ(r.added, 1u);
        c.next = r.work;
        c.idle = db->readCycle(series, keepCutoff(now_ + 60, 2)).work;
        SqliteVendorDatabaseOptions o;
        o.mode = OwlReadMode::Full;
        c.full =
            makeSqliteVendorDatabase(path, o)->readCycle(series, keepCutoff(now_ + 90, 2)).work;
        return c;
    };
    const Costs small = measure(dir_.file("day.db"), 1);
    const Costs big = measure(dir_.file("days.db"), 20);
    EXPECT_GT(big.full, small.full * 10);  // the measure sees the table's size
    EXPECT_LT(big.first, small.first * 2);
    EXPECT_LT(big.next, small.next * 2);
    EXPECT_LT(big.idle, small.idle * 2);
    EXPECT_LT(big.next * 100, big.full);
}

TEST_F(OwlIncrementalTest, RowidsOutOfTimeOrderAreReadExactlyAndFallBackWhenNothingStopsThePass) {
    VendorTable vendor(path_);
    // Rowids 100 ... 159 for the minutes of the last hour.
    for (int i = 0; i < 60; ++i)
        vendor.add(now_ - 3540 + 60 * i, i + 1.0, 100 + i);
    auto db = makeSqliteVendorDatabase(path_);
    COwlRecordArray series, ref;
    TimeT clock = now_;
    auto cycle = [&] {
        clock += 30;
        const OwlCycleResult r = db->readCycle(series, keepCutoff(clock, 3));
        EXPECT_TRUE(referenceCycle(path_, ref, keepCutoff(clock, 3)));
        EXPECT_EQ(contents(series), contents(ref));
        return r;
    };
    TimeT minute = now_;
    auto newMinute = [&](std::int64_t rowid) { vendor.add(minute += 60, 100.0 + rowid, rowid); };

    // An empty series and every row inside the keep period: no row stops the
    // backward pass, so the whole table is read.
    OwlCycleResult r = cycle();
    EXPECT_FALSE(r.incremental);
    EXPECT_EQ(r.added, 60u);
    r = cycle();
    EXPECT_TRUE(r.incremental);
    EXPECT_FALSE(r.searched);

    // The vendor drops its five newest rows and writes newer minutes under
    // their rowids: the last read position is itself new, and the search
    // finds the row before the new ones.
    vendor.exec("DELETE FROM energy_history WHERE rowid >= 155");
    for (std::int64_t id = 155; id <= 159; ++id)
        newMinute(id);
    r = cycle();
    EXPECT_TRUE(r.incremental);
    EXPECT_TRUE(r.searched);
    EXPECT_EQ(r.added, 5u);

    // New minutes under rowids below every other row: the backward pass
    // stops at the newest row, so neither read takes them.
    for (std::int64_t id = 1; id <= 99; ++id)
        newMinute(id);
    r = cycle();
    EXPECT_TRUE(r.incremental);
    EXPECT_EQ(r.added, 0u);

    // Now the last row is replaced by a new minute too: every probe of the
    // bisection meets a new row, so the whole table is read; it takes the
    // last row only.
    vendor.exec("DELETE FROM energy_history WHERE rowid = 159");
    newMinute(159);
    r = cycle();
    EXPECT_FALSE(r.incremental);
    EXPECT_EQ(r.added, 1u);

    // Appending again is incremental once more.
    newMinute(160);
    r = cycle();
    EXPECT_TRUE(r.incremental);
    EXPECT_FALSE(r.searched);
    EXPECT_EQ(r.added, 1u);
}

TEST_F(OwlIncrementalTest, RowidsAcrossTheWholeRangeAreSearched) {
    VendorTable vendor(path_);
    vendor.add(now_ - 180, 1.0, -9000000000000000000);
    vendor.add(now_ - 120, 2.0, 0);
    vendor.add(now_ - 60, 3.0, 9000000000000000000);
    COwlRecordArray series, ref;
    series.AddRecord(now_ - 120, 2.0 * 0.06);
    ref = series;
    auto db = makeSqliteVendorDatabase(path_);
    OwlCycleResult r = db->readCycle(series, keepCutoff(now_, 3));
    ASSERT_TRUE(referenceCycle(path_, ref, keepCutoff(now_, 3)));
    EXPECT_TRUE(r.searched);
    EXPECT_EQ(r.added, 2u);  // one from each end
    EXPECT_EQ(contents(series), contents(ref));

    // The largest rowid leaves no room above it: the whole table is read.
    vendor.add(now_, 4.0, std::numeric_limits<std::int64_t>::max());
    COwlRecordArray fresh, freshRef;
    fresh.AddRecord(now_ - 120, 2.0 * 0.06);
    freshRef = fresh;
    r = makeSqliteVendorDatabase(path_)->readCycle(fresh, keepCutoff(now_, 3));
    ASSERT_TRUE(referenceCycle(path_, freshRef, keepCutoff(now_, 3)));
    EXPECT_FALSE(r.incremental);
    EXPECT_EQ(r.added, 3u);
    EXPECT_EQ(contents(fresh), contents(freshRef));
}

// Random vendor behaviour between cycles: appends, gaps, repeated minutes,
// damaged rows, late rows, rowids out of time order, pruning, keep-period
// changes and series reloaded from a data file. After every cycle the
// incremental reader, the full reader and the original's get_table read hold
// the same records in the same order.
TEST_F(OwlIncrementalTest, IncrementalAndFullReadsAgreeOverRandomCycles) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        const std::string path = dir_.file("be" + std::to_string(seed) + ".db");
        std::mt19937 rng(seed);
        auto chance = [&](double p) { return std::uniform_real_distribution<>(0, 1)(rng) < p; };
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<>(lo, hi)(rng); };

        VendorTable vendor(path);
        TimeT now = now_;
        TimeT vendorMinute = now - 10 * 3600;
        vendor.fill(vendorMinute, now - 60, energyOf);
        vendorMinute = now - 60;
        std::int64_t topRowid = 600;

        auto incremental = makeSqliteVendorDatabase(path);
        SqliteVendorDatabaseOptions fullOptions;
        fullOptions.mode = OwlReadMode::Full;
        auto full = makeSqliteVendorDatabase(path, fullOptions);
        COwlRecordArray a, b, ref;
        int keep = 2;
        int incrementalCycles = 0;

        for (int cycle = 0; cycle < 250; ++cycle) {
            now += chance(0.1) ? pick(0, 600) : 30;
            const int newRows = chance(0.6) ? pick(0, 3) : 0;
            for (int i = 0; i < newRows; ++i) {
                vendorMinute += chance(0.05) ? 60 * pick(2, 30) : 60;
                vendor.add(vendorMinute, pick(0, 500) / 4.0);
            }
            if (chance(0.05))  // the same minute written twice
                vendor.add(vendorMinute, pick(0, 500) / 4.0);
            if (chance(0.04))  // damaged rows
                vendor.addValues(chance(0.5) ? "2026,13,3,1,1,0,5,0" : "NULL,5,3,1,1,0,5,0");
            if (chance(0.04))  // a late row with an old time
                vendor.add(vendorMinute - 60 * pick(1, 600), 3.0);
            if (chance(0.03)) {  // newer minutes under rowids below the top
                vendor.exec(
                    "DELETE FROM energy_history WHERE rowid = (SELECT max(rowid) FROM "
                    "energy_history)");
                const std::int64_t top = [&] {
                    std::int64_t m = 0;
                    sqlite3* db = nullptr;
                    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
                    sqlite3_stmt* st = nullptr;
                    sqlite3_prepare_v2(db, "SELECT max(rowid) FROM energy_history", -1, &st,
                                       nullptr);
                    if (sqlite3_step(st) == SQLITE_ROW)
                        m = sqlite3_column_int64(st, 0);
                    sqlite3_finalize(st);
                    sqlite3_close(db);
                    return m;
                }();
                topRowid = std::max(topRowid, top) + 1000;
                for (int i = 0; i < 3; ++i) {
                    vendorMinute += 60;
                    vendor.add(vendorMinute, 50.0 + i, top + 1 + i);
                }
                vendor.exec("DELETE FROM energy_history WHERE rowid > " + std::to_string(top + 1) +
                            " AND rowid <= " + std::to_string(top + 2));
            }
            if (chance(0.02)) {  // a jump in the rowids
                vendorMinute += 60;
                vendor.add(vendorMinute, 9.0, topRowid += 1000);
            }
            if (chance(0.02))  // the vendor prunes its oldest rows
                vendor.exec(
                    "DELETE FROM energy_history WHERE rowid IN (SELECT rowid FROM energy_history "
                    "ORDER BY rowid LIMIT " +
                    std::to_string(pick(1, 50)) + ")");
            if (chance(0.05))
                keep = pick(0, 3);
            if (chance(0.03)) {  // the window reopened: a short data file
                COwlRecordArray reloaded;
                const int from = pick(0, ref.GetSize());
                for (int i = from; i < ref.GetSize(); ++i)
                    reloaded.AddRecord(ref[i].m_Time, ref[i].m_Power);
                a = reloaded;
                b = reloaded;
                ref = reloaded;
            }

            const TimeT cutoff = keepCutoff(now, keep);
            const OwlCycleResult ra = incremental->readCycle(a, cutoff);
            const OwlCycleResult rb = full->readCycle(b, cutoff);
            ASSERT_TRUE(referenceCycle(path, ref, cutoff));
            ASSERT_EQ(ra.status, Status::Read);
            ASSERT_EQ(rb.status, Status::Read);
            EXPECT_EQ(ra.added, rb.added) << "cycle " << cycle;
            ASSERT_EQ(contents(a), contents(ref)) << "cycle " << cycle;
            ASSERT_EQ(contents(b), contents(ref)) << "cycle " << cycle;
            incrementalCycles += ra.incremental ? 1 : 0;
        }
        // Most cycles read only the new rows.
        EXPECT_GT(incrementalCycles, 150);
    }
}

// ---- the vendor's software writing at the same moment ----

// The vendor's writer on its own connection and thread: takes an exclusive
// lock, writes rows, and commits only when told to (or after a generous
// bound, so a failing test cannot hang).
class LockingWriter {
  public:
    LockingWriter(const std::string& path, std::vector<TimeT> minutes)
        : thread_([this, path, minutes] {
              sqlite3* db = nullptr;
              sqlite3_open(path.c_str(), &db);
              sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
              for (TimeT t : minutes) {
                  const std::string sql =
                      "INSERT INTO energy_history VALUES (" + VendorTable::fields(t) + ",10,0)";
                  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
              }
              locked_.set_value();
              releaseFuture_.wait_for(60s);
              sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
              sqlite3_close(db);
          }) {}
    ~LockingWriter() {
        release();
        thread_.join();
    }
    bool waitLocked() { return lockedFuture_.wait_for(30s) == std::future_status::ready; }
    void release() {
        if (!released_)
            release_.set_value();
        released_ = true;
    }

  private:
    std::promise<void> locked_;
    std::future<void> lockedFuture_ = locked_.get_future();
    std::promise<void> release_;
    std::future<void> releaseFuture_ = release_.get_future();
    bool released_ = false;
    std::thread thread_;  // last: starts once the promises exist
};

class OwlLockTest : public OwlIncrementalTest {
  protected:
    void SetUp() override {
        VendorTable vendor(path_);
        vendor.fill(now_ - 3600, now_, energyOf);
    }

    // Tells the test, once, that a cycle found the lock taken.
    SqliteVendorDatabaseOptions observed() {
        SqliteVendorDatabaseOptions o;
        o.onBusy = [this] {
            if (!busySeen_.exchange(true))
                busy_.set_value();
        };
        return o;
    }
    bool waitBusy() { return busyFuture_.wait_for(30s) == std::future_status::ready; }

    std::atomic<bool> busySeen_{false};
    std::promise<void> busy_;
    std::future<void> busyFuture_ = busy_.get_future();
};

TEST_F(OwlLockTest, AWriterHoldingTheLockWithinTheTimeOutDoesNotLoseTheCycle) {
    SqliteVendorDatabaseOptions o = observed();
    o.busyTimeout = 30s;
    auto db = makeSqliteVendorDatabase(path_, o);
    COwlRecordArray series;
    ASSERT_EQ(db->readCycle(series, keepCutoff(now_, 3)).added, 61u);

    LockingWriter writer(path_, {now_ + 60, now_ + 120});
    ASSERT_TRUE(writer.waitLocked());
    auto cycle = std::async(std::launch::async,
                            [&] { return db->readCycle(series, keepCutoff(now_ + 30, 3)); });
    ASSERT_TRUE(waitBusy());
    // Half a second of the vendor holding its lock; the cycle keeps waiting.
    EXPECT_EQ(cycle.wait_for(500ms), std::future_status::timeout);
    writer.release();
    ASSERT_EQ(cycle.wait_for(30s), std::future_status::ready);
    const OwlCycleResult r = cycle.get();
    EXPECT_EQ(r.status, Status::Read);
    EXPECT_EQ(r.added, 2u);
    EXPECT_EQ(series.size(), 63u);
}

TEST_F(OwlLockTest, ALockHeldPastTheTimeOutFailsTheCycleAndTheNextOneCatchesUp) {
    SqliteVendorDatabaseOptions o = observed();
    o.busyTimeout = 1s;
    auto db = makeSqliteVendorDatabase(path_, o);
    COwlRecordArray series;
    ASSERT_EQ(db->readCycle(series, keepCutoff(now_, 3)).added, 61u);

    auto writer = std::make_unique<LockingWriter>(path_, std::vector<TimeT>{now_ + 60});
    ASSERT_TRUE(writer->waitLocked());
    const auto start = std::chrono::steady_clock::now();
    const OwlCycleResult failed = db->readCycle(series, keepCutoff(now_ + 30, 3));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(busySeen_.load());
    EXPECT_EQ(failed.status, Status::QueryFailed);
    EXPECT_EQ(series.size(), 61u);
    writer.reset();  // commits

    const OwlCycleResult r = db->readCycle(series, keepCutoff(now_ + 60, 3));
    EXPECT_EQ(r.status, Status::Read);
    EXPECT_EQ(r.added, 1u);
}

// ---- where the vendor's file is ----

TEST(OwlDatabasePathTest, OverrideThenWinePrefixThenHome) {
    EXPECT_EQ(owlDatabasePath("/data/be.db", "/opt/wine", "/home/u"), "/data/be.db");
    EXPECT_EQ(owlDatabasePath("", "/opt/wine/", "/home/u"),
              "/opt/wine/drive_c/ProgramData/2SE/be.db");
    EXPECT_EQ(owlDatabasePath("", "", "/home/u"), "/home/u/.wine/drive_c/ProgramData/2SE/be.db");
    EXPECT_EQ(owlDatabasePath("", nullptr, "/home/u"),
              "/home/u/.wine/drive_c/ProgramData/2SE/be.db");
}

}  // namespace
}  // namespace orvana
