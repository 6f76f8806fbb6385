#include <gtest/gtest.h>

#include <cmath>

#include "sensors/local_time_cache.h"
#include "sensors/sensor_records.h"
#include "tests/sensors/test_dirs.h"

namespace orvana {
namespace {

using testing::ScopedTz;

// 2026-05-03 10:05:00 local time.
TimeT at1005() {
    return fromLocal(2026, 5, 3, 10, 5, 0);
}

TEST(TempSeries, SamplesOfOneMinuteShareTheEndOfMinuteKey) {
    ScopedTz tz("Asia/Tokyo");
    CTempRecordArray s;
    s.AddRecord(at1005(), 20.0, 40.0);
    s.AddRecord(at1005() + 59, 21.5, 41.5);
    ASSERT_EQ(s.GetSize(), 1);
    EXPECT_EQ(s[0].m_Time, fromLocal(2026, 5, 3, 10, 6, 0));
    EXPECT_DOUBLE_EQ(s[0].m_Temp, 21.5);
    EXPECT_DOUBLE_EQ(s[0].m_Humid, 41.5);

    // The next second starts the next minute.
    s.AddRecord(at1005() + 60, 22.0, 42.0);
    ASSERT_EQ(s.GetSize(), 2);
    EXPECT_EQ(s[1].m_Time, fromLocal(2026, 5, 3, 10, 7, 0));
}

TEST(TempSeries, LateSampleGoesIntoItsPlaceOrMergesWithItsMinute) {
    ScopedTz tz("Asia/Tokyo");
    CTempRecordArray s;
    s.AddRecord(at1005() + 120, 3, 3);
    s.AddRecord(at1005(), 1, 1);       // before every record: index 0
    s.AddRecord(at1005() + 60, 2, 2);  // between
    s.AddRecord(at1005() + 5, 9, 9);   // same minute as the oldest: merged
    ASSERT_EQ(s.GetSize(), 3);
    EXPECT_EQ(s[0].m_Temp, 9);
    EXPECT_EQ(s[1].m_Temp, 2);
    EXPECT_EQ(s[2].m_Temp, 3);
    EXPECT_LT(s[0].m_Time, s[1].m_Time);
    EXPECT_LT(s[1].m_Time, s[2].m_Time);
}

TEST(TempSeries, DstChangesDoNotShiftKeys) {
    ScopedTz tz("Europe/Berlin");
    // Spring forward (2026-03-29 01:00 UTC) and fall back (2026-10-25 01:00 UTC):
    // one sample every 20 s for two hours around each change.
    for (TimeT change : {TimeT{1774746000}, TimeT{1792890000}}) {
        CTempRecordArray s;
        for (TimeT t = change - 3600; t < change + 3600; t += 20)
            s.AddRecord(t, double(t), 0);
        ASSERT_EQ(s.GetSize(), 120);
        for (int i = 0; i < s.GetSize(); ++i) {
            const TimeT minuteStart = change - 3600 + 60 * i;
            EXPECT_EQ(s[i].m_Time, minuteStart + 60) << i;
            EXPECT_EQ(s[i].m_Temp, double(minuteStart + 40)) << i;  // last sample wins
        }
    }
}

TEST(SeriesStats, NewestRecordsOnlyAndEmptyCases) {
    CTempRecordArray t;
    EXPECT_EQ(t.GetTempMin(1440), 0.0);
    EXPECT_EQ(t.GetTempMax(1440), 0.0);
    EXPECT_EQ(t.GetHumidAve(1440), 0.0);
    const double temps[10] = {5, -3, 8, 1, 2, 9, 4, 7, 6, 0};
    for (int i = 0; i < 10; ++i)
        t.AddKeyedRecord(60 * (i + 1), temps[i], 100 - i);
    EXPECT_EQ(t.GetTempMin(1440), -3.0);
    EXPECT_EQ(t.GetTempMax(1440), 9.0);
    EXPECT_DOUBLE_EQ(t.GetTempAve(1440), 3.9);
    EXPECT_EQ(t.GetHumidMin(1440), 91.0);
    EXPECT_EQ(t.GetHumidMax(1440), 100.0);
    EXPECT_DOUBLE_EQ(t.GetHumidAve(1440), 95.5);
    EXPECT_EQ(t.GetTempAve(1), 0.0);  // the newest value
    EXPECT_EQ(t.GetTempMax(3), 7.0);
    EXPECT_EQ(t.GetTempMin(3), 0.0);
    for (int n : {0, -1}) {
        EXPECT_EQ(t.GetTempAve(n), 0.0);
        EXPECT_EQ(t.GetTempMin(n), 0.0);
        EXPECT_EQ(t.GetHumidMax(n), 0.0);
    }

    COwlRecordArray p;
    EXPECT_EQ(p.GetPowerAve(1), 0.0);
    for (int i = 0; i < 10; ++i)
        p.AddRecord(60 * i, i + 1.0);
    EXPECT_EQ(p.GetPowerMin(1440), 1.0);
    EXPECT_EQ(p.GetPowerMax(1440), 10.0);
    EXPECT_DOUBLE_EQ(p.GetPowerAve(1440), 5.5);
    EXPECT_EQ(p.GetPowerAve(0), 0.0);
}

TEST(GeigerSeries, InsertsInTimeOrderEqualTimesFirst) {
    CGeigerRecordArray s;
    s.AddRecord(100, 1);
    s.AddRecord(300, 3);
    s.AddRecord(200, 2);   // earlier than the newest: into its place
    s.AddRecord(50, 0);    // earlier than all: index 0
    s.AddRecord(200, 22);  // equal time: before the existing one
    ASSERT_EQ(s.GetSize(), 5);
    const double want[5] = {0, 1, 22, 2, 3};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s[i].m_Cpm, want[i]) << i;
        EXPECT_EQ(s[i].m_MaWindow, 0);
    }
}

TEST(GeigerSeries, PrecalWindowFiveAndCacheHitsAndMisses) {
    CGeigerRecordArray s;
    const double v[10] = {3, 8, 1, 9, 4, 7, 2, 6, 5, 10};
    for (int i = 0; i < 10; ++i)
        s.AddRecord(60 * i, v[i]);
    s.PrecalCpmMA(5, 0, 9);
    for (int i = 0; i < 10; ++i) {
        double sum = 0;
        int n = 0;
        for (int k = std::max(0, i - 4); k <= i; ++k, ++n)
            sum += v[k];
        EXPECT_EQ(s[i].m_MaWindow, 5) << i;
        EXPECT_NEAR(s[i].m_MaValue, sum / n, 1e-12) << i;
    }
    EXPECT_DOUBLE_EQ(s[0].m_MaValue, 3.0);
    EXPECT_DOUBLE_EQ(s[9].m_MaValue, (7 + 2 + 6 + 5 + 10) / 5.0);

    // A planted cache value shows which calls read the cache.
    s[9].m_MaValue = 123.0;
    EXPECT_EQ(s.GetCpmMA(9, 5), 123.0);
    EXPECT_DOUBLE_EQ(s.GetCpmMA(9, 3), (6 + 5 + 10) / 3.0);
    EXPECT_EQ(s[9].m_MaWindow, 5);  // a miss caches nothing
    EXPECT_DOUBLE_EQ(s.GetCpmMA(1, 30), (3 + 8) / 2.0);
    // A new record starts without a cache, whatever its neighbours hold.
    s.AddRecord(60 * 10, 1);
    EXPECT_EQ(s[10].m_MaWindow, 0);
    EXPECT_DOUBLE_EQ(s.GetCpmMA(10, 1), 1.0);
}

TEST(OwlSeries, PrecalRangeEndsAreClampedAndOrderFree) {
    COwlRecordArray s;
    for (int i = 0; i < 10; ++i)
        s.AddRecord(60 * i, i);
    s.PrecalPowerMA(3, 50, 7);  // hi clamped to 9, lo = 7
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(s[i].m_MaWindow, 0) << i;
    for (int i = 7; i < 10; ++i) {
        EXPECT_EQ(s[i].m_MaWindow, 3);
        EXPECT_DOUBLE_EQ(s.GetPowerMA(i, 3), i - 1.0);
    }
    s.PrecalPowerMA(4, -5, 1);  // lo clamped to 0
    EXPECT_DOUBLE_EQ(s[0].m_MaValue, 0.0);
    EXPECT_DOUBLE_EQ(s[1].m_MaValue, 0.5);
    EXPECT_EQ(s[2].m_MaWindow, 0);

    // Nothing happens for an empty series or a window of 0; no crash for
    // indexes outside the series.
    COwlRecordArray e;
    e.PrecalPowerMA(5, 0, 10);
    EXPECT_EQ(e.GetPowerMA(0, 5), 0.0);
    s.PrecalPowerMA(0, 0, 9);
    EXPECT_EQ(s[8].m_MaWindow, 3);
    EXPECT_EQ(s.GetPowerMA(10, 5), 0.0);
    EXPECT_EQ(s.GetPowerMA(5, 0), 0.0);
}

TEST(OwlSeries, SlidingSumMatchesDirectAverageOverLongSeries) {
    COwlRecordArray s;
    for (int i = 0; i < 5000; ++i)
        s.AddRecord(60 * i, std::sin(i * 0.01) * 3 + 3);
    s.PrecalPowerMA(1440, s.GetSize() - 1, 0);
    COwlRecordArray fresh = s;
    for (int i = 0; i < fresh.GetSize(); ++i)
        fresh[i].m_MaWindow = 0;
    for (int i : {0, 1, 1439, 1440, 2500, 4999})
        EXPECT_NEAR(s.GetPowerMA(i, 1440), fresh.GetPowerMA(i, 1440), 1e-9) << i;
}

}  // namespace
}  // namespace orvana

namespace orvana {
namespace {

TEST(LocalTimeCache, AgreesWithThePlatformOverAYearWithDst) {
    testing::ScopedTz tz("Europe/Berlin");
    LocalTimeCache cache;
    TimeT prev = INT64_MIN;
    for (TimeT t = 1767225600 - 3600; t < 1767225600 + 366 * 86400; t += 7 * 60 + 13) {
        const LocalTime lt = toLocal(t);
        const CalendarFields f = cache.toLocalFields(t);
        ASSERT_EQ(f.year, lt.year) << t;
        ASSERT_EQ(f.month, lt.month) << t;
        ASSERT_EQ(f.day, lt.day) << t;
        ASSERT_EQ(f.hour, lt.hour) << t;
        ASSERT_EQ(f.minute, lt.minute) << t;
        ASSERT_EQ(f.second, lt.second) << t;
        TimeT back = 0;
        ASSERT_TRUE(cache.fromLocalFields(f, prev, back));
        ASSERT_EQ(back, t);
        prev = t;
    }
    TimeT out = 42;
    EXPECT_FALSE(cache.fromLocalFields({2026, 2, 29, 0, 0, 0}, 0, out));
    EXPECT_FALSE(cache.fromLocalFields({2026, 1, 1, 24, 0, 0}, 0, out));
    EXPECT_FALSE(cache.fromLocalFields({2026, 0, 1, 0, 0, 0}, 0, out));
    EXPECT_EQ(out, 42);
    EXPECT_TRUE(cache.fromLocalFields({2024, 2, 29, 0, 0, 0}, 0, out));
}

}  // namespace
}  // namespace orvana
