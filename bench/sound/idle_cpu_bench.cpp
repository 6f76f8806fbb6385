// What the sound monitor costs: the metering step and the evaluation, and
// the whole logic idling on a live GStreamer source (capture thread, appsink
// copies, 200-ms ticks) measured as CPU time over real time.
//   ORVANA_IDLE_SECONDS   length of the idle run (default 30)
//   ORVANA_AUDIO_SOURCE   source description (default a silent live test source)
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <thread>

#include "core/settings_store.h"
#include "sound/gst_wave_input.h"
#include "sound/level_meter.h"
#include "sound/volume_monitor.h"

namespace orvana::sound {
namespace {

class NullPrompt final : public Prompt {
  public:
    void notify(const std::string&) override {}
    void message(const std::string&) override {}
    bool askOkCancel(const std::string&) override { return false; }
};

// Defaults for every key; nothing is kept.
class EmptyStore final : public SettingsStore {
  public:
    int getInt(const std::string&, const std::string&, int def) const override { return def; }
    std::string getString(const std::string&, const std::string&,
                          const std::string& def) const override {
        return def;
    }
    void writeInt(const std::string&, const std::string&, int) override {}
    void writeString(const std::string&, const std::string&, const std::string&) override {}
    bool contains(const std::string&, const std::string&) const override { return false; }
    bool sync() override { return true; }
};

class BenchHost final : public MonitorHost {
  public:
    BenchHost() : clock_(makeSystemClock()), store_(std::make_unique<EmptyStore>()) {}
    void Report(const std::string&, int, int) override {}
    int RegistMail(ALERT_MODE, const std::string&, const std::string&, int) override { return 1; }
    const AppSettings& settings() const override { return app_; }
    SettingsStore& store() override { return *store_; }
    Clock& clock() override { return *clock_; }
    Prompt& prompt() override { return prompt_; }
    bool headless() const override { return true; }

  private:
    AppSettings app_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<SettingsStore> store_;
    NullPrompt prompt_;
};

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_CheckPeakVolume200ms(benchmark::State& state) {
    std::vector<std::uint8_t> buf(2205);
    for (std::size_t i = 0; i < buf.size(); ++i)
        buf[i] = static_cast<std::uint8_t>(128 + (i % 64));
    for (auto _ : state) {
        int readPos = 0;
        double level;
        benchmark::DoNotOptimize(
            CheckPeakVolume(buf.data(), static_cast<int>(buf.size()), readPos, &level));
    }
}
BENCHMARK(BM_CheckPeakVolume200ms);

void BM_IdleMonitorCpuShare(benchmark::State& state) {
    const char* secs = std::getenv("ORVANA_IDLE_SECONDS");
    const int seconds = secs ? std::max(1, std::atoi(secs)) : 30;
    const char* src = std::getenv("ORVANA_AUDIO_SOURCE");
    GstWaveInputOptions o;
    o.source = src ? src : "audiotestsrc is-live=true wave=silence";
    for (auto _ : state) {
        BenchHost host;
        auto inputs = makeGstWaveInputFactory(o);
        VolumeMonitor monitor(host, *inputs);
        monitor.LoadSettings();
        if (!monitor.Open()) {
            state.SkipWithError("the sound input does not open");
            return;
        }
        // Let the pipeline settle before measuring.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = cpuSeconds();
        auto next = t0;
        while (std::chrono::steady_clock::now() - t0 < std::chrono::seconds(seconds)) {
            next += std::chrono::milliseconds(200);
            std::this_thread::sleep_until(next);
            monitor.OnTimer();
        }
        const double cpu = cpuSeconds() - c0;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall;
        state.counters["ticks"] = monitor.m_tick;
        monitor.Close();
    }
}
BENCHMARK(BM_IdleMonitorCpuShare)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace orvana::sound

BENCHMARK_MAIN();
