// One measurement cycle of the temperature and of the radiation monitor as
// the program runs it on its UI thread: the real libkelvaro.so / libruvasko.so
// bound by file name, a request and its reply through the simulated HID
// device, the title, the series, the alarm evaluation. The simulated device
// answers at once, so the figure is the program's own cost per cycle.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <mutex>

#include "core/monitor_host.h"
#include "sensors/geiger_monitor.h"
#include "sensors/temperature_monitor.h"
#include "tests/devices/simhid.h"

namespace orvana::sensors {
namespace {

class BenchClock final : public Clock {
  public:
    TimeT now() const override { return ms_ / 1000; }
    std::int64_t nowMs() const override { return ms_; }
    void sleepFor(std::chrono::milliseconds d) override { ms_ += d.count(); }
    std::int64_t ms_ = 1777777777000;
};

class BenchStore final : public SettingsStore {
  public:
    int getInt(const std::string& s, const std::string& k, int d) const override {
        const auto it = ints_.find(s + "/" + k);
        return it == ints_.end() ? d : it->second;
    }
    std::string getString(const std::string& s, const std::string& k,
                          const std::string& d) const override {
        const auto it = texts_.find(s + "/" + k);
        return it == texts_.end() ? d : it->second;
    }
    void writeInt(const std::string& s, const std::string& k, int v) override {
        ints_[s + "/" + k] = v;
    }
    void writeString(const std::string& s, const std::string& k, const std::string& v) override {
        texts_[s + "/" + k] = v;
    }
    bool contains(const std::string& s, const std::string& k) const override {
        return ints_.count(s + "/" + k) || texts_.count(s + "/" + k);
    }
    bool sync() override { return true; }

  private:
    std::map<std::string, int> ints_;
    std::map<std::string, std::string> texts_;
};

class NullPrompt final : public Prompt {
  public:
    void notify(const std::string&) override {}
    void message(const std::string&) override {}
    bool askOkCancel(const std::string&) override { return false; }
};

class BenchHost final : public MonitorHost {
  public:
    void Report(const std::string&, int, int) override {}
    int RegistMail(ALERT_MODE, const std::string&, const std::string&, int) override { return 1; }
    const AppSettings& settings() const override { return app_; }
    SettingsStore& store() override { return store_; }
    Clock& clock() override { return clock_; }
    Prompt& prompt() override { return prompt_; }
    bool headless() const override { return true; }

    BenchClock clock_;

  private:
    AppSettings app_;
    BenchStore store_;
    NullPrompt prompt_;
};

FolderLibraryLoader& loader() {
    static FolderLibraryLoader l({ORVANA_KELVARO_DIR, ORVANA_RUVASKO_DIR}, false);
    return l;
}

void BM_TemperatureCycle(benchmark::State& state) {
    simhid_reset();
    simhid_add_device(0x1774, 0x1001, "/dev/sim/meter0");
    BenchHost host;
    TemperatureMonitor m(host, &loader(), 0);
    m.LoadSettings();
    m.mNotify = 1;
    m.bTempWarnHi = 1;
    m.Open();
    for (auto _ : state) {
        host.clock_.ms_ += 10000;
        benchmark::DoNotOptimize(m.DoMeasure());
    }
    if (m.series().empty())
        state.SkipWithError("no reading");
}
BENCHMARK(BM_TemperatureCycle);

void BM_RadiationCycle(benchmark::State& state) {
    simhid_reset();
    const int counter = simhid_add_device(0x1774, 0x1002, "/dev/sim/counter0");
    BenchHost host;
    GeigerMonitor m(host, &loader(), 0);
    m.LoadSettings();
    m.mNotify = 1;
    m.Open();
    std::uint32_t count = 0;
    for (auto _ : state) {
        // A new count every poll; a minute change (and a record with the
        // alarm evaluated) every sixth poll.
        state.PauseTiming();
        count += 3;
        const unsigned char reply[8] = {0,
                                        static_cast<unsigned char>(count),
                                        static_cast<unsigned char>(count >> 8),
                                        static_cast<unsigned char>(count >> 16),
                                        static_cast<unsigned char>(count >> 24),
                                        0,
                                        0,
                                        0};
        simhid_set_reply(counter, reply);
        host.clock_.ms_ += 10000;
        state.ResumeTiming();
        benchmark::DoNotOptimize(m.DoMeasure());
    }
    if (m.series().empty() && state.iterations() > 12)
        state.SkipWithError("no record");
}
BENCHMARK(BM_RadiationCycle);

}  // namespace
}  // namespace orvana::sensors

BENCHMARK_MAIN();
