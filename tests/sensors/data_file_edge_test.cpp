// The data files at their edges: wall-clock times that occur twice, files in
// any line order, and what a killed save leaves behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "sensors/data_file.h"
#include "sensors/local_time_cache.h"
#include "tests/sensors/test_dirs.h"

namespace orvana {
namespace {

using orvana::testing::slurp;
using orvana::testing::spit;

using testing::ScopedTz;
using testing::TempDir;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines)
        out += l + "\r\n";
    return out;
}

TimeT offsetAt(TimeT t) {
    const LocalTime lt = toLocal(t);
    return daysFromCivil(lt.year, lt.month, lt.day) * 86400 + lt.hour * 3600 + lt.minute * 60 +
           lt.second - t;
}

// A change of the current zone to a smaller offset: from `at` on the clock
// shows again the `repeat` seconds before it.
struct FallBack {
    TimeT at = 0;
    TimeT repeat = 0;
};

std::optional<FallBack> findFallBack(TimeT from, TimeT to) {
    for (TimeT t = from; t < to; t += 900) {
        if (offsetAt(t + 900) >= offsetAt(t))
            continue;
        TimeT lo = t, hi = t + 900;  // offset(lo) larger, offset(hi) smaller
        while (hi - lo > 1) {
            const TimeT mid = lo + (hi - lo) / 2;
            (offsetAt(mid) == offsetAt(lo) ? lo : hi) = mid;
        }
        return FallBack{hi, offsetAt(lo) - offsetAt(hi)};
    }
    return std::nullopt;
}

template <class Series>
void expectSameRadiationLike(const Series& got, const Series& want, double Series::value_type::*f,
                             const std::string& what) {
    ASSERT_EQ(got.GetSize(), want.GetSize()) << what;
    for (int i = 0; i < want.GetSize(); ++i) {
        ASSERT_EQ(got[i].m_Time, want[i].m_Time) << what << " #" << i;
        ASSERT_EQ(got[i].*f, want[i].*f) << what << " #" << i;
    }
}

void expectSameTemperature(const CTempRecordArray& got, const CTempRecordArray& want,
                           const std::string& what) {
    ASSERT_EQ(got.GetSize(), want.GetSize()) << what;
    for (int i = 0; i < want.GetSize(); ++i) {
        ASSERT_EQ(got[i].m_Time, want[i].m_Time) << what << " #" << i;
        ASSERT_EQ(got[i].m_Temp, want[i].m_Temp) << what << " #" << i;
        ASSERT_EQ(got[i].m_Humid, want[i].m_Humid) << what << " #" << i;
    }
}

// ---- wall-clock times that occur twice ----

class RepeatedHourTest : public ::testing::Test {
  protected:
    // 2026-11-01 06:00 UTC: 01:59:59 EDT is followed by 01:00:00 EST.
    static constexpr TimeT kChange = 1793512800;
    ScopedTz tz_{"America/New_York"};
    TempDir dir_;
};

TEST_F(RepeatedHourTest, SameMinuteOfBothCopiesComesBackTwiceAndOtherLinesStayPlain) {
    ASSERT_EQ(toLocal(kChange).hour, 1);
    ASSERT_EQ(toLocal(kChange - 1).hour, 1);
    const TimeT edt = kChange - 3300;  // 01:05:00 EDT
    const TimeT est = kChange + 300;   // 01:05:00 EST, nothing in between
    const TimeT before = kChange - 5400, after = kChange + 4200;  // 00:30 EDT, 02:10 EST

    CGeigerRecordArray g;
    COwlRecordArray p;
    for (auto [t, v] : {std::pair{before, 1.0}, {edt, 2.0}, {est, 3.0}, {after, 4.0}}) {
        g.AddRecord(t, v);
        p.AddRecord(t, v / 4);
    }
    CTempRecordArray temp;
    temp.AddRecord(before - 30, 19.5, 40);
    temp.AddRecord(edt - 30, 20.5, 41);  // a sample of 01:04 EDT, key 01:05:00 EDT
    temp.AddRecord(est - 30, 21.5, 42);
    temp.AddRecord(after - 30, 22.5, 43);
    ASSERT_EQ(temp.GetSize(), 4);

    const std::string gp = dir_.file("GeigerData.csv"), pp = dir_.file("OwlData.csv"),
                      tp = dir_.file("TemperatureData.csv");
    ASSERT_EQ(writeDataFile(gp, g, kChange, 24), SaveResult::Saved);
    ASSERT_EQ(writeDataFile(pp, p, kChange, 24), SaveResult::Saved);
    ASSERT_EQ(writeDataFile(tp, temp, kChange, 24), SaveResult::Saved);
    EXPECT_EQ(slurp(gp),
              "2026,11,1,0,30,0,1\r\n"
              "2026,11,1,1,5,0,2,-0400\r\n"
              "2026,11,1,1,5,0,3,-0500\r\n"
              "2026,11,1,2,10,0,4\r\n");
    EXPECT_EQ(slurp(pp),
              "2026,11,1,0,30,0,0.25\r\n"
              "2026,11,1,1,5,0,0.5,-0400\r\n"
              "2026,11,1,1,5,0,0.75,-0500\r\n"
              "2026,11,1,2,10,0,1\r\n");
    EXPECT_EQ(slurp(tp),
              "2026,11,1,0,30,0,19.5,40\r\n"
              "2026,11,1,1,5,0,20.5,41,-0400\r\n"
              "2026,11,1,1,5,0,21.5,42,-0500\r\n"
              "2026,11,1,2,10,0,22.5,43\r\n");

    // Both as written and with the lines reversed: the offset, not the line
    // order, names the instant.
    for (bool reversed : {false, true}) {
        const std::string what = reversed ? "reversed" : "as written";
        if (reversed)
            for (const auto& path : {gp, pp, tp}) {
                auto lines = linesOf(slurp(path));
                std::reverse(lines.begin(), lines.end());
                spit(path, joinLines(lines));
            }
        CGeigerRecordArray g2;
        COwlRecordArray p2;
        CTempRecordArray t2;
        EXPECT_EQ(readDataFile(gp, g2).loaded, 4u);
        EXPECT_EQ(readDataFile(pp, p2).loaded, 4u);
        EXPECT_EQ(readDataFile(tp, t2).loaded, 4u);
        expectSameRadiationLike(g2, g, &CGeigerRecord::m_Cpm, what);
        expectSameRadiationLike(p2, p, &COwlRecord::m_Power, what);
        expectSameTemperature(t2, temp, what);
    }
}

TEST_F(RepeatedHourTest, LinesWithoutAUsableOffsetFollowTheLineOrderRule) {
    const TimeT edt0110 = kChange - 3000, est0110 = kChange + 600;
    const TimeT edt0130 = kChange - 1800;
    struct Case {
        const char* third;  // the line after 01:05 and 01:30 EDT
        TimeT want;
    };
    // An earlier instant would lie before 01:30 EDT, so 01:10 is taken as EST
    // unless a valid offset says otherwise.
    const Case cases[] = {
        {"2026,11,1,1,10,0,3", est0110},
        {"2026,11,1,1,10,0,3,-0400", edt0110},
        {"2026,11,1,1,10,0,3,-0500", est0110},
        {"2026,11,1,1,10,0,3,-0700", est0110},   // neither copy has it
        {"2026,11,1,1,10,0,3,-04:00", est0110},  // not the written form
        {"2026,11,1,1,10,0,3,-04000", est0110},  // too many digits
        {"2026,11,1,1,10,0,3,-0460", est0110},   // no such minute
        {"2026,11,1,1,10,0,3,0400", est0110},    // no sign
        {"2026,11,1,1,10,0,3,,-0400", est0110},  // not the field after the value
    };
    for (const Case& c : cases) {
        const std::string path = dir_.file("GeigerData.csv");
        spit(path, std::string("2026,11,1,1,5,0,1\r\n2026,11,1,1,30,0,2\r\n") + c.third + "\r\n");
        CGeigerRecordArray g;
        ASSERT_EQ(readDataFile(path, g).loaded, 3u) << c.third;
        ASSERT_EQ(g.GetSize(), 3) << c.third;
        EXPECT_EQ(g[0].m_Time, kChange - 3300) << c.third;
        const int third = c.want == edt0110 ? 1 : 2;
        EXPECT_EQ(g[third].m_Time, c.want) << c.third;
        EXPECT_EQ(g[third].m_Cpm, 3) << c.third;
        EXPECT_EQ(g[third == 1 ? 2 : 1].m_Time, edt0130) << c.third;
    }

    // An offset on a time that occurs once changes nothing, even a wrong one.
    const std::string path = dir_.file("GeigerData.csv");
    spit(path, "2026,11,1,2,10,0,1,-0400\r\n2026,11,2,2,10,0,2,+0900\r\n");
    CGeigerRecordArray g;
    ASSERT_EQ(readDataFile(path, g).loaded, 2u);
    EXPECT_EQ(g[0].m_Time, kChange + 4200);
    EXPECT_EQ(g[1].m_Time, kChange + 4200 + 86400);
}

// Zones whose repeated time is not a whole hour, or whose offsets are zero or
// carry seconds. Pairs of records with the same wall-clock time and nothing
// between them come back from the lines in reverse order.
TEST(RepeatedTime, OffsetsOfAnySizeNameTheirInstant) {
    struct Zone {
        const char* tz;
        int year;
        const char* marks[2];  // the offsets of the first and the second copy
    };
    const Zone zones[] = {
        {"America/New_York", 2026, {"-0400", "-0500"}},
        {"Europe/London", 2026, {"+0100", "+0000"}},
        {"Australia/Lord_Howe", 2026, {"+1100", "+1030"}},
        {"Europe/Dublin", 1916, {"+003439", "+0000"}},  // Irish summer time on Dublin Mean Time
    };
    TempDir dir;
    for (const Zone& z : zones) {
        ScopedTz tz(z.tz);
        const TimeT jan = daysFromCivil(z.year, 1, 1) * 86400;
        const auto fb = findFallBack(jan, jan + 366 * 86400);
        ASSERT_TRUE(fb) << z.tz;
        CGeigerRecordArray g;
        g.AddRecord(fb->at - fb->repeat - 1, 1);  // the last second before the repeat
        int value = 2;
        for (TimeT k : {TimeT{0}, TimeT{59}, fb->repeat / 2, fb->repeat - 1}) {
            g.AddRecord(fb->at - fb->repeat + k, value++);
            g.AddRecord(fb->at + k, value++);
        }
        g.AddRecord(fb->at + fb->repeat, value);  // the first second after it
        const std::string path = dir.file("GeigerData.csv");
        ASSERT_EQ(writeDataFile(path, g, fb->at, 24), SaveResult::Saved) << z.tz;

        auto lines = linesOf(slurp(path));
        ASSERT_EQ(lines.size(), 10u) << z.tz;
        EXPECT_EQ(std::count(lines.front().begin(), lines.front().end(), ','), 6) << z.tz;
        EXPECT_EQ(std::count(lines.back().begin(), lines.back().end(), ','), 6) << z.tz;
        // Time order: the four of the first copy, then the four of the second.
        for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
            const std::string mark = lines[i].substr(lines[i].rfind(',') + 1);
            EXPECT_EQ(mark, z.marks[i <= 4 ? 0 : 1]) << z.tz << ": " << lines[i];
        }

        std::reverse(lines.begin(), lines.end());
        spit(path, joinLines(lines));
        CGeigerRecordArray back;
        ASSERT_EQ(readDataFile(path, back).loaded, 10u) << z.tz;
        expectSameRadiationLike(back, g, &CGeigerRecord::m_Cpm, z.tz);
    }
}

// ---- files in any line order ----

// A radiation or power record of a test file: time and a value unique to it.
struct Rec {
    TimeT t;
    int v;
};

std::string lineOf(const Rec& r, bool temperature) {
    const LocalTime lt = toLocal(r.t);
    std::string s;
    for (int f : {lt.year, lt.month, lt.day, lt.hour, lt.minute, lt.second})
        s += std::to_string(f) + ",";
    s += std::to_string(r.v);
    if (temperature)
        s += "," + std::to_string(-r.v);
    return s + "\r\n";
}

std::string fileOf(const std::vector<Rec>& recs, bool temperature) {
    std::string text;
    for (const Rec& r : recs)
        text += lineOf(r, temperature);
    return text;
}

// The same records in the orders a file may come in.
std::vector<std::pair<std::string, std::vector<Rec>>> ordersOf(const std::vector<Rec>& ascending) {
    std::vector<Rec> descending(ascending.rbegin(), ascending.rend());
    std::vector<Rec> shuffled = ascending;
    std::mt19937 rng(7);
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    // Mostly ascending with a few records out of place, as a clock set back
    // would leave.
    std::vector<Rec> nearly = ascending;
    for (std::size_t i = 0; i + 50 < nearly.size(); i += 400)
        std::swap(nearly[i], nearly[i + 50]);
    return {{"ascending", ascending},
            {"descending", descending},
            {"shuffled", shuffled},
            {"nearly ascending", nearly}};
}

class LineOrderTest : public ::testing::Test {
  protected:
    // Lines are made in many shapes: times with and without equal ones,
    // a few shared by all.
    std::vector<std::pair<std::string, std::vector<Rec>>> files() const {
        constexpr int kLines = 3000;
        std::vector<Rec> distinct, runs, few, same;
        std::mt19937 rng(11);
        for (int i = 0; i < kLines; ++i) {
            distinct.push_back({base_ + 60 * i, i});
            runs.push_back({base_ + 60 * (i / 5), i});
            few.push_back({base_ + 60 * static_cast<TimeT>(rng() % 4), i});
            same.push_back({base_, i});
        }
        std::sort(few.begin(), few.end(), [](const Rec& a, const Rec& b) { return a.t < b.t; });
        std::vector<std::pair<std::string, std::vector<Rec>>> out;
        for (auto [name, recs] : {std::pair{"distinct times", distinct},
                                  {"runs of five equal times", runs},
                                  {"four shared times", few},
                                  {"one time for all", same}})
            for (auto& [order, lines] : ordersOf(recs))
                out.push_back({std::string(name) + ", " + order, lines});
        return out;
    }

    ScopedTz tz_{"Asia/Tokyo"};
    TempDir dir_;
    TimeT base_ = fromLocal(2026, 5, 3, 0, 0, 0);
};

template <class Series>
void expectLoadsAsOneByOne(const std::string& path,
                           const std::vector<std::pair<std::string, std::vector<Rec>>>& files,
                           double Series::value_type::*field) {
    Series ascendingDistinct;
    for (const auto& [what, recs] : files) {
        spit(path, fileOf(recs, false));
        Series loaded;
        ASSERT_EQ(readDataFile(path, loaded).loaded, recs.size()) << what;
        Series oneByOne;
        for (const Rec& r : recs)
            oneByOne.AddRecord(r.t, r.v);
        expectSameRadiationLike(loaded, oneByOne, field, what);
        for (int i = 0; i < loaded.GetSize(); ++i)
            ASSERT_EQ(loaded[i].m_MaWindow, 0) << what;
        // Without equal times the order of the lines makes no difference.
        if (what == "distinct times, ascending")
            ascendingDistinct = loaded;
        if (what.rfind("distinct times", 0) == 0)
            expectSameRadiationLike(loaded, ascendingDistinct, field, what);
    }
}

TEST_F(LineOrderTest, RadiationAndPowerLoadAsTheirLinesAddedOneByOne) {
    const auto all = files();
    expectLoadsAsOneByOne<CGeigerRecordArray>(dir_.file("GeigerData.csv"), all,
                                              &CGeigerRecord::m_Cpm);
    expectLoadsAsOneByOne<COwlRecordArray>(dir_.file("OwlData.csv"), all, &COwlRecord::m_Power);
}

TEST_F(LineOrderTest, TemperatureKeepsTheLastLineOfEachKey) {
    const std::string path = dir_.file("TemperatureData.csv");
    CTempRecordArray ascendingDistinct;
    for (const auto& [what, recs] : files()) {
        spit(path, fileOf(recs, true));
        CTempRecordArray loaded;
        ASSERT_EQ(readDataFile(path, loaded).loaded, recs.size()) << what;
        CTempRecordArray oneByOne;
        for (const Rec& r : recs)
            oneByOne.AddKeyedRecord(r.t, r.v, -r.v);
        expectSameTemperature(loaded, oneByOne, what);
        if (what == "distinct times, ascending")
            ascendingDistinct = loaded;
        if (what.rfind("distinct times", 0) == 0)
            expectSameTemperature(loaded, ascendingDistinct, what);
    }
}

// A batch added to a series that already holds records: equal times go
// before the records held, equal keys overwrite them in place, and the
// moving-average cache of the held records stays as add() leaves it.
TEST(SeriesBatch, AddingABatchEqualsAddingItsRecordsOneByOne) {
    const TimeT held[] = {10, 20, 20, 30, 30, 30, 50};
    const TimeT added[] = {20, 5, 30, 20, 60, 10, 25, 5, 60, 50, 30};
    CGeigerRecordArray g;
    for (std::size_t i = 0; i < std::size(held); ++i)
        g.AddRecord(held[i], static_cast<double>(i));
    g.PrecalCpmMA(3, 0, g.GetSize() - 1);
    CGeigerRecordArray oneByOne = g;
    std::vector<CGeigerRecord> batch;
    for (std::size_t i = 0; i < std::size(added); ++i) {
        oneByOne.AddRecord(added[i], 100.0 + i);
        CGeigerRecord r;
        r.m_Time = added[i];
        r.m_Cpm = 100.0 + i;
        r.m_MaWindow = 3;  // a stale cache in the batch is not kept
        r.m_MaValue = -1;
        batch.push_back(r);
    }
    g.AddRecords(batch);
    ASSERT_EQ(g.GetSize(), oneByOne.GetSize());
    for (int i = 0; i < g.GetSize(); ++i) {
        EXPECT_EQ(g[i].m_Time, oneByOne[i].m_Time) << i;
        EXPECT_EQ(g[i].m_Cpm, oneByOne[i].m_Cpm) << i;
        EXPECT_EQ(g[i].m_MaWindow, oneByOne[i].m_MaWindow) << i;
        EXPECT_EQ(g[i].m_MaValue, oneByOne[i].m_MaValue) << i;
    }

    CTempRecordArray t;
    for (TimeT k : {60, 120, 180, 300})
        t.AddKeyedRecord(k, static_cast<double>(k), 0);
    CTempRecordArray tOneByOne = t;
    std::vector<CTempRecord> tBatch;
    int n = 0;
    for (TimeT k : {120, 240, 60, 120, 30, 300, 240, 360}) {
        tOneByOne.AddKeyedRecord(k, 1000.0 + n, n);
        tBatch.push_back({k, 1000.0 + n, static_cast<double>(n)});
        ++n;
    }
    t.AddKeyedRecords(tBatch);
    expectSameTemperature(t, tOneByOne, "batch onto held keys");
}

// ---- what a killed save leaves behind ----

// The mode a file created now with 0666 gets.
std::filesystem::perms freshFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<std::filesystem::perms>(0666 & ~mask);
}

// Whatever sits at name.tmp when a save starts, it is removed and the new
// file made afresh: nothing of it is kept, written through or in the way.
TEST(StaleTemporaryFile, IsRemovedAndTheNewOneMadeAfresh) {
    namespace fs = std::filesystem;
    ScopedTz tz("Asia/Tokyo");
    const TimeT now = fromLocal(2026, 5, 3, 15, 0, 0);
    CGeigerRecordArray g;
    g.AddRecord(now, 7);
    const std::string want = "2026,5,3,15,0,0,7\r\n";

    struct Case {
        const char* what;
        void (*leave)(const std::string& tmp, const std::string& other);
    };
    const Case cases[] = {
        {"read-only file with old content",
         [](const std::string& tmp, const std::string&) {
             spit(tmp, std::string(100000, 'x'));
             fs::permissions(tmp, fs::perms::none);
         }},
        {"link to another file",
         [](const std::string& tmp, const std::string& other) { fs::create_symlink(other, tmp); }},
        {"hard link to another file",
         [](const std::string& tmp, const std::string& other) {
             fs::create_hard_link(other, tmp);
         }},
        {"link to nowhere",
         [](const std::string& tmp, const std::string& other) {
             fs::create_symlink(other + ".gone", tmp);
         }},
        {"empty folder",
         [](const std::string& tmp, const std::string&) { fs::create_directory(tmp); }},
        // Opening it for writing would wait for a reader for ever.
        {"named pipe", [](const std::string& tmp,
                          const std::string&) { ASSERT_EQ(::mkfifo(tmp.c_str(), 0600), 0); }},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.file("GeigerData.csv"), tmp = path + ".tmp",
                          other = dir.file("other.csv");
        spit(other, "someone else's\r\n");
        c.leave(tmp, other);
        ASSERT_EQ(writeDataFile(path, g, now, 24), SaveResult::Saved) << c.what;
        EXPECT_EQ(slurp(path), want) << c.what;
        EXPECT_FALSE(fs::is_symlink(path)) << c.what;
        // A first save gives the mode of a new file, not the leftover's.
        EXPECT_EQ(fs::status(path).permissions(), freshFileMode()) << c.what;
        EXPECT_EQ(slurp(other), "someone else's\r\n") << c.what;
        EXPECT_FALSE(fs::exists(fs::symlink_status(tmp))) << c.what;
        EXPECT_FALSE(fs::exists(other + ".gone")) << c.what;
    }
}

}  // namespace
}  // namespace orvana
