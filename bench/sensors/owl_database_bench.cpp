// One power cycle on the vendor's table after two years of minute rows
// (1,051,920 rows): the whole table fetched with sqlite3_get_table as the
// first version did it, the reader's full read stepping every row, and the
// reader's incremental read, side by side. Each timed cycle finds one row
// the vendor wrote since the last (written outside the timing); the idle
// cycle finds none (the 30 s cycle meets a new minute row every other time);
// the first cycle after a start has no read position yet.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <unistd.h>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_data.h"
#include "sensors/local_time_cache.h"
#include "sensors/owl_database.h"
#include "sensors/sensor_records.h"
#include "tests/sensors/owl_reference.h"

namespace orvana {
namespace {

using bench::benchDir;

constexpr int kTwoYears = 1051920;
constexpr TimeT kEnd = 1796083200;  // 2026-12-01 00:00 UTC
constexpr TimeT kStart = kEnd - TimeT{60} * (kTwoYears - 1);
constexpr int kKeepTwoYears = 11;

// The vendor's side: one connection that made the table and appends a row
// per cycle, and the time of the newest row.
struct Vendor {
    sqlite3* db = nullptr;
    sqlite3_stmt* insert = nullptr;
    TimeT newest = 0;
    LocalTimeCache local;
    std::string path;

    Vendor() : path(benchDir() + "/be.db") {
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
            std::abort();
        exec(
            "CREATE TABLE energy_history (year INTEGER, month INTEGER, day INTEGER, "
            "hour INTEGER, min INTEGER, unused INTEGER, energy REAL, extra INTEGER)");
        sqlite3_prepare_v2(db, "INSERT INTO energy_history VALUES (?,?,?,?,?,0,?,0)", -1, &insert,
                           nullptr);
        exec("PRAGMA synchronous=OFF");
        exec("BEGIN");
        for (TimeT t = kStart; t <= kEnd; t += 60)
            add(t);
        exec("COMMIT");
    }

    void exec(const char* sql) {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            std::abort();
    }

    void add(TimeT t) {
        const CalendarFields f = local.toLocalFields(t);
        const int v[5] = {f.year, f.month, f.day, f.hour, f.minute};
        for (int i = 0; i < 5; ++i)
            sqlite3_bind_int(insert, i + 1, v[i]);
        const unsigned h = static_cast<unsigned>(t / 60) * 2654435761u;
        sqlite3_bind_double(insert, 6, static_cast<double>(h % 600) / 10.0);
        if (sqlite3_step(insert) != SQLITE_DONE)
            std::abort();
        sqlite3_reset(insert);
        newest = t;
    }

    // The next minute, as the vendor's software writes it.
    void next() { add(newest + 60); }
    TimeT cutoff() const { return keepCutoff(newest + 30, kKeepTwoYears); }
};

Vendor& vendor() {
    static Vendor v;
    return v;
}

// A series in step with the table: every row of the last two years.
COwlRecordArray caughtUp(VendorDatabase& db) {
    COwlRecordArray s;
    s.reserve(kTwoYears + 100000);
    db.readCycle(s, vendor().cutoff());
    return s;
}

void report(benchmark::State& state, const COwlRecordArray& series, std::size_t rows) {
    state.counters["rows_read"] =
        benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kAvgIterations);
    state.counters["series"] = static_cast<double>(series.size());
}

void BM_OwlCycleOriginalGetTable(benchmark::State& state) {
    Vendor& v = vendor();
    auto reader = makeSqliteVendorDatabase(v.path);
    COwlRecordArray series = caughtUp(*reader);
    std::size_t rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        v.next();
        state.ResumeTiming();
        testing::referenceCycle(v.path, series, v.cutoff());
        rows += static_cast<std::size_t>(v.newest - kStart) / 60 + 1;
    }
    if (series[series.size() - 1].m_Time != v.newest)
        state.SkipWithError("the newest row was not read");
    report(state, series, rows);
}
BENCHMARK(BM_OwlCycleOriginalGetTable)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void cycles(benchmark::State& state, OwlReadMode mode, bool newRow) {
    Vendor& v = vendor();
    SqliteVendorDatabaseOptions o;
    o.mode = mode;
    auto reader = makeSqliteVendorDatabase(v.path, o);
    COwlRecordArray series = caughtUp(*reader);
    std::size_t rows = 0;
    for (auto _ : state) {
        if (newRow) {
            state.PauseTiming();
            v.next();
            state.ResumeTiming();
        }
        const OwlCycleResult r = reader->readCycle(series, v.cutoff());
        rows += r.rowsRead;
        if (r.status != OwlCycleResult::Status::Read || r.added != (newRow ? 1u : 0u) ||
            r.incremental != (mode == OwlReadMode::Incremental)) {
            state.SkipWithError("unexpected cycle");
            break;
        }
    }
    report(state, series, rows);
}

void BM_OwlCycleFullStep(benchmark::State& state) {
    cycles(state, OwlReadMode::Full, true);
}
BENCHMARK(BM_OwlCycleFullStep)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_OwlCycleIncremental(benchmark::State& state) {
    cycles(state, OwlReadMode::Incremental, true);
}
BENCHMARK(BM_OwlCycleIncremental)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_OwlCycleIncrementalIdle(benchmark::State& state) {
    cycles(state, OwlReadMode::Incremental, false);
}
BENCHMARK(BM_OwlCycleIncrementalIdle)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The first cycle after the program starts (or the window reopens) with
// its series loaded from the data file: no read position yet, so the anchor
// is found by bisecting the rowids.
void BM_OwlFirstCycleAfterStart(benchmark::State& state) {
    Vendor& v = vendor();
    auto first = makeSqliteVendorDatabase(v.path);
    COwlRecordArray series = caughtUp(*first);
    std::size_t rows = 0;
    for (auto _ : state) {
        auto reader = makeSqliteVendorDatabase(v.path);
        const OwlCycleResult r = reader->readCycle(series, v.cutoff());
        rows += r.rowsRead;
        if (r.status != OwlCycleResult::Status::Read || !r.searched || r.added != 0) {
            state.SkipWithError("unexpected cycle");
            break;
        }
    }
    report(state, series, rows);
}
BENCHMARK(BM_OwlFirstCycleAfterStart)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace orvana

int main(int argc, char** argv) {
    // A zone without daylight saving: every minute of two years is one row
    // and one record.
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
