// The once-a-second evaluation in virtual time: the alarm state table,
// notices, mails and the level accumulator.
#include <gtest/gtest.h>

#include <QImage>

#include "sound/volume_monitor.h"
#include "tests/sound/fake_wave_input.h"
#include "tests/sound/test_host.h"

namespace orvana::sound {
namespace {

using testing::FakeWaveInputFactory;
using testing::TestHost;

class AlarmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        monitor.LoadSettings();
        monitor.Open();
        monitor.m_enableNotify = 1;
        monitor.m_thresholdPos = 500;  // exactly -15 dB
        host.clear();
    }
    // One second whose integrated level is L.
    AlarmSignal second(double L) {
        host.clock_.advanceSeconds(1);
        monitor.levels().m_volHis.assign(1, L);
        return monitor.Evaluate();
    }
    std::vector<std::string> headlines() {
        std::vector<std::string> out;
        for (const auto& l : host.lines())
            if (l.find("警報") != std::string::npos)
                out.push_back(l);
        return out;
    }

    TestHost host;
    FakeWaveInputFactory inputs;
    VolumeMonitor monitor{host, inputs, {false}};
};

TEST_F(AlarmTest, LevelEqualToTheThresholdNeitherStartsNorEnds) {
    EXPECT_FALSE(second(-15.0).start);
    EXPECT_EQ(monitor.m_fixedAlarm, 0);
    EXPECT_TRUE(second(-14.9).start);
    EXPECT_EQ(monitor.m_fixedAlarm, 1);
    EXPECT_FALSE(second(-15.0).end);
    EXPECT_EQ(monitor.m_fixedAlarm, 1);
    EXPECT_TRUE(second(-15.1).end);
    EXPECT_EQ(monitor.m_fixedAlarm, 0);
    EXPECT_EQ(headlines(), (std::vector<std::string>{"[2]>>>警報発生<<<", "[2]<<<警報解除>>>"}));
}

TEST_F(AlarmTest, StartAndEndNoticesCarryTheirTexts) {
    monitor.m_curLevel = -3.456;
    second(-10);
    ASSERT_EQ(host.mails().size(), 1u);
    EXPECT_EQ(host.lines(), (std::vector<std::string>{kSeparator, "[2]>>>警報発生<<<"}));
    auto m = host.mails()[0];
    EXPECT_EQ(m.kind, ALERT_VOL);
    EXPECT_EQ(m.title, "警報発生");
    EXPECT_EQ(m.text, "\r\n警報音を検出しました。\r\n　音量: -3.46[dB]");
    for (int i = 0; i < 41; ++i)
        second(-12);
    second(-15.5);  // 42 s after the start
    ASSERT_EQ(host.mails().size(), 2u);
    m = host.mails()[1];
    EXPECT_EQ(m.title, "警報解除");
    // Average over the start second and the 41 that followed.
    EXPECT_EQ(m.text, "\r\n警報音が終了しました。\r\n　継続時間：42秒\r\n　平均音量:-11.95[dB]");
    auto lines = host.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "[2]<<<警報解除>>>");
    EXPECT_EQ(lines[3], kSeparator);
    EXPECT_EQ(monitor.m_alarmNotified, 0);
}

TEST(AlarmDuration, ThreeForms) {
    EXPECT_EQ(durationText(42), "\r\n　継続時間：42秒");
    EXPECT_EQ(durationText(59), "\r\n　継続時間：59秒");
    EXPECT_EQ(durationText(60), "\r\n　継続時間：1分0秒");
    EXPECT_EQ(durationText(75), "\r\n　継続時間：1分15秒");
    EXPECT_EQ(durationText(3599), "\r\n　継続時間：59分59秒");
    EXPECT_EQ(durationText(3725), "\r\n　継続時間：1時間2分5秒");
    EXPECT_EQ(durationText(-5), "\r\n　継続時間：0秒");
}

TEST_F(AlarmTest, FixedComesBeforeDynamic) {
    monitor.m_useDynamic = 1;
    monitor.m_dynamicThreshold = 10;
    for (int i = 0; i < 60; ++i)
        second(-30);
    ASSERT_TRUE(host.mails().empty());
    second(0);  // above T and above A + 10
    EXPECT_EQ(monitor.m_fixedAlarm, 1);
    EXPECT_EQ(monitor.m_dynamicAlarm, 0);
    // A fixed alarm that ends while the level is still above A + 10 turns
    // into a dynamic one in the same second: only the start is notified.
    const AlarmSignal s = second(-16);
    EXPECT_TRUE(s.start);
    EXPECT_TRUE(s.end);
    EXPECT_EQ(monitor.m_fixedAlarm, 0);
    EXPECT_EQ(monitor.m_dynamicAlarm, 1);
    EXPECT_EQ(headlines(), (std::vector<std::string>{"[2]>>>警報発生<<<", "[2]>>>警報発生<<<"}));
    EXPECT_EQ(monitor.m_alarmNotified, 1);
    EXPECT_EQ(monitor.m_alarmCount, 1);  // restarted with the second start
    EXPECT_EQ(monitor.m_alarmStart, host.clock_.now());
    // A dynamic alarm does not turn into a fixed one while it lasts.
    second(0);
    EXPECT_EQ(monitor.m_fixedAlarm, 0);
    EXPECT_EQ(monitor.m_dynamicAlarm, 1);
}

TEST_F(AlarmTest, DynamicAlarmEndsBelowTheMinuteAverage) {
    monitor.m_thresholdPos = 0;  // +6 dB: the fixed threshold stays out of the way
    monitor.m_useDynamic = 1;
    monitor.m_dynamicThreshold = 10;
    for (int i = 0; i < 60; ++i)
        second(-30);
    EXPECT_FALSE(second(-20).start);  // just below A + 10
    EXPECT_TRUE(second(-15).start);
    EXPECT_EQ(monitor.m_dynamicAlarm, 1);
    const double A = monitor.levels().GetVolHisLongAve();
    // Below A + 10 but above A: the alarm holds (no hysteresis to the offset).
    EXPECT_FALSE(second(A + 1).end);
    EXPECT_EQ(monitor.m_dynamicAlarm, 1);
    EXPECT_TRUE(second(-40).end);
    EXPECT_EQ(monitor.m_dynamicAlarm, 0);
    // Switching the dynamic threshold off freezes a dynamic alarm.
    for (int i = 0; i < 60; ++i)
        second(-30);
    second(-10);
    ASSERT_EQ(monitor.m_dynamicAlarm, 1);
    monitor.m_useDynamic = 0;
    EXPECT_FALSE(second(-40).end);
    EXPECT_EQ(monitor.m_dynamicAlarm, 1);
    EXPECT_DOUBLE_EQ(monitor.graph().m_dynamicOffset, -1.0);
    monitor.m_useDynamic = 1;
    EXPECT_TRUE(second(-40).end);
}

TEST_F(AlarmTest, NoticesOffStillColourTheGraphAndWriteNothing) {
    monitor.m_enableNotify = 0;
    QImage surface(30, 42, QImage::Format_RGB32);
    monitor.graph().Paint(surface);  // gives the series its length
    second(-20);
    second(-5);
    EXPECT_EQ(monitor.m_fixedAlarm, 1);
    second(-5);  // the graph follows the alarm state of the second before
    monitor.graph().Paint(surface);
    EXPECT_EQ(surface.pixel(28, 40), LevelGraph::kOverFill);  // newest bar red
    EXPECT_EQ(surface.pixel(22, 40), LevelGraph::kNormalFill);
    EXPECT_TRUE(host.lines().empty());
    EXPECT_TRUE(host.mails().empty());

    // Switched on during the alarm: its end is reported, with the duration
    // and average of the alarm as it was observed.
    monitor.m_enableNotify = 1;
    second(-5);
    second(-30);
    ASSERT_EQ(host.mails().size(), 1u);
    EXPECT_EQ(host.mails()[0].title, "警報解除");
    EXPECT_EQ(host.mails()[0].text,
              "\r\n警報音が終了しました。\r\n　継続時間：3秒\r\n　平均音量: -5.00[dB]");
    EXPECT_EQ(headlines(), (std::vector<std::string>{"[2]<<<警報解除>>>"}));
}

TEST_F(AlarmTest, LevelAccumulatorFeedsThePeriodicNotice) {
    bool any = true;
    EXPECT_DOUBLE_EQ(monitor.TakeAverageLevel(&any), -36.0);
    EXPECT_FALSE(any);
    second(-20);
    second(-10);  // alarm or not, every second counts
    EXPECT_DOUBLE_EQ(monitor.TakeAverageLevel(&any), -15.0);
    EXPECT_TRUE(any);
    EXPECT_EQ(monitor.m_levelCount, 0);
    second(-30);
    EXPECT_DOUBLE_EQ(monitor.TakeAverageLevel(nullptr), -30.0);
}

TEST_F(AlarmTest, EvaluationRunsEveryFifthTickAndFeedsTheGraph) {
    QImage surface(9, 42, QImage::Format_RGB32);
    monitor.graph().Paint(surface);
    for (int i = 1; i <= 9; ++i)
        EXPECT_EQ(monitor.OnTimer(), i == 5) << i;
    EXPECT_TRUE(monitor.OnTimer());
    EXPECT_EQ(monitor.m_levelCount, 2);
    EXPECT_DOUBLE_EQ(monitor.graph().m_values.front(), 0.0);  // -36 dB is the bottom
    EXPECT_DOUBLE_EQ(monitor.graph().m_startThreshold, (-15.0 + 36) / 42);
    EXPECT_EQ(monitor.graph().m_values.size(), 3u);
}

TEST_F(AlarmTest, SettingsRoundTripInTheirOrder) {
    monitor.m_thresholdPos = 321;
    monitor.m_useDynamic = 1;
    monitor.ApplyDialogValues(0, 7, 12);  // REC_SEC below 1 is held at 1
    EXPECT_EQ(monitor.recSec(), 1);
    EXPECT_EQ(monitor.levels().m_volHisLen, 35);
    monitor.SaveSettings(Placement{1, 2, 3, 4});
    EXPECT_EQ(host.store_.getInt("Volume", "left", 0), 1);
    EXPECT_EQ(host.store_.getInt("Volume", "bottom", 0), 4);
    EXPECT_EQ(host.store_.getInt("Volume", "THRESHOLD", 0), 321);
    EXPECT_EQ(host.store_.getInt("Volume", "VOL_INTEG_TIME", 0), 7);
    EXPECT_EQ(host.store_.getInt("Volume", "DYNAMIC_VOL_THRESHOLD", 0), 12);
    EXPECT_EQ(host.store_.getInt("Volume", "B_DYNAMIC_VOL_THRESHOLD", 0), 1);
    EXPECT_EQ(host.store_.getInt("Volume", "ENABLE_NOTIFY", 0), 1);
    EXPECT_EQ(host.store_.getInt("Volume", "REC_SEC", 0), 1);

    // A recording length the dialog let through is held; an integration
    // time the dialog never gives is the default again, and said once.
    host.store_.writeInt("Volume", "REC_SEC", -3);
    host.store_.writeInt("Volume", "VOL_INTEG_TIME", 0);
    VolumeMonitor other(host, inputs, {false});
    other.LoadSettings();
    EXPECT_EQ(other.recSec(), 1);
    EXPECT_EQ(other.levels().m_volHisLen, 15);
    EXPECT_EQ(other.m_thresholdPos, 321);
    EXPECT_EQ(host.lines().back(),
              "[2]設定値が不正なため既定値に戻しました: Volume/VOL_INTEG_TIME");
    // Measured before: 10^8 seconds of history grew the process to 4 GB.
    host.store_.writeInt("Volume", "VOL_INTEG_TIME", 100000000);
    host.store_.writeString("Volume", "DYNAMIC_VOL_THRESHOLD", "ten");
    VolumeMonitor third(host, inputs, {false});
    third.LoadSettings();
    EXPECT_EQ(third.levels().m_volHisLen, 15);
    EXPECT_EQ(third.m_dynamicThreshold, 10);
    EXPECT_EQ(host.lines().back(),
              "[2]設定値が不正なため既定値に戻しました: Volume/VOL_INTEG_TIME, "
              "Volume/DYNAMIC_VOL_THRESHOLD");
}

}  // namespace
}  // namespace orvana::sound
