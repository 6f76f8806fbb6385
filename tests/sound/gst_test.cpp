// Through GStreamer: a live source pushed by the test (quiet, loud, quiet)
// raises and ends the alarm and the mail carries the recording; a broken
// source description fails the probe with its two lines.
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "sound/gst_wave_input.h"
#include "sound/level_meter.h"
#include "sound/volume_monitor.h"
#include "tests/sound/temp_folder.h"
#include "tests/sound/test_host.h"

namespace orvana::sound {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::TestHost;

constexpr int kRate = 44100;

// Waits (real time, bounded) until the capture has received `bytes`.
bool waitForPosition(WaveCapture& c, int bytes, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (c.position() >= bytes)
            return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

class LiveSource {
  public:
    // 200 ms of a 441 Hz sine of the given amplitude (0..1), S16 mono.
    void push(double amplitude) {
        const int n = kRate / 5;
        GstBuffer* buf = gst_buffer_new_allocate(nullptr, n * 2, nullptr);
        GstMapInfo map;
        gst_buffer_map(buf, &map, GST_MAP_WRITE);
        auto* s = reinterpret_cast<std::int16_t*>(map.data);
        for (int i = 0; i < n; ++i)
            s[i] = static_cast<std::int16_t>(
                std::lround(amplitude * 32767 * std::sin(2 * M_PI * 441.0 * (i + sent_) / kRate)));
        gst_buffer_unmap(buf, &map);
        GST_BUFFER_PTS(buf) = gst_util_uint64_scale(sent_, GST_SECOND, kRate);
        GST_BUFFER_DURATION(buf) = gst_util_uint64_scale(n, GST_SECOND, kRate);
        sent_ += n;
        ASSERT_NE(src, nullptr);
        ASSERT_EQ(gst_app_src_push_buffer(GST_APP_SRC(src), buf), GST_FLOW_OK);
    }
    GstElement* src = nullptr;  // owned by the pipeline

  private:
    long long sent_ = 0;
};

TEST(GstEndToEnd, QuietLoudQuietRaisesAndEndsTheAlarmWithTheRecording) {
    const fs::path dir = testing::freshFolder("orvana_gst_e2e");

    LiveSource live;
    GstWaveInputOptions o;
    o.source =
        "appsrc name=feed is-live=true format=time "
        "caps=audio/x-raw,format=S16LE,rate=44100,channels=1,layout=interleaved";
    o.onPipeline = [&](GstElement* p) { live.src = gst_bin_get_by_name(GST_BIN(p), "feed"); };
    auto inputs = makeGstWaveInputFactory(o);

    TestHost host;
    host.store_.writeString("Setting", "DATA_DIR", dir.string());
    host.store_.writeInt("Volume", "VOL_INTEG_TIME", 1);
    host.store_.writeInt("Volume", "ENABLE_NOTIFY", 1);
    ASSERT_EQ(ProbeVolumeInput(*inputs, host), 1);
    if (live.src)
        gst_object_unref(live.src);
    live.src = nullptr;

    VolumeMonitor monitor(host, *inputs, {false});
    monitor.LoadSettings();
    host.attach = [&] { return std::vector<std::string>{monitor.SaveWave()}; };
    ASSERT_TRUE(monitor.Open());
    ASSERT_NE(live.src, nullptr);

    int segment = 0;  // bytes pushed into the current segment
    auto tick = [&](double amplitude) {
        live.push(amplitude);
        segment += 2205;
        // The resampler may hold back a few samples.
        ASSERT_TRUE(waitForPosition(monitor.capture(), segment - 64));
        host.clock_.advance(200ms);
        monitor.OnTimer();
        if (monitor.m_tick % 20 == 0) {  // what the capture thread does every 4 s
            monitor.capture().CycleSegment();
            segment = 0;
        }
    };
    for (int i = 0; i < 15; ++i)
        tick(0.0005);
    EXPECT_LT(monitor.levels().GetVolHisAve(), -30.0);
    EXPECT_TRUE(host.mails().empty());
    for (int i = 0; i < 15; ++i)
        tick(0.9);
    ASSERT_EQ(host.mails().size(), 1u);
    EXPECT_GT(monitor.levels().GetVolHisAve(), 7.0);
    for (int i = 0; i < 15; ++i)
        tick(0.0005);
    ASSERT_EQ(host.mails().size(), 2u);

    const auto lines = host.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "[2]>>>警報発生<<<");
    EXPECT_EQ(lines[2], "[2]<<<警報解除>>>");

    // The start mail's recording holds the loud sound.
    const auto mail = host.mails()[0];
    EXPECT_EQ(mail.title, "警報発生");
    ASSERT_EQ(mail.attachments.size(), 1u);
    std::ifstream in(mail.attachments[0], std::ios::binary);
    std::vector<std::uint8_t> wav{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    ASSERT_GT(wav.size(), 44u + 11025);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    int readPos = 0;
    double level = 0;
    const int n = static_cast<int>(wav.size());
    readPos = n - 11025;
    CheckPeakVolume(wav.data(), n, readPos, &level);
    EXPECT_GT(level, 5.0);
    monitor.Close();
    fs::remove_all(dir);
}

TEST(GstEndToEnd, BrokenSourceFailsTheProbeWithItsTwoLines) {
    GstWaveInputOptions o;
    o.source = "orvana_no_such_element";
    auto inputs = makeGstWaveInputFactory(o);
    TestHost host;
    EXPECT_EQ(ProbeVolumeInput(*inputs, host), 0);
    EXPECT_EQ(host.lines(),
              (std::vector<std::string>{"Error : WAVE INデバイスのオープンに失敗しました。",
                                        "---- 音量検知機能は使用できません。----"}));
    auto in = inputs->Create();
    EXPECT_FALSE(in->Open(WaveFormat()));
    EXPECT_FALSE(in->lastError().empty());
    std::size_t pos = 0;
    EXPECT_FALSE(in->GetPosition(&pos));
    EXPECT_TRUE(in->Close());
}

TEST(GstEndToEnd, TestSourceRecordsIntoTheBufferAndResetsWithoutAGap) {
    GstWaveInputOptions o;
    o.source = "audiotestsrc is-live=true wave=square volume=0.5 samplesperbuffer=441";
    auto inputs = makeGstWaveInputFactory(o);
    auto in = inputs->Create();
    ASSERT_TRUE(in->Open(WaveFormat()));
    std::vector<std::uint8_t> buf(11025, 0);
    ASSERT_TRUE(in->AddBuffer(buf.data(), buf.size()));
    ASSERT_TRUE(in->Start());
    ASSERT_TRUE(in->Start());  // already recording: no change
    const auto waitFor = [&](std::size_t bytes) {
        for (int i = 0; i < 5000; ++i) {
            std::size_t p = 0;
            if (in->GetPosition(&p) && p >= bytes)
                return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    };
    ASSERT_TRUE(waitFor(1000));
    ASSERT_TRUE(in->Reset());
    std::size_t p = 99999;
    ASSERT_TRUE(in->GetPosition(&p));
    EXPECT_LT(p, 1000u);
    ASSERT_TRUE(waitFor(500));
    // Capture went on into the same buffer; the samples are the square's.
    bool seen = false;
    in->WithPosition([&](std::size_t pos) {
        for (std::size_t i = 0; i < pos; ++i)
            seen |= buf[i] > 160 || (buf[i] < 96 && buf[i] > 0);
    });
    EXPECT_TRUE(seen);
    EXPECT_TRUE(in->Close());
    EXPECT_FALSE(in->GetPosition(&p));
}

}  // namespace
}  // namespace orvana::sound
