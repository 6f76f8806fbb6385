// Loading a million-line data file whatever the order of its lines: as
// written (ascending), reversed, shuffled, and with a few times shared by
// all lines. A file in any order must load in at most one second.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "bench_data.h"
#include "sensors/data_file.h"
#include "sensors/sensor_records.h"

namespace orvana {
namespace {

using bench::benchDir;
using bench::sample;

constexpr int kLines = 1000000;
constexpr int kSharedTimes = 100;
constexpr TimeT kEnd = 1796083200;  // 2026-12-01 00:00 UTC
constexpr TimeT kStart = kEnd - TimeT{60} * kLines;

enum class Order { Ascending, Reversed, Shuffled, FewSharedTimes };

const char* orderName(Order o) {
    switch (o) {
        case Order::Ascending:
            return "ascending";
        case Order::Reversed:
            return "reversed";
        case Order::Shuffled:
            return "shuffled";
        case Order::FewSharedTimes:
            return "few_shared_times";
    }
    return "";
}

std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    std::vector<std::string> lines;
    lines.reserve(kLines);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

void writeLines(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream out(path, std::ios::binary);
    for (const auto& l : lines)
        out << l << "\r\n";
}

// A file of kLines lines in the given order, written by the program's own
// writer and then reordered. The few-shared-times file holds kSharedTimes
// distinct times, shuffled.
template <class Series>
std::string makeFile(const char* kind, Order order) {
    const std::string path = benchDir() + "/" + kind + "-" + orderName(order) + ".csv";
    if (std::filesystem::exists(path))
        return path;
    const bool few = order == Order::FewSharedTimes;
    Series s;
    std::vector<typename Series::value_type> batch;
    if constexpr (std::is_same_v<Series, CTempRecordArray>) {
        // Keys merge, so the few shared ones are written once and repeated.
        const int keys = few ? kSharedTimes : kLines;
        for (int i = 0; i < keys; ++i)
            batch.push_back({kStart + 60 * (i + 1), std::round(sample(i, 22, 8) * 100) / 100,
                             std::round(sample(i * 7, 50, 20) * 10) / 10});
        s.AddKeyedRecords(std::move(batch));
    } else {
        for (int i = 0; i < kLines; ++i) {
            typename Series::value_type r;
            r.m_Time = few ? kEnd - 60 * (i % kSharedTimes + 1) : kStart + 60 * (i + 1);
            r.m_Cpm = std::round(sample(i, 20, 19));
            batch.push_back(r);
        }
        s.AddRecords(std::move(batch));
    }
    if (writeDataFile(path, s, kEnd, 17544) != SaveResult::Saved)
        std::abort();
    std::vector<std::string> lines = linesOf(path);
    while (lines.size() < static_cast<std::size_t>(kLines))
        lines.push_back(lines[lines.size() % kSharedTimes]);
    if (order == Order::Reversed)
        std::reverse(lines.begin(), lines.end());
    if (order == Order::Shuffled || few) {
        std::mt19937 rng(42);
        std::shuffle(lines.begin(), lines.end(), rng);
    }
    writeLines(path, lines);
    return path;
}

template <class Series>
void BM_Load(benchmark::State& state, const char* kind, Order order) {
    const std::string path = makeFile<Series>(kind, order);
    Series back;
    for (auto _ : state) {
        const LoadResult r = readDataFile(path, back);
        if (r.loaded != static_cast<std::size_t>(kLines))
            state.SkipWithError("short load");
    }
    state.counters["lines"] = kLines;
    state.counters["records"] = static_cast<double>(back.size());
}

}  // namespace
}  // namespace orvana

int main(int argc, char** argv) {
    using namespace orvana;
    // A zone with DST changes, so the files hold repeated hours and days of a
    // change; another zone can be chosen by setting TZ.
    if (!std::getenv("TZ"))
        ::setenv("TZ", "America/New_York", 1);
    ::tzset();
    for (Order o : {Order::Ascending, Order::Reversed, Order::Shuffled, Order::FewSharedTimes}) {
        benchmark::RegisterBenchmark(
            (std::string("LoadRadiation/") + orderName(o)).c_str(),
            [o](benchmark::State& st) { BM_Load<CGeigerRecordArray>(st, "GeigerData", o); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(
            (std::string("LoadTemperature/") + orderName(o)).c_str(),
            [o](benchmark::State& st) { BM_Load<CTempRecordArray>(st, "TemperatureData", o); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
