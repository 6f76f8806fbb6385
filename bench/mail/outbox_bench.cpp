// What the durable outbox costs the UI thread: RegistMail with the mail
// written beside, flushed and renamed into the outbox, with and without
// pictures. Each call is timed on its own; the median and the maximum are
// reported as counters (median_ms, max_ms).
//
// The outbox goes into a fresh folder under the current directory (run from
// the build folder: this machine's disk, not a RAM disk), or under
// $ORVANA_BENCH_DIR.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "mail/mail_composer.h"
#include "mail/mail_queue.h"
#include "mail/outbox.h"

namespace {

using namespace orvana;
namespace fs = std::filesystem;

class SteadyClock final : public Clock {
  public:
    TimeT now() const override { return std::time(nullptr); }
    std::int64_t nowMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    void sleepFor(std::chrono::milliseconds) override {}
};

// Camera windows whose pictures already exist (taking the pictures is the
// monitors' cost, not the outbox's).
class Cameras final : public Monitor {
  public:
    explicit Cameras(std::vector<std::string> files) : files_(std::move(files)) {}
    const MonitorKind& kind() const override { return kind_; }
    int probe() override { return 1; }
    int start() override { return 1; }
    void stop() override {}
    bool running() const override { return !files_.empty(); }
    std::vector<std::string> attachments() override { return files_; }
    std::string statusBlock() override { return {}; }
    void SaveSettingBeforeClose() override {}

  private:
    std::vector<std::string> files_;
    MonitorKind kind_{"camera", ALERT_CAM, MonitorSwitch::Camera, COL_CAM, 20};
};

class Host final : public MailHost {
  public:
    explicit Host(std::vector<std::string> pictures) {
        s.working = 1;
        CUserAddress a;
        a.m_strAddress = "owner@home.example";
        a.m_bIjyou = 1;
        s.addresses = {a, a};
        s.attach = AttachMatrix{};
        s.attach[static_cast<std::size_t>(attachRowOf(ALERT_CAM))]
                [static_cast<std::size_t>(COL_CAM)] = 1;
        registry.add(std::make_unique<Cameras>(std::move(pictures)));
    }
    const AppSettings& settings() const override { return s; }
    Clock& clock() override { return clk; }
    void Report(const std::string&, int, int) override {}
    MonitorRegistry& monitors() override { return registry; }
    std::string SaveDesktopBitmap() override { return {}; }
    std::string GetIpAddress() override { return {}; }

    AppSettings s;
    SteadyClock clk;
    MonitorRegistry registry;
};

std::string scratchFolder() {
    const char* base = std::getenv("ORVANA_BENCH_DIR");
    std::string tmpl = std::string(base && *base ? base : ".") + "/orvana-outbox-bench-XXXXXX";
    const char* made = ::mkdtemp(tmpl.data());
    return made ? std::string(made) : std::string();
}

// range(0): pictures per notice (200 KB each, hard-linked into the outbox).
void BM_RegistMailWithOutbox(benchmark::State& st) {
    const std::string dir = scratchFolder();
    if (dir.empty()) {
        st.SkipWithError("no scratch folder");
        return;
    }
    fs::create_directories(dir + "/data");
    std::vector<std::string> pictures;
    for (int i = 0; i < st.range(0); ++i) {
        pictures.push_back(dir + "/data/2026年12月08日10時00分00秒#Cam" + std::to_string(i) +
                           ".jpg");
        std::ofstream(pictures.back(), std::ios::binary) << std::string(200 * 1024, 'j');
    }
    Host host(pictures);
    MailQueue queue;
    queue.attachOutbox(std::make_unique<Outbox>(dir + "/outbox", nullptr));
    const std::string text(600, 'x');
    std::vector<double> ms;
    for (auto _ : st) {
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(RegistMail(host, queue, ALERT_CAM, "動体検知", text, 2));
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        st.counters["median_ms"] = ms[ms.size() / 2];
        st.counters["max_ms"] = ms.back();
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}
BENCHMARK(BM_RegistMailWithOutbox)
    ->Arg(0)
    ->Arg(3)
    ->Arg(12)
    ->Iterations(400)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
