// The interval and weekly schedules, the periodic notice with its status
// text, the periodic reboot and KeepAlive, driven tick by tick in virtual
// time.
#include <gtest/gtest.h>

#include "core/status_text.h"
#include "supervision/schedule.h"
#include "supervision/supervisor.h"
#include "tests/supervision/supervision_fixtures.h"

namespace orvana::testing {
namespace {

// Fire times of an interval check run every `step` seconds over [from, to].
template <class Check>
std::vector<std::string> fireTimes(TimeT from, TimeT to, int step, Check check) {
    SchedulerRecord rec;
    std::vector<std::string> out;
    for (TimeT t = from; t <= to; t += step)
        if (check(rec, t))
            out.push_back(formatLocal(t, "%a %H:%M:%S"));
    return out;
}

TEST(IntervalSchedule, HalfHourlyFiresOnTheHourAndHalfHour) {
    const TimeT ref = fromLocal(2026, 1, 14, 10, 0, 0);
    auto check = [&](SchedulerRecord& r, TimeT t) { return CheckTimeTK(r, t, ref, 8); };
    EXPECT_EQ(
        fireTimes(fromLocal(2026, 1, 14, 9, 59, 50), fromLocal(2026, 1, 14, 11, 0, 10), 1, check),
        (std::vector<std::string>{"Wed 10:00:00", "Wed 10:30:00", "Wed 11:00:00"}));
    // Coarse tests still fire once per crossing.
    EXPECT_EQ(
        fireTimes(fromLocal(2026, 1, 14, 9, 59, 57), fromLocal(2026, 1, 14, 11, 0, 10), 7, check),
        (std::vector<std::string>{"Wed 10:00:04", "Wed 10:30:03", "Wed 11:00:02"}));
}

TEST(IntervalSchedule, FirstTestAndSameSecondNeverFire) {
    const TimeT ref = fromLocal(2026, 1, 14, 10, 0, 0);
    SchedulerRecord rec;
    EXPECT_EQ(CheckTimeTK(rec, ref, ref, 8), 0) << "first test, even exactly on time";
    EXPECT_EQ(rec.firstCall, 0);
    EXPECT_EQ(rec.last, ref);
    EXPECT_EQ(CheckTimeTK(rec, ref, ref, 8), 0);
    SchedulerRecord late;
    CheckTimeTK(late, ref - 1, ref, 8);
    EXPECT_EQ(CheckTimeTK(late, ref, ref, 8), 1);
    EXPECT_EQ(CheckTimeTK(late, ref, ref, 8), 0) << "a second test in the same second";
}

TEST(IntervalSchedule, DailyDefaultAndMinuteModuli) {
    const TimeT ref = fromLocal(2026, 1, 14, 10, 0, 0);
    auto daily = [&](SchedulerRecord& r, TimeT t) { return CheckTimeTK(r, t, ref, 0); };
    EXPECT_EQ(
        fireTimes(fromLocal(2026, 1, 14, 0, 0, 0), fromLocal(2026, 1, 16, 23, 59, 0), 60, daily),
        (std::vector<std::string>{"Wed 10:00:00", "Thu 10:00:00", "Fri 10:00:00"}));
    // "15分毎" anchored at 10:07:30 fires at :07:30, :22:30, :37:30, :52:30.
    const TimeT odd = fromLocal(2026, 1, 14, 10, 7, 30);
    auto quarter = [&](SchedulerRecord& r, TimeT t) { return CheckTimeTK(r, t, odd, 9); };
    EXPECT_EQ(
        fireTimes(fromLocal(2026, 1, 14, 13, 0, 0), fromLocal(2026, 1, 14, 13, 59, 59), 1, quarter),
        (std::vector<std::string>{"Wed 13:07:30", "Wed 13:22:30", "Wed 13:37:30", "Wed 13:52:30"}));
    // "8時間毎" at 10:00:00 fires at 02:00, 10:00 and 18:00.
    auto eight = [&](SchedulerRecord& r, TimeT t) { return CheckTimeTK(r, t, ref, 2); };
    EXPECT_EQ(
        fireTimes(fromLocal(2026, 1, 14, 0, 0, 0), fromLocal(2026, 1, 14, 23, 59, 0), 60, eight),
        (std::vector<std::string>{"Wed 02:00:00", "Wed 10:00:00", "Wed 18:00:00"}));
}

TEST(IntervalSchedule, KeepAliveOffAndIndicesOutsideTheTables) {
    SchedulerRecord rec;
    const TimeT t = fromLocal(2026, 1, 14, 10, 0, 0);
    EXPECT_EQ(CheckTimeKA(rec, t, t, 0), 0);
    EXPECT_EQ(rec.firstCall, 1) << "an off KeepAlive leaves its record alone";
    EXPECT_EQ(CheckTimeKA(rec, t + 100, t, -3), 0);

    // Beyond the tables: the last row.
    EXPECT_STREQ(intervalRowTK(12).text, "5分毎");
    EXPECT_STREQ(intervalRowTK(-1).text, "5分毎");
    EXPECT_STREQ(intervalRowKA(13).text, "5分毎");
    EXPECT_STREQ(intervalRowKA(1).text, "24時間毎");
    EXPECT_STREQ(intervalRowKA(12).text, "5分毎");
    EXPECT_STREQ(daySetRow(18).text, "毎日");
    EXPECT_STREQ(daySetRow(-5).text, "毎日");
    auto wild = [&](SchedulerRecord& r, TimeT x) { return CheckTimeTK(r, x, t, 99); };
    EXPECT_EQ(fireTimes(t + 1, t + 900, 1, wild).size(), 3u);
}

TEST(WeeklySchedule, WeekdaysOnlyAtHalfPastEight) {
    const TimeT ref = fromLocal(2026, 1, 1, 8, 30, 0);
    // Sunday 2026-01-11 00:00 to Saturday 2026-01-17 23:59:30, every 30 s.
    auto check = [&](SchedulerRecord& r, TimeT t) { return CheckTimeRB(r, t, ref, 7); };
    EXPECT_EQ(
        fireTimes(fromLocal(2026, 1, 11, 0, 0, 0), fromLocal(2026, 1, 17, 23, 59, 30), 30, check),
        (std::vector<std::string>{"Mon 08:30:00", "Tue 08:30:00", "Wed 08:30:00", "Thu 08:30:00",
                                  "Fri 08:30:00"}));
}

TEST(WeeklySchedule, SaturdayToSundayMidnightWraps) {
    const TimeT midnight = fromLocal(2026, 1, 1, 0, 0, 0);
    const TimeT satLate = fromLocal(2026, 1, 17, 23, 59, 58);
    ASSERT_EQ(toLocal(satLate).weekday, 6);
    const TimeT sunEarly = fromLocal(2026, 1, 18, 0, 0, 1);

    SchedulerRecord sunday;  // "日曜日" at 00:00:00
    CheckTimeRB(sunday, satLate, midnight, 0);
    EXPECT_EQ(CheckTimeRB(sunday, sunEarly, midnight, 0), 1);

    SchedulerRecord weekdays;  // "月～金" at 00:00:00: Sunday is not selected
    CheckTimeRB(weekdays, satLate, midnight, 7);
    EXPECT_EQ(CheckTimeRB(weekdays, sunEarly, midnight, 7), 0);

    // Saturday 23:00 to Sunday 09:00 in one test: crosses no weekday 08:30.
    const TimeT halfEight = fromLocal(2026, 1, 1, 8, 30, 0);
    SchedulerRecord span;
    CheckTimeRB(span, fromLocal(2026, 1, 17, 23, 0, 0), halfEight, 7);
    EXPECT_EQ(CheckTimeRB(span, fromLocal(2026, 1, 18, 9, 0, 0), halfEight, 7), 0);
    // ... but does cross Sunday's with "毎日", and Saturday 23:30 with "土曜日".
    SchedulerRecord daily;
    CheckTimeRB(daily, fromLocal(2026, 1, 17, 23, 0, 0), halfEight, 17);
    EXPECT_EQ(CheckTimeRB(daily, fromLocal(2026, 1, 18, 9, 0, 0), halfEight, 17), 1);
    SchedulerRecord sat;
    const TimeT halfEleven = fromLocal(2026, 1, 1, 23, 30, 0);
    CheckTimeRB(sat, fromLocal(2026, 1, 17, 23, 0, 0), halfEleven, 6);
    EXPECT_EQ(CheckTimeRB(sat, fromLocal(2026, 1, 18, 0, 10, 0), halfEleven, 6), 1);
}

// --- Status text --------------------------------------------------------

// Accumulates like the sound monitor: sum and count of 1-s levels.
class FakeSound final : public SoundLevelSource {
  public:
    double TakeAverageLevel(bool* any) override {
        ++takes;
        const bool some = count > 0;
        if (any)
            *any = some;
        const double mean = some ? sum / count : 0.0 / (count + 0.0 * sum);  // 0/0 stays NaN
        sum = 0;
        count = 0;
        return mean;
    }
    void add(double level, int n = 1) {
        sum += level * n;
        count += n;
    }
    double sum = 0;
    int count = 0;
    int takes = 0;
};

class FakeSeries final : public SeriesStats {
  public:
    FakeSeries(double cur, double mn, double av, double mx) : c(cur), lo(mn), a(av), hi(mx) {}
    double ave(int n) const override { return n == 1 ? c : (n == 1440 ? a : -999); }
    double min(int n) const override { return n == 1440 ? lo : -999; }
    double max(int n) const override { return n == 1440 ? hi : -999; }
    double c, lo, a, hi;
};

TEST(StatusText, NothingRunningGivesNothing) {
    EXPECT_EQ(BuildStatusText(StatusSources{}), "");
}

TEST(StatusText, EveryBlockInOrderWithPrintfG) {
    FakeSound sound;
    sound.add(-20.5, 3);
    FakeSeries temp(23.5, 18.25, 21, 26.125);
    FakeSeries humid(45, 30.5, 41.333333333, 60);
    FakeSeries cpm(12, 8, 11.0000001, 1234567);
    FakeSeries power(0.35, 0.00001, 0.5, 2.5);
    StatusSources src{&sound, &temp, &humid, &cpm, &power};
    EXPECT_EQ(BuildStatusText(src),
              "平均音量レベル：-20.5[dB]\r\n\r\n"
              "温度：23.5度\r\n  24H(min:18.25度,ave:21度,max:26.125度)\r\n"
              "湿度：45%\r\n  24H(min:30.5%,ave:41.3333%,max:60%)\r\n\r\n"
              "放射線：12[CPM]\r\n  24H(min:8[CPM],ave:11[CPM],max:1.23457e+06[CPM])\r\n\r\n"
              "電力：0.35[kW]\r\n  24H(min:1e-05[kW],ave:0.5[kW],max:2.5[kW])\r\n\r\n");
    EXPECT_EQ(sound.takes, 1);
    EXPECT_EQ(sound.count, 0);
}

TEST(StatusText, SoundWithNothingAccumulatedShowsTheFloor) {
    FakeSound sound;
    StatusSources src;
    src.sound = &sound;
    EXPECT_EQ(BuildStatusText(src), "平均音量レベル：-36[dB]\r\n\r\n");
    // The mean covers only the time since the previous notice.
    sound.add(-10.0);
    EXPECT_EQ(BuildStatusText(src), "平均音量レベル：-10[dB]\r\n\r\n");
    EXPECT_EQ(BuildStatusText(src), "平均音量レベル：-36[dB]\r\n\r\n");
}

TEST(StatusText, SingleBlocksAndTheAdapter) {
    {
        FnSeriesStats cpm([](int n) { return n == 1 ? 20.0 : 15.0; }, [](int) { return 10.0; },
                          [](int) { return 30.0; });
        StatusSources src;
        src.cpm = &cpm;
        EXPECT_EQ(BuildStatusText(src),
                  "放射線：20[CPM]\r\n  24H(min:10[CPM],ave:15[CPM],max:30[CPM])\r\n\r\n");
    }
    FakeSeries temp(1, 2, 3, 4);
    StatusSources onlyTemp;
    onlyTemp.temp = &temp;  // a temperature monitor always has both series
    EXPECT_EQ(BuildStatusText(onlyTemp), "");
}

// --- The schedules in the tick ----------------------------------------

class Schedules : public ::testing::Test {
  protected:
    // Wednesday 2026-01-14 09:59:00 local time.
    Schedules()
        : clock(fromLocal(2026, 1, 14, 9, 59, 0)),
          host(clock),
          shutdown(host.st, &host.events),
          sup(host, clock, power, shutdown) {
        host.s.checkTK = 0;
        host.s.checkRB = 0;
        host.s.hourKA = 0;
        host.s.timeTK = fromLocal(2026, 1, 14, 10, 0, 0);
        host.s.timeRB = fromLocal(2026, 1, 14, 8, 30, 0);
    }
    // Ticks of 200 ms until `until`; returns the local times of matching reports.
    std::vector<std::string> runUntil(TimeT until, const std::string& text) {
        const std::size_t from = host.reports.size();
        while (clock.now() < until) {
            const TimeT at = clock.now();
            sup.OnTimer();
            clock.advance(std::chrono::milliseconds(200));
            for (std::size_t i = std::max(from, seen_); i < host.reports.size(); ++i)
                if (host.reports[i].text == text)
                    hits_.push_back(formatLocal(at, "%H:%M:%S"));
            seen_ = host.reports.size();
        }
        std::vector<std::string> out;
        out.swap(hits_);
        return out;
    }

    VirtualClock clock;
    TestHost host;
    FixedPower power;
    RecordingShutdown shutdown;
    Supervisor sup;
    std::size_t seen_ = 0;
    std::vector<std::string> hits_;
};

TEST_F(Schedules, PeriodicNoticeOnTimeWithBodyAndEveryFifthTick) {
    host.s.checkTK = 1;
    host.s.hourTK = 8;  // "30分毎"
    EXPECT_EQ(runUntil(fromLocal(2026, 1, 14, 11, 0, 2), "定期通知実施"),
              (std::vector<std::string>{"10:00:00", "10:30:00", "11:00:00"}));
    ASSERT_EQ(host.mails.size(), 3u);
    EXPECT_EQ(host.mails[0].kind, ALERT_TK);
    EXPECT_EQ(host.mails[0].title, "定期通知");
    EXPECT_EQ(host.mails[0].text, "定期通知です。\r\n") << "no monitor running";
    EXPECT_EQ(host.mails[0].timeFormat, 2);
    EXPECT_EQ(host.reports[0].stampMode, 2);
    EXPECT_EQ(sup.state().tickCount, (61 * 60 + 2) * 5);

    FakeSound sound;
    sound.add(-20.0);
    sound.add(-40.0);
    host.sources.sound = &sound;
    runUntil(fromLocal(2026, 1, 14, 11, 30, 1), "定期通知実施");
    EXPECT_EQ(host.mails.back().text, "定期通知です。\r\n平均音量レベル：-30[dB]\r\n\r\n");

    // Switched off: no further notice.
    host.s.checkTK = 0;
    EXPECT_TRUE(runUntil(fromLocal(2026, 1, 14, 12, 30, 1), "定期通知実施").empty());
}

TEST_F(Schedules, KeepAliveAnchoredAtStartPlusSixtySeconds) {
    // Start-up at 09:59:00 plus some seconds: the reference is 60 s later.
    clock.setNow(fromLocal(2026, 1, 14, 9, 59, 17));
    sup.resetKeepAliveReference();
    EXPECT_EQ(sup.state().keepAliveRef, fromLocal(2026, 1, 14, 10, 0, 17));
    host.s.hourKA = 9;  // "30分毎"
    EXPECT_EQ(runUntil(fromLocal(2026, 1, 14, 11, 0, 30), "KeepAlive通知"),
              (std::vector<std::string>{"10:00:17", "10:30:17", "11:00:17"}));
    for (const auto& m : host.mails) {
        EXPECT_EQ(m.kind, ALERT_KA);
        EXPECT_EQ(m.title, "");
        EXPECT_EQ(m.text, "");
    }
    // Settings confirmed at 11:10:05: now anchored at :11:05 / :41:05.
    clock.setNow(fromLocal(2026, 1, 14, 11, 10, 5));
    sup.resetKeepAliveReference();
    EXPECT_EQ(runUntil(fromLocal(2026, 1, 14, 12, 0, 0), "KeepAlive通知"),
              (std::vector<std::string>{"11:11:05", "11:41:05"}));
}

TEST_F(Schedules, PeriodicRebootSequenceThenRepeatsEveryTick) {
    host.s.checkRB = 1;
    host.s.weekRB = 17;  // "毎日"
    host.s.timeRB = fromLocal(2026, 1, 1, 10, 0, 0);
    runUntil(fromLocal(2026, 1, 14, 10, 0, 0), "");
    EXPECT_TRUE(host.events.empty());
    EXPECT_EQ(sup.state().rebootPending, 0);
    runUntil(fromLocal(2026, 1, 14, 10, 0, 1), "");
    // KeepAlive is off: nothing goes to the watchdog service.
    const std::vector<std::string> order = {"report:マシンの定期再起動を行います。",
                                            "mail:7:定期再起動", "wait", "reboot"};
    ASSERT_GE(host.events.size(), order.size());
    EXPECT_EQ(std::vector<std::string>(host.events.begin(), host.events.begin() + 4), order);
    ASSERT_EQ(host.mails.size(), 1u);
    EXPECT_EQ(host.mails[0].text,
              "マシンの定期再起動を行います。\r\n今からマシンをリブートします。");
    EXPECT_EQ(sup.state().rebootPending, 1);
    EXPECT_EQ(host.st.getInt("Setting", "REBOOT", 0), 1);
    ASSERT_FALSE(shutdown.calls.empty());
    EXPECT_EQ(shutdown.calls[0].reboot, 1);
    EXPECT_EQ(shutdown.calls[0].force, 1);
    EXPECT_EQ(shutdown.calls[0].markerAtCall, 1);
    // The system refused: the request is repeated on every tick.
    const std::size_t before = shutdown.calls.size();
    for (int i = 0; i < 7; ++i)
        sup.OnTimer();
    EXPECT_EQ(shutdown.calls.size(), before + 7);
    EXPECT_EQ(host.mails.size(), 1u) << "the notice is not repeated";
}

TEST_F(Schedules, PeriodicRebootTellsTheWatchdogServiceWhenKeepAliveIsOn) {
    host.s.checkRB = 1;
    host.s.weekRB = 17;
    host.s.timeRB = fromLocal(2026, 1, 1, 10, 0, 0);
    runUntil(fromLocal(2026, 1, 14, 10, 0, 0), "");
    // Switched on just before: its own schedule's first test never fires,
    // so the only KeepAlive mail is the reboot's.
    host.s.hourKA = 1;
    runUntil(fromLocal(2026, 1, 14, 10, 0, 1), "");
    const std::vector<std::string> order = {
        "report:KeepAlive通知", "mail:9:", "report:マシンの定期再起動を行います。",
        "mail:7:定期再起動",    "wait",    "reboot"};
    ASSERT_GE(host.events.size(), order.size());
    EXPECT_EQ(std::vector<std::string>(host.events.begin(), host.events.begin() + 6), order);
    ASSERT_EQ(host.mails.size(), 2u);
    EXPECT_EQ(host.mails[0].kind, ALERT_KA);
}

TEST_F(Schedules, RebootNotOnUnselectedDays) {
    host.s.checkRB = 1;
    host.s.weekRB = 0;  // Sundays; today is Wednesday
    host.s.timeRB = fromLocal(2026, 1, 1, 10, 0, 0);
    runUntil(fromLocal(2026, 1, 14, 10, 1, 0), "");
    EXPECT_TRUE(host.events.empty());
    EXPECT_EQ(sup.state().rebootPending, 0);
}

}  // namespace
}  // namespace orvana::testing
