// Speed and memory of the sensor series and their data files at the size of
// the longest keep period: two years of one record per minute.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "bench_data.h"
#include "sensors/data_file.h"
#include "sensors/sensor_records.h"

namespace orvana {
namespace {

using bench::benchDir;
using bench::sample;

constexpr int kTwoYears = 1051920;
constexpr TimeT kEnd = 1796083200;  // 2026-12-01 00:00 UTC
constexpr TimeT kStart = kEnd - TimeT{60} * kTwoYears;

const CTempRecordArray& tempSeries() {
    static const CTempRecordArray s = [] {
        CTempRecordArray t;
        t.reserve(kTwoYears);
        for (int i = 0; i < kTwoYears; ++i)
            t.AddKeyedRecord(kStart + 60 * (i + 1), std::round(sample(i, 22, 8) * 100) / 100,
                             std::round(sample(i * 7, 50, 20) * 10) / 10);
        return t;
    }();
    return s;
}

const COwlRecordArray& owlSeries() {
    static const COwlRecordArray s = [] {
        COwlRecordArray p;
        p.reserve(kTwoYears);
        for (int i = 0; i < kTwoYears; ++i)
            p.AddRecord(kStart + 60 * i + 3, std::round(sample(i, 20, 19)) * 0.06);
        return p;
    }();
    return s;
}

void BM_SaveTemperature2Years(benchmark::State& state) {
    const auto& s = tempSeries();
    const std::string path = benchDir() + "/TemperatureData.csv";
    for (auto _ : state)
        if (writeDataFile(path, s, kEnd, 17544) != SaveResult::Saved)
            state.SkipWithError("save failed");
    state.counters["records"] = static_cast<double>(s.size());
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_SaveTemperature2Years)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadTemperature2Years(benchmark::State& state) {
    const std::string path = benchDir() + "/TemperatureData.csv";
    if (writeDataFile(path, tempSeries(), kEnd, 17544) != SaveResult::Saved)
        state.SkipWithError("save failed");
    CTempRecordArray back;
    for (auto _ : state) {
        const LoadResult r = readDataFile(path, back);
        if (r.loaded != static_cast<std::size_t>(kTwoYears))
            state.SkipWithError("short load");
    }
    state.counters["records"] = static_cast<double>(back.size());
    state.counters["bytes_per_record"] =
        static_cast<double>(back.capacityBytes()) / static_cast<double>(back.size());
}
BENCHMARK(BM_LoadTemperature2Years)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SavePower2Years(benchmark::State& state) {
    const auto& s = owlSeries();
    const std::string path = benchDir() + "/OwlData.csv";
    for (auto _ : state)
        if (writeDataFile(path, s, kEnd, 17544) != SaveResult::Saved)
            state.SkipWithError("save failed");
    state.counters["records"] = static_cast<double>(s.size());
}
BENCHMARK(BM_SavePower2Years)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadPower2Years(benchmark::State& state) {
    const std::string path = benchDir() + "/OwlData.csv";
    if (writeDataFile(path, owlSeries(), kEnd, 17544) != SaveResult::Saved)
        state.SkipWithError("save failed");
    COwlRecordArray back;
    for (auto _ : state) {
        const LoadResult r = readDataFile(path, back);
        if (r.loaded != static_cast<std::size_t>(kTwoYears))
            state.SkipWithError("short load");
    }
    state.counters["records"] = static_cast<double>(back.size());
    state.counters["bytes_per_record"] =
        static_cast<double>(back.capacityBytes()) / static_cast<double>(back.size());
}
BENCHMARK(BM_LoadPower2Years)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PrecalPowerMA_43200x1440(benchmark::State& state) {
    COwlRecordArray p;
    for (int i = 0; i < 43200; ++i)
        p.AddRecord(kStart + 60 * i, sample(i, 1.2, 1.0));
    for (auto _ : state) {
        p.PrecalPowerMA(1440, p.GetSize() - 1, 0);
        benchmark::DoNotOptimize(p[0].m_MaValue);
    }
    state.counters["records"] = 43200;
}
BENCHMARK(BM_PrecalPowerMA_43200x1440)->Unit(benchmark::kMicrosecond);

void BM_RecordSizes(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(sizeof(CTempRecord));
    state.counters["CTempRecord_bytes"] = sizeof(CTempRecord);
    state.counters["CGeigerRecord_bytes"] = sizeof(CGeigerRecord);
    state.counters["COwlRecord_bytes"] = sizeof(COwlRecord);
}
BENCHMARK(BM_RecordSizes)->Iterations(1);

}  // namespace
}  // namespace orvana

int main(int argc, char** argv) {
    // A zone with DST changes, so the day cache meets its slow days; another
    // zone can be chosen by setting TZ.
    if (!std::getenv("TZ"))
        ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
