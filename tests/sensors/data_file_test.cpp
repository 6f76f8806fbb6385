#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sensors/data_file.h"
#include "tests/sensors/test_dirs.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_prompt.h"
#include "tests/support/virtual_clock.h"

namespace orvana {
namespace {

using orvana::testing::slurp;
using orvana::testing::spit;

using testing::MemorySettingsStore;
using testing::RecordingPrompt;
using testing::ScopedCwd;
using testing::ScopedTz;
using testing::TempDir;
using testing::VirtualClock;

class DataFileTest : public ::testing::Test {
  protected:
    DataFileTest() : tz_("Asia/Tokyo"), clock_(fromLocal(2026, 5, 3, 15, 0, 0)) {
        store_.writeString("Setting", "DATA_DIR", dir_.path());
    }
    SensorDataFiles files() { return SensorDataFiles(store_, clock_, prompt_); }

    ScopedTz tz_;
    TempDir dir_;
    MemorySettingsStore store_;
    VirtualClock clock_;
    RecordingPrompt prompt_;
};

TEST_F(DataFileTest, LinesAreLocalFieldsAndPercentGValuesWithCrLf) {
    CTempRecordArray t;
    t.AddRecord(fromLocal(2016, 5, 3, 14, 26, 31), 23.45, 41.2);
    CGeigerRecordArray g;
    const double values[] = {0.1 + 0.2, 1234567.0, 1e-5, -0.0, 100.0, 2.5e20, 12.0 / 7};
    for (int i = 0; i < 7; ++i)
        g.AddRecord(fromLocal(2026, 12, 31, 23, 59, 50 + i), values[i]);
    auto f = files();
    ASSERT_TRUE(f.SaveDataFile(t));
    ASSERT_TRUE(f.SaveDataFile(g));
    // At 2026 the 2016 record is past the keep period; saved again from 2016.
    store_.writeInt("Setting", "DATA_KEEP_PERIOD", 11);
    clock_.setNow(fromLocal(2016, 5, 4, 0, 0, 0));
    ASSERT_TRUE(f.SaveDataFile(t));
    EXPECT_EQ(slurp(dir_.file("TemperatureData.csv")), "2016,5,3,14,27,0,23.45,41.2\r\n");

    std::string want;
    for (int i = 0; i < 7; ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "2026,12,31,23,59,%d,%g\r\n", 50 + i, values[i]);
        want += buf;
    }
    EXPECT_EQ(slurp(dir_.file("GeigerData.csv")), want);
    EXPECT_TRUE(prompt_.notices.empty());
}

TEST_F(DataFileTest, SaveAndLoadKeepEveryRecordAndItsTime) {
    CTempRecordArray t;
    COwlRecordArray p;
    const TimeT start = clock_.now() - 3 * 24 * 3600;
    for (int i = 0; i < 3 * 1440; ++i) {
        t.AddRecord(start + 60 * i + 17, 20 + i % 100 * 0.01, 50 - i % 7 * 0.5);
        p.AddRecord(start + 60 * i + 5, i * 0.001);
    }
    auto f = files();
    ASSERT_TRUE(f.SaveDataFile(t));
    ASSERT_TRUE(f.SaveDataFile(p));
    CTempRecordArray t2;
    t2.AddRecord(0, 1, 1);  // loading replaces what was there
    COwlRecordArray p2;
    const LoadResult r = f.LoadDataFile(t2);
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(r.skipped, 0u);
    f.LoadDataFile(p2);
    ASSERT_EQ(t2.GetSize(), t.GetSize());
    ASSERT_EQ(p2.GetSize(), p.GetSize());
    for (int i = 0; i < t.GetSize(); ++i) {
        ASSERT_EQ(t2[i].m_Time, t[i].m_Time) << i;
        ASSERT_EQ(t2[i].m_Temp, t[i].m_Temp) << i;
        ASSERT_EQ(t2[i].m_Humid, t[i].m_Humid) << i;
        ASSERT_EQ(p2[i].m_Time, p[i].m_Time) << i;
        ASSERT_NEAR(p2[i].m_Power, p[i].m_Power, 1e-9) << i;
        ASSERT_EQ(p2[i].m_MaWindow, 0);
    }
}

TEST_F(DataFileTest, RoundTripAcrossDstChangesKeepsBothCopiesOfTheRepeatedHour) {
    ScopedTz berlin("Europe/Berlin");
    // Every minute from 2026-03-28 to 2026-03-30 and 2026-10-24 to 2026-10-26.
    for (TimeT from : {TimeT{1774656000}, TimeT{1792800000}}) {
        CTempRecordArray t;
        for (int i = 0; i < 2 * 1440 + 60; ++i)
            t.AddRecord(from + 60 * i, i, -i);
        ASSERT_EQ(t.GetSize(), 2 * 1440 + 60);
        const std::string path = dir_.file("dst.csv");
        ASSERT_EQ(writeDataFile(path, t, from, 24), SaveResult::Saved);
        CTempRecordArray back;
        ASSERT_EQ(readDataFile(path, back).loaded, static_cast<std::size_t>(t.GetSize()));
        ASSERT_EQ(back.GetSize(), t.GetSize());
        for (int i = 0; i < t.GetSize(); ++i) {
            ASSERT_EQ(back[i].m_Time, t[i].m_Time) << i;
            ASSERT_EQ(back[i].m_Temp, t[i].m_Temp) << i;
        }
    }
}

// A meter away for exactly the repeated hour: the same minute of both passes
// with nothing between, two lines alike in the file.
TEST_F(DataFileTest, SameMinuteOfBothPassesOfTheRepeatedHourStaysTwoRecords) {
    ScopedTz berlin("Europe/Berlin");
    const TimeT firstPass = fromLocal(2026, 10, 25, 1, 59, 0) + 31 * 60;  // 02:30 CEST
    CTempRecordArray t;
    t.AddKeyedRecord(firstPass - 60, 19, 49);
    t.AddKeyedRecord(firstPass, 20, 50);
    t.AddKeyedRecord(firstPass + 3600, 21, 51);  // 02:30 CET
    t.AddKeyedRecord(firstPass + 3660, 22, 52);
    const std::string path = dir_.file("dst.csv");
    ASSERT_EQ(writeDataFile(path, t, firstPass, 24), SaveResult::Saved);
    // The repeated times carry their offsets.
    EXPECT_EQ(slurp(path),
              "2026,10,25,2,29,0,19,49,+0200\r\n2026,10,25,2,30,0,20,50,+0200\r\n"
              "2026,10,25,2,30,0,21,51,+0100\r\n2026,10,25,2,31,0,22,52,+0100\r\n");
    // A file written before the offsets existed has the plain lines; the same
    // minute read twice in a row is still its second pass.
    const std::string plain = dir_.file("dst-plain.csv");
    {
        std::ofstream out(plain, std::ios::binary);
        out << "2026,10,25,2,29,0,19,49\r\n2026,10,25,2,30,0,20,50\r\n"
               "2026,10,25,2,30,0,21,51\r\n2026,10,25,2,31,0,22,52\r\n";
    }
    for (const std::string& file : {path, plain}) {
        CTempRecordArray back;
        EXPECT_EQ(readDataFile(file, back).loaded, 4u) << file;
        ASSERT_EQ(back.GetSize(), 4) << file;
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(back[i].m_Time, t[i].m_Time) << file << " " << i;
            EXPECT_EQ(back[i].m_Temp, t[i].m_Temp) << file << " " << i;
        }
    }
}

TEST_F(DataFileTest, KeepPeriodZeroWritesUnderTwoHoursAndTheFuture) {
    store_.writeInt("Setting", "DATA_KEEP_PERIOD", 0);
    const TimeT now = clock_.now();
    CGeigerRecordArray g;
    g.AddRecord(now - 2 * 3600, 1);       // 2 h 0 min: dropped
    g.AddRecord(now - 2 * 3600 + 60, 2);  // 1 h 59 min: kept
    g.AddRecord(now, 3);
    g.AddRecord(now + 30 * 24 * 3600, 4);  // the future: always kept
    auto f = files();
    ASSERT_TRUE(f.SaveDataFile(g));
    CGeigerRecordArray back;
    f.LoadDataFile(back);
    ASSERT_EQ(back.GetSize(), 3);
    EXPECT_EQ(back[0].m_Cpm, 2);
    EXPECT_EQ(back[0].m_Time, now - 2 * 3600 + 60);
    EXPECT_EQ(back[2].m_Cpm, 4);
    // The series in memory keeps everything.
    EXPECT_EQ(g.GetSize(), 4);
}

TEST_F(DataFileTest, EmptyDataDirMeansTheCurrentFolder) {
    store_.writeString("Setting", "DATA_DIR", "");
    auto f = files();
    EXPECT_EQ(f.GetDataFilePath(DataFileKind::Temperature), "TemperatureData.csv");
    EXPECT_EQ(f.GetDataFilePath(DataFileKind::Geiger), "GeigerData.csv");
    EXPECT_EQ(f.GetDataFilePath(DataFileKind::Owl), "OwlData.csv");
    {
        ScopedCwd cwd(dir_.path());
        CTempRecordArray t;
        t.AddRecord(clock_.now(), 1, 2);
        ASSERT_TRUE(f.SaveDataFile(t));
    }
    EXPECT_TRUE(std::filesystem::exists(dir_.file("TemperatureData.csv")));
    // Read at the moment of the call.
    store_.writeString("Setting", "DATA_DIR", "/srv/data");
    EXPECT_EQ(f.GetDataFilePath(DataFileKind::Owl), "/srv/data/OwlData.csv");
}

TEST_F(DataFileTest, BadLinesAreSkippedAndLaterLinesLoad) {
    spit(dir_.file("TemperatureData.csv"),
         "2026,5,3,10,1,0,20.5,40\r\n"
         "2026,5,3,10,2,0,21\r\n"      // too few fields
         "2026,13,3,10,3,0,22,40\r\n"  // no such month
         "2026,2,30,10,4,0,22,40\r\n"  // no such day
         "garbage\r\n"
         "\r\n"
         "2026,5,3,10,5,30,23,41,extra\r\n"  // extra fields are ignored, key kept as stored
         "2026,5,3,10,6,0,,\r\n"             // empty values count as fields: 0.0
         "2026,5,3,10,7,0, 24.5,x\n");       // LF only, unreadable humidity: 0.0
    auto f = files();
    CTempRecordArray t;
    const LoadResult r = f.LoadDataFile(t);
    EXPECT_EQ(r.loaded, 4u);
    EXPECT_EQ(r.skipped, 4u);
    ASSERT_EQ(t.GetSize(), 4);
    EXPECT_EQ(t[0].m_Temp, 20.5);
    EXPECT_EQ(t[1].m_Time, fromLocal(2026, 5, 3, 10, 5, 30));
    EXPECT_EQ(t[2].m_Temp, 0.0);
    EXPECT_EQ(t[2].m_Humid, 0.0);
    EXPECT_EQ(t[3].m_Temp, 24.5);
    EXPECT_EQ(t[3].m_Humid, 0.0);

    // The last line may lack its line end; a line ending in "," has an
    // empty last field.
    spit(dir_.file("GeigerData.csv"), "2026,5,3,10,1,0,\r\n2026,5,3,10,2,0,7");
    CGeigerRecordArray g;
    EXPECT_EQ(f.LoadDataFile(g).loaded, 2u);
    ASSERT_EQ(g.GetSize(), 2);
    EXPECT_EQ(g[0].m_Cpm, 0.0);
    EXPECT_EQ(g[1].m_Cpm, 7.0);
}

TEST_F(DataFileTest, ValuesThatAreNoFiniteNumberReadAsZero) {
    spit(dir_.file("GeigerData.csv"),
         "2026,5,3,10,1,0,nan\r\n2026,5,3,10,2,0,inf\r\n2026,5,3,10,3,0,-Infinity\r\n"
         "2026,5,3,10,4,0,1e999\r\n2026,5,3,10,5,0,-1e400\r\n2026,5,3,10,6,0,1e-400\r\n"
         "2026,5,3,10,7,0,1e308\r\n2026,5,3,10,8,0,4.9e-324\r\n");
    CGeigerRecordArray g;
    EXPECT_EQ(files().LoadDataFile(g).loaded, 8u);
    ASSERT_EQ(g.GetSize(), 8);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(g[i].m_Cpm, 0.0) << i;
    EXPECT_EQ(g[6].m_Cpm, 1e308);
    EXPECT_EQ(g[7].m_Cpm, 4.9e-324);
    // The averages and extremes stay numbers.
    EXPECT_EQ(g.GetCpmMax(8), 1e308);
    EXPECT_EQ(g.GetCpmMin(8), 0.0);
}

TEST_F(DataFileTest, MissingFileGivesEmptySeriesAndNoMessage) {
    auto f = files();
    CGeigerRecordArray g;
    g.AddRecord(1, 1);
    const LoadResult r = f.LoadDataFile(g);
    EXPECT_FALSE(r.opened);
    EXPECT_TRUE(g.empty());
    EXPECT_TRUE(prompt_.notices.empty());
}

TEST_F(DataFileTest, FailedSaveKeepsOldFileAndTellsOncePerSave) {
    auto f = files();
    CTempRecordArray t;
    CGeigerRecordArray g;
    COwlRecordArray p;
    for (int i = 0; i < 100; ++i) {
        t.AddRecord(clock_.now() - 60 * i, i, i);
        g.AddRecord(clock_.now() - 60 * i, i);
        p.AddRecord(clock_.now() - 60 * i, i);
    }
    const std::string old = "2026,5,3,10,1,0,1,2\r\n";
    for (const char* name : {"TemperatureData.csv", "GeigerData.csv", "OwlData.csv"}) {
        spit(dir_.file(name), old);
        // Something in the way of the new file: a folder with content is no
        // leftover of a save and is not removed.
        const std::string tmp = dir_.file(std::string(name) + ".tmp");
        std::filesystem::create_directory(tmp);
        spit(tmp + "/keep", "x");
    }
    EXPECT_FALSE(f.SaveDataFile(t));
    EXPECT_FALSE(f.SaveDataFile(t));
    EXPECT_FALSE(f.SaveDataFile(g));
    EXPECT_FALSE(f.SaveDataFile(p));
    ASSERT_EQ(prompt_.notices.size(), 3u);  // the power monitor stays silent
    for (const auto& n : prompt_.notices)
        EXPECT_EQ(n,
                  "データファイルが保存できません。他のソフトでデータを開いたり編集している場合は"
                  "、終了してください。");
    for (const char* name : {"TemperatureData.csv", "GeigerData.csv", "OwlData.csv"})
        EXPECT_EQ(slurp(dir_.file(name)), old) << name;
    EXPECT_EQ(t.GetSize(), 100);

    EXPECT_EQ(slurp(dir_.file("TemperatureData.csv.tmp/keep")), "x");

    // Once the way is clear the next save succeeds and leaves no temporary file.
    std::filesystem::remove_all(dir_.file("TemperatureData.csv.tmp"));
    EXPECT_TRUE(f.SaveDataFile(t));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("TemperatureData.csv.tmp")));
    CTempRecordArray back;
    EXPECT_EQ(f.LoadDataFile(back).loaded, 100u);
}

TEST_F(DataFileTest, TargetThatCannotBeOpenedIsLockedAndNothingIsWritten) {
    auto f = files();
    std::filesystem::create_directory(dir_.file("GeigerData.csv"));
    std::filesystem::create_directory(dir_.file("OwlData.csv"));
    CGeigerRecordArray g;
    g.AddRecord(clock_.now(), 1);
    COwlRecordArray p;
    p.AddRecord(clock_.now(), 1);
    EXPECT_EQ(writeDataFile(dir_.file("GeigerData.csv"), g, clock_.now(), 24), SaveResult::Locked);
    EXPECT_FALSE(f.SaveDataFile(g));
    EXPECT_FALSE(f.SaveDataFile(p));
    EXPECT_EQ(prompt_.notices.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(dir_.file("GeigerData.csv")));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("GeigerData.csv.tmp")));
}

// Writes past a size fail with EFBIG as they would with ENOSPC on a full
// disk; the signal that would end the process is ignored meanwhile.
class ScopedFileSizeLimit {
  public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~ScopedFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    bool ok() const { return ok_; }

  private:
    rlimit old_{};
    void (*oldHandler_)(int) = SIG_DFL;
    bool ok_ = false;
};

TEST_F(DataFileTest, FullDiskLeavesTheOldFileWhole) {
    const std::string path = dir_.file("TemperatureData.csv");
    const std::string old = "2026,5,3,10,1,0,1,2\r\n";
    spit(path, old);
    CTempRecordArray t;
    for (int i = 50000; i > 0; --i)
        t.AddRecord(clock_.now() - 60 * i, i, i);
    SaveResult r;
    {
        // The new file (a day of minutes, about 40 KB) fills up after 4 KiB.
        ScopedFileSizeLimit full(4096);
        ASSERT_TRUE(full.ok());
        r = writeDataFile(path, t, clock_.now(), 24);
    }
    EXPECT_EQ(r, SaveResult::WriteFailed);
    EXPECT_EQ(slurp(path), old);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(DataFileTest, SaveThroughALinkReplacesItsTarget) {
    const std::string real = dir_.file("real.csv");
    spit(real, "");
    std::filesystem::create_symlink(real, dir_.file("OwlData.csv"));
    COwlRecordArray p;
    p.AddRecord(fromLocal(2026, 5, 3, 14, 0, 0), 1.5);
    ASSERT_TRUE(files().SaveDataFile(p));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.file("OwlData.csv")));
    EXPECT_EQ(slurp(real), "2026,5,3,14,0,0,1.5\r\n");
}

}  // namespace
}  // namespace orvana
