// Through a real sound server: a private pulseaudio with a null sink as the
// default, a WAV file played into it with paplay, and the default input (no
// source override) hearing it through its monitor.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "sound/gst_wave_input.h"
#include "sound/process_runner.h"
#include "sound/volume_monitor.h"
#include "sound/wave_capture.h"
#include "sound/wave_file.h"
#include "tests/sound/pulse_server.h"
#include "tests/sound/test_host.h"

namespace orvana::sound {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(PulseServer, DefaultInputHearsAWavPlayedIntoTheNullSink) {
    testing::PulseServer server;
    ASSERT_TRUE(server.ready()) << "pulseaudio did not come up";

    // Two seconds of a loud 550 Hz square, 8-bit mono 11025 Hz.
    std::vector<std::uint8_t> loud;
    for (int i = 0; i < 2 * 11025; ++i)
        loud.push_back((i / 10) % 2 ? 48 : 208);
    const std::string wav = (server.dir() / "loud.wav").string();
    ASSERT_EQ(WriteWaveFile(wav, WaveFormat(), loud.data(), loud.size()), 1);

    testing::TestHost host;
    auto inputs = makeGstWaveInputFactory(GstWaveInputOptions{});  // the default input
    EXPECT_GE(inputs->DeviceCount(), 1);
    ASSERT_EQ(ProbeVolumeInput(*inputs, host), 1) << ::testing::PrintToString(host.lines());

    WaveCapture capture(host, inputs->Create());
    ASSERT_TRUE(capture.Open(4, false));
    // Silence first: the null sink's monitor carries nothing yet.
    double level = 0;
    const auto until = [](std::chrono::milliseconds d) {
        return std::chrono::steady_clock::now() + d;
    };
    auto end = until(30s);
    while (capture.position() < 2205 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(10ms);
    ASSERT_GE(capture.position(), 2205) << "no samples from the sound server";
    capture.Meter(&level);
    EXPECT_LT(level, -30.0);

    auto player = makeProcessRunner();
    RunResult played;
    std::thread play([&] { played = player->Run("paplay", {wav}, "", 20s); });
    double loudest = -100;
    end = until(30s);
    while (loudest < 5.0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(100ms);
        if (capture.Meter(&level))
            loudest = std::max(loudest, level);
    }
    play.join();
    EXPECT_TRUE(played.started);
    EXPECT_EQ(played.exitCode, 0) << played.error;
    // The square's rms is 80 steps: about +8 dB.
    EXPECT_GT(loudest, 5.0);
    capture.Close();
}

}  // namespace
}  // namespace orvana::sound
