// The level formula on built buffers, the histories, and the metering step
// through the capture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sound/level_meter.h"
#include "sound/volume_monitor.h"
#include "tests/sound/fake_wave_input.h"
#include "tests/sound/test_host.h"

namespace orvana::sound {
namespace {

using testing::FakeWaveInputFactory;
using testing::TestHost;

double levelOf(const std::vector<std::uint8_t>& b, bool* usable = nullptr) {
    int readPos = 0;
    double level = 99;
    const bool u = CheckPeakVolume(b.data(), static_cast<int>(b.size()), readPos, &level);
    EXPECT_EQ(readPos, static_cast<int>(b.size()));
    if (usable)
        *usable = u;
    return level;
}

TEST(LevelFormula, SilenceIsTheFloor) {
    bool usable = false;
    EXPECT_DOUBLE_EQ(levelOf(std::vector<std::uint8_t>(2205, 128), &usable), -36.0);
    EXPECT_TRUE(usable);  // usable samples, just silent
}

TEST(LevelFormula, ClippedSamplesAreSkipped) {
    std::vector<std::uint8_t> b;
    for (int i = 0; i < 2205; ++i)
        b.push_back(i % 2 ? 0 : 255);
    bool usable = true;
    EXPECT_DOUBLE_EQ(levelOf(b, &usable), -36.0);
    EXPECT_FALSE(usable);
    // One usable sample among clipped ones decides the level alone.
    b.push_back(128 + 32);
    EXPECT_NEAR(levelOf(b, &usable), 0.0, 1e-9);
    EXPECT_TRUE(usable);
}

TEST(LevelFormula, FullScaleSquareAndSine) {
    std::vector<std::uint8_t> square, sine;
    for (int i = 0; i < 11025; ++i) {
        square.push_back((i / 25) % 2 ? 1 : 255);
        // Full scale, the crest held one step below the clip value 255.
        const long v = std::lround(128 + 127 * std::sin(2 * M_PI * i / 441.0));
        sine.push_back(static_cast<std::uint8_t>(std::min(v, 254L)));
    }
    EXPECT_NEAR(levelOf(square), 20 * std::log10(127.0 / 32), 1e-9);
    EXPECT_NEAR(levelOf(square), 11.97, 0.01);
    EXPECT_NEAR(levelOf(sine), 8.96, 0.01);
}

TEST(LevelFormula, TinyDeviationsGoBelowTheFloorAndEmptyRangesMeterNothing) {
    std::vector<std::uint8_t> b(2205, 128);
    for (int i = 0; i < 4; ++i)
        b[i * 100] = 129;
    const double l = levelOf(b);
    EXPECT_LT(l, -55.0);
    EXPECT_GT(l, -70.0);

    int readPos = 100;
    double level = 5;
    EXPECT_FALSE(CheckPeakVolume(b.data(), 100, readPos, &level));
    EXPECT_DOUBLE_EQ(level, -36.0);
    EXPECT_EQ(readPos, 100);
    readPos = 200;  // at or past the end: nothing, readPos stays
    EXPECT_FALSE(CheckPeakVolume(b.data(), 150, readPos, &level));
    EXPECT_EQ(readPos, 200);
}

TEST(Histories, IntegrationTimeSetsTheShortLength) {
    VolumeLevels h;
    h.SetVolIntegTime(1);
    for (int i = 0; i < 20; ++i)
        h.SetVolHis(i);
    ASSERT_EQ(h.m_volHis.size(), 5u);
    EXPECT_DOUBLE_EQ(h.m_volHis.front(), 19);
    EXPECT_DOUBLE_EQ(h.GetVolHisAve(), (19 + 18 + 17 + 16 + 15) / 5.0);

    h.SetVolIntegTime(10);  // raised: grows one entry per level
    EXPECT_EQ(h.m_volHisLen, 50);
    EXPECT_EQ(h.m_volHis.size(), 5u);
    h.SetVolHis(100);
    EXPECT_EQ(h.m_volHis.size(), 6u);
    EXPECT_DOUBLE_EQ(h.GetVolHisAve(), (100 + 19 + 18 + 17 + 16 + 15) / 6.0);
    for (int i = 0; i < 60; ++i)
        h.SetVolHis(1);
    EXPECT_EQ(h.m_volHis.size(), 50u);

    h.SetVolHis(7);
    h.SetVolIntegTime(2);  // lowered: cut at once, newest kept
    ASSERT_EQ(h.m_volHis.size(), 10u);
    EXPECT_DOUBLE_EQ(h.m_volHis.front(), 7);

    h.SetVolIntegTime(0);  // written by hand: held at one second
    EXPECT_EQ(h.m_volHisLen, 5);
    EXPECT_EQ(h.m_volHis.size(), 5u);
}

TEST(Histories, LongHistoryKeepsSixtySeconds) {
    VolumeLevels h;
    EXPECT_DOUBLE_EQ(h.GetVolHisLongAve(), -36.0);  // empty: the floor, not NaN
    for (int i = 0; i < 100; ++i)
        h.SetVolHisLong(i < 40 ? 1000 : 2);
    EXPECT_EQ(h.m_volHisLong.size(), 60u);
    EXPECT_DOUBLE_EQ(h.GetVolHisLongAve(), 2.0);
}

class MeteringTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host.store_.writeInt("Volume", "VOL_INTEG_TIME", 1);
        monitor.LoadSettings();
        ASSERT_TRUE(monitor.Open());
    }
    TestHost host;
    FakeWaveInputFactory inputs;
    VolumeMonitor monitor{host, inputs, {false}};
};

TEST_F(MeteringTest, TicksWithoutUsableSamplesAddNothing) {
    auto& dev = *inputs.device;
    ASSERT_EQ(monitor.levels().m_volHis.size(), 5u);  // pre-filled
    EXPECT_DOUBLE_EQ(monitor.levels().GetVolHisAve(), -36.0);

    dev.Feed(128 + 32, 2205);
    monitor.OnTimer();
    EXPECT_NEAR(monitor.m_curLevel, 0.0, 1e-9);
    EXPECT_NEAR(monitor.levels().m_volHis.front(), 0.0, 1e-9);

    // Only clipped samples: no entry, level reads the floor.
    std::vector<std::uint8_t> clipped;
    for (int i = 0; i < 2205; ++i)
        clipped.push_back(i % 2 ? 0 : 255);
    dev.Feed(clipped);
    const auto before = monitor.levels().m_volHis;
    monitor.OnTimer();
    EXPECT_EQ(monitor.levels().m_volHis, before);
    EXPECT_DOUBLE_EQ(monitor.m_curLevel, -36.0);

    // The position did not move: nothing new.
    monitor.OnTimer();
    EXPECT_EQ(monitor.levels().m_volHis, before);

    // A failed query keeps the last good position and is reported.
    dev.Feed(128 + 64, 2205);
    dev.failPosition = true;
    monitor.OnTimer();
    EXPECT_EQ(monitor.levels().m_volHis, before);
    EXPECT_EQ(host.lines().back(), "[1]waveInGetPosition でエラー発生");
    dev.failPosition = false;
    monitor.OnTimer();  // the samples are still metered afterwards
    EXPECT_NEAR(monitor.levels().m_volHis.front(), 20 * std::log10(2.0), 1e-9);
    // The fifth tick evaluated: the displayed level is the short mean.
    EXPECT_EQ(monitor.m_tick, 5);
    EXPECT_FALSE(monitor.m_levelText.empty());
}

TEST(MeteringWithoutDevice, WindowRunsAtTheFloorAndNeverAlarms) {
    TestHost host;
    FakeWaveInputFactory inputs;
    inputs.device->failOpen = true;
    VolumeMonitor monitor(host, inputs, {false});
    monitor.LoadSettings();
    monitor.m_enableNotify = 1;
    monitor.m_thresholdPos = 1000;  // -36 dB: anything above would alarm
    EXPECT_FALSE(monitor.Open());
    EXPECT_EQ(host.lines(),
              (std::vector<std::string>{"Error : WAVE INデバイスのオープンに失敗しました。",
                                        "---- 音量検知機能は使用できません。----"}));
    for (int i = 0; i < 50; ++i)
        monitor.OnTimer();
    EXPECT_EQ(monitor.m_levelText, "Level = -36.0[dB]");
    EXPECT_EQ(monitor.m_fixedAlarm, 0);
    EXPECT_TRUE(host.mails().empty());
    EXPECT_EQ(host.lines().size(), 2u);
}

}  // namespace
}  // namespace orvana::sound
