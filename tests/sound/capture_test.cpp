// Segment cycling, the recording snapshot across segments, the capture
// thread in virtual time, and the WAV file layout.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "sound/volume_monitor.h"
#include "sound/wave_capture.h"
#include "sound/wave_file.h"
#include "tests/sound/fake_wave_input.h"
#include "tests/sound/temp_folder.h"
#include "tests/sound/test_host.h"

namespace orvana::sound {
namespace {

using namespace std::chrono_literals;
using testing::FakeWaveInputFactory;
using testing::TestHost;

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CaptureTest : public ::testing::Test {
  protected:
    TestHost host;
    FakeWaveInputFactory inputs;
    testing::FakeDevice& dev = *inputs.device;
};

TEST_F(CaptureTest, RecordingOneSecondIntoASegmentAfterAFourSecondOne) {
    WaveCapture c(host, inputs.Create());
    ASSERT_TRUE(c.Open(4, false));
    EXPECT_EQ(c.bufferLength(), 4 * 5 * 11025);
    for (int s = 0; s < 4; ++s)
        dev.Feed(static_cast<std::uint8_t>(10 + s), 11025);
    c.CycleSegment();
    EXPECT_EQ(c.prevSegmentBytes(), 44100);
    EXPECT_EQ(c.readPos(), 0);
    EXPECT_EQ(dev.Position(), 0u);
    dev.Feed(100, 11025);

    std::vector<std::uint8_t> rec;
    ASSERT_TRUE(c.TakeRecording(&rec));
    ASSERT_EQ(rec.size(), 44100u);  // 4 s: the last 3 s of the old segment, then the new one
    EXPECT_EQ(rec[0], 11);
    EXPECT_EQ(rec[11024], 11);
    EXPECT_EQ(rec[11025], 12);
    EXPECT_EQ(rec[33074], 13);
    EXPECT_EQ(rec[33075], 100);
    EXPECT_EQ(rec.back(), 100);

    // Once the new segment is the longer one, it is the recording alone.
    dev.Feed(101, 40000);
    ASSERT_TRUE(c.TakeRecording(&rec));
    ASSERT_EQ(rec.size(), 51025u);
    EXPECT_EQ(rec.front(), 100);
    EXPECT_EQ(rec.back(), 101);
}

TEST_F(CaptureTest, SegmentOutgrowingTheBufferIsNeverReadPastItsEnd) {
    WaveCapture c(host, inputs.Create());
    ASSERT_TRUE(c.Open(1, false));
    c.SetRecSec(30);  // raised after opening: the buffer keeps 5 s
    EXPECT_EQ(c.bufferLength(), 55125);
    dev.Feed(160, 70000);
    dev.SetPosition(70000);  // even a device that reports beyond the buffer
    double level = 0;
    EXPECT_TRUE(c.Meter(&level));
    EXPECT_EQ(c.readPos(), 55125);
    std::vector<std::uint8_t> rec;
    c.TakeRecording(&rec);
    EXPECT_EQ(rec.size(), 55125u);
    c.CycleSegment();
    EXPECT_EQ(c.prevSegmentBytes(), 55125);
}

TEST_F(CaptureTest, OpeningFailuresAreReportedAndCaptureGoesOn) {
    dev.failAdd = true;
    dev.failStart = true;
    WaveCapture c(host, inputs.Create());
    EXPECT_TRUE(c.Open(4, false));
    EXPECT_EQ(host.lines(), (std::vector<std::string>{"[1]初回のwaveInAddBuffer でエラー発生",
                                                      "[1]初回のwaveInStart でエラー発生"}));
    host.clear();
    // The restart tries again each cycle; every failing step is reported.
    dev.failPosition = true;
    dev.failReset = true;
    c.CycleSegment();
    EXPECT_EQ(host.lines(), (std::vector<std::string>{
                                "[1]waveInGetPosition でエラー発生", "[1]waveInReset でエラー発生",
                                "[1]waveInAddBuffer でエラー発生", "[1]waveInStart でエラー発生"}));
    host.clear();
    dev.failAdd = dev.failStart = dev.failReset = dev.failPosition = false;
    c.CycleSegment();
    EXPECT_TRUE(host.lines().empty());
    dev.Feed(150, 300);
    std::vector<std::uint8_t> rec;
    c.TakeRecording(&rec);
    EXPECT_EQ(rec.size(), 300u);
}

TEST_F(CaptureTest, FailedPositionQueryKeepsTheLastGoodOne) {
    WaveCapture c(host, inputs.Create());
    ASSERT_TRUE(c.Open(4, false));
    dev.Feed(150, 5000);
    double level;
    c.Meter(&level);
    dev.Feed(150, 1000);
    dev.failPosition = true;
    c.CycleSegment();
    EXPECT_EQ(c.prevSegmentBytes(), 5000);
    std::vector<std::uint8_t> rec;
    ASSERT_TRUE(c.TakeRecording(&rec));  // last good position of the new segment: 0
    EXPECT_EQ(rec.size(), 5000u);
    EXPECT_EQ(host.lines().back(), "[1]waveInGetPosition でエラー発生");
}

TEST_F(CaptureTest, NoDeviceMeansNoBufferNoThreadNoRecording) {
    WaveCapture c(host, nullptr);
    EXPECT_FALSE(c.Open(4));
    EXPECT_EQ(c.bufferLength(), 0);
    double level = 7;
    EXPECT_FALSE(c.Meter(&level));
    EXPECT_EQ(level, 7);
    std::vector<std::uint8_t> rec{1};
    EXPECT_FALSE(c.TakeRecording(&rec));
    EXPECT_TRUE(rec.empty());
    c.CycleSegment();
    c.Close();
}

TEST_F(CaptureTest, ThreadRestartsEachRecordingLengthInVirtualTimeAndIsJoined) {
    const std::int64_t t0 = host.clock_.nowMs();
    auto c = std::make_unique<WaveCapture>(host, inputs.Create());
    ASSERT_TRUE(c->Open(1, true));
    dev.Feed(140, 1234);
    int advances = 0;
    while (!dev.WaitResets(1, 20ms) && advances < 200) {
        host.clock_.waitForSleepers(1, 1s);
        host.clock_.advance(100ms);
        ++advances;
    }
    ASSERT_EQ(dev.resets, 1);
    // Ten 100-ms waits must have passed in virtual time first.
    EXPECT_GE(host.clock_.nowMs() - t0, 1000);
    EXPECT_EQ(c->prevSegmentBytes(), 1234);
    // Stopping: the thread leaves within its current wait, then the device closes.
    host.clock_.setAutoAdvance(true);
    c->Close();
    EXPECT_EQ(dev.closes, 1);
    EXPECT_FALSE(dev.open);
    c.reset();
}

TEST(WaveFile, BytesFollowTheRiffLayout) {
    const std::uint8_t samples[] = {1, 128, 255, 7};
    const auto b = WaveFileBytes(WaveFormat(), samples, 4);
    const std::vector<std::uint8_t> expected = {
        'R', 'I', 'F', 'F', 40,   0,    0, 0, 'W',  'A',  'V', 'E',  //
        'f', 'm', 't', ' ', 16,   0,    0, 0,                        //
        1,   0,   1,   0,   0x11, 0x2B, 0, 0, 0x11, 0x2B, 0,   0,   1,   0,
        8,   0,   'd', 'a', 't',  'a',  4, 0, 0,    0,    1,   128, 255, 7};
    EXPECT_EQ(b, expected);
}

TEST(WaveFile, OddLengthGetsOnePadByte) {
    const std::vector<std::uint8_t> samples(11025, 129);
    const auto b = WaveFileBytes(WaveFormat(), samples.data(), samples.size());
    ASSERT_EQ(b.size(), 44u + 11025 + 1);
    EXPECT_EQ(b.back(), 0);
    const auto u32 = [&](std::size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
               static_cast<std::uint32_t>(b[at + 3]) << 24;
    };
    EXPECT_EQ(u32(4), b.size() - 8);
    EXPECT_EQ(u32(40), 11025u);
    const auto empty = WaveFileBytes(WaveFormat(), nullptr, 0);
    EXPECT_EQ(empty.size(), 44u);
}

TEST(WaveFile, UnwritablePathWritesNothing) {
    const std::string path = "/nonexistent-folder/x.wav";
    const std::uint8_t s[] = {1};
    EXPECT_EQ(WriteWaveFile(path, WaveFormat(), s, 1), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(CaptureTest, SaveWaveWritesTheRecordingIntoTheDataFolder) {
    const auto dir = testing::freshFolder("orvana_sound_savewave");
    host.store_.writeString("Setting", "DATA_DIR", dir.string());
    // Conversion and mail on: the window still only writes the WAV (the
    // sender converts it), and never runs the converter on its thread.
    host.app.conv3gp = 1;
    host.app.working = 1;
    host.app.ffmpegPath = "/bin/false-not-there";
    VolumeMonitor m(host, inputs, {false});
    m.LoadSettings();
    ASSERT_TRUE(m.Open());
    dev.Feed(200, 777);
    host.clock_.setNow(fromLocal(2016, 3, 5, 14, 5, 9));
    const std::string path = m.SaveWave();
    EXPECT_EQ(path, (dir / "2016年03月05日14時05分09秒.wav").string());
    const auto bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 44u + 778);
    EXPECT_EQ(bytes[44], 200);
    EXPECT_TRUE(host.prompt_.notices.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "2016年03月05日14時05分09秒.3gp"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace orvana::sound
