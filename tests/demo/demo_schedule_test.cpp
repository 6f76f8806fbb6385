// The demo's schedule and options: every monitor gets something to report in
// the first minutes, readings stay clear of their limits between episodes
// and clear them during episodes, no episode is too short for its monitor's
// own timers, and no stretch of the demo sends mails fast enough to put the
// sender into its digest mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <vector>

#include "demo/demo_options.h"
#include "demo/demo_power.h"
#include "demo/demo_schedule.h"
#include "demo/demo_settings.h"

namespace orvana::demo {
namespace {

constexpr EpisodeKind kAllKinds[] = {EpisodeKind::SoundBurst, EpisodeKind::MainsLoss,
                                     EpisodeKind::HighTemperature, EpisodeKind::HighRadiation,
                                     EpisodeKind::HighPower};

// What each monitor needs an episode to last, on its own timers: the sound
// monitor judges every second, the supervision tick every 200 ms, the meter
// is read every 10 s (two reads), the counter and the vendor rows make one
// record a minute.
double neededSeconds(EpisodeKind k) {
    switch (k) {
        case EpisodeKind::SoundBurst:
            return 3;
        case EpisodeKind::MainsLoss:
            return 2;
        case EpisodeKind::HighTemperature:
            return 20;
        case EpisodeKind::HighRadiation:
        case EpisodeKind::HighPower:
            return 60;
    }
    return 0;
}

TEST(DemoSchedule, EveryMonitorHasSomethingToReportWithinThreeMinutes) {
    for (double scale : {1.0, 10.0}) {
        const Schedule s(scale);
        for (EpisodeKind k : kAllKinds) {
            const Episode& e = s.episode(k);
            SCOPED_TRACE(::testing::Message() << "scale " << scale << " kind " << int(k));
            // Either under way in the history's last minute (radiation and
            // power are judged on completed minutes), or begun by then.
            const bool fromHistory = e.active(-30) && e.active(-59);
            EXPECT_TRUE(fromHistory || (e.first >= 0 && e.first + neededSeconds(k) <= 180));
            if (scale > 1 && !fromHistory) {
                EXPECT_LE(e.first, 30);
            }
        }
    }
    // A mains loss lasts a minute, as the demo promises.
    EXPECT_EQ(Schedule(1).episode(EpisodeKind::MainsLoss).length, 60);
}

TEST(DemoSchedule, HurriedEpisodesStayLongEnoughForTheirMonitors) {
    for (double scale : {1.0, 2.5, 10.0, 37.0, 100.0}) {
        const Schedule s(scale);
        for (EpisodeKind k : kAllKinds) {
            const Episode& e = s.episode(k);
            SCOPED_TRACE(::testing::Message() << "scale " << scale << " kind " << int(k));
            EXPECT_GE(e.length, neededSeconds(k));
            // A gap at least as long as the episode: its monitor sees it end.
            EXPECT_GE(e.period - e.length, std::max(e.length, neededSeconds(k)));
            // The occurrences are what active() says.
            EXPECT_TRUE(e.active(e.first + e.period + 0.01));
            EXPECT_TRUE(e.active(e.first + e.period + e.length - 0.01));
            EXPECT_FALSE(e.active(e.first + e.period + e.length + 0.01));
            EXPECT_FALSE(e.active(e.first - 0.01));
            EXPECT_NEAR(e.nextBegin(e.first + e.length + 0.01), e.first + e.period, 1e-9);
        }
    }
    // Out-of-range scales are held to the range.
    EXPECT_EQ(Schedule(0.2).timeScale(), 1.0);
    EXPECT_EQ(Schedule(1e6).timeScale(), 100.0);
}

// Every reading crosses its limit in the demo's settings during its
// episodes and stays below the recovery point (limit - hysteresis)
// otherwise, over a day and its history, at both speeds.
TEST(DemoSchedule, ReadingsCrossTheirLimitsOnlyDuringTheirEpisodes) {
    for (double scale : {1.0, 10.0}) {
        const Schedule s(scale);
        for (double t = -86400; t < 86400; t += 7) {
            const double temp = s.temperature(t);
            if (s.active(EpisodeKind::HighTemperature, t)) {
                ASSERT_GT(temp, kTemperatureLimit + 1) << t;
            } else {
                ASSERT_LT(temp, kTemperatureLimit - 1 - 0.5) << t;
            }
            const double cpm = s.countsPerMinute(t);
            if (s.active(EpisodeKind::HighRadiation, t)) {
                ASSERT_GT(cpm, kRadiationLimit + 20) << t;
            } else {
                ASSERT_LT(cpm, kRadiationLimit - 20 - 20) << t;
            }
            const double kw = s.powerKw(t);
            if (s.active(EpisodeKind::HighPower, t)) {
                ASSERT_GT(kw, kPowerLimit + 0.2) << t;
            } else {
                ASSERT_LT(kw, kPowerLimit - 0.2 - 0.2) << t;
            }
            ASSERT_GT(kw, 0) << t;
            const double humid = s.humidity(t);
            ASSERT_TRUE(humid > 20 && humid < 80) << t;
            // The battery never comes near the automatic shutdown.
            ASSERT_GE(s.batteryPercent(t), 50) << t;
            ASSERT_EQ(s.batteryPercent(t) == 100, s.onMains(t)) << t;
        }
    }
}

// The sender switches to its ten-minute digest when more than 10 mails go
// out in 20 s, 15 in 60 s, 20 in 3 min, 25 in 10 min or 30 in 30 min. The
// demo's notices (an onset and a recovery per episode, the periodic notice
// every 15 minutes, KeepAlive every 30) leave room for the cameras' motion
// notices in every window.
TEST(DemoSchedule, NoticesStayBelowTheMailRateLimitsWithRoomToSpare) {
    const int windows[5] = {20, 60, 180, 600, 1800};
    const int limits[5] = {10, 15, 20, 25, 30};
    for (double scale : {1.0, 10.0}) {
        // The hurried demo of the tests may come closer.
        const int spare = scale == 1.0 ? 5 : 3;
        const Schedule s(scale);
        const double span = scale == 1.0 ? 86400 : 3600;
        std::vector<double> mails;
        for (EpisodeKind k : kAllKinds) {
            const Episode& e = s.episode(k);
            for (double b = e.first; b < span; b += e.period) {
                // An episode under way at the start is reported as the
                // monitor opens.
                if (b >= 0 || b + e.length > 0)
                    mails.push_back(std::max(b, 0.0));
                if (b + e.length >= 0)
                    mails.push_back(b + e.length);
            }
        }
        for (double t = 0; t < span; t += 900)
            mails.push_back(t);  // periodic notice
        for (double t = 60; t < span; t += 1800)
            mails.push_back(t);  // KeepAlive
        std::sort(mails.begin(), mails.end());
        for (int w = 0; w < 5; ++w) {
            std::size_t first = 0;
            for (std::size_t i = 0; i < mails.size(); ++i) {
                while (mails[i] - mails[first] > windows[w])
                    ++first;
                ASSERT_LE(static_cast<int>(i - first + 1), limits[w] - spare)
                    << "scale " << scale << ", " << windows[w] << " s up to " << mails[i];
            }
        }
    }
}

TEST(DemoPower, MainsAndBatteryFollowTheSchedule) {
    const Schedule s(10);
    double now = 0;
    auto power = makeDemoPowerSource(s, [&now] { return now; });
    const Episode& loss = s.episode(EpisodeKind::MainsLoss);
    now = loss.first - 0.5;
    PowerStatus st = power->read();
    EXPECT_EQ(st.acLineStatus, 1);
    EXPECT_EQ(st.batteryLifePercent, 100);
    EXPECT_TRUE(st.batteryPresent);  // "停電" needs a battery
    now = loss.first + 0.5;
    EXPECT_EQ(power->read().acLineStatus, 0);
    now = loss.first + loss.length + 0.5;
    EXPECT_EQ(power->read().acLineStatus, 1);
}

// With a display the windows open side by side inside the work area: none
// hides another where the screen has room, none is smaller than it may be,
// and none lies off the screen, wherever the work area is.
TEST(DemoWindows, OpenSideBySideInsideTheWorkArea) {
    struct Area {
        int left, top, width, height;
        bool roomy;
    };
    for (const Area a : {Area{0, 0, 1920, 1080, true}, Area{0, 0, 1600, 1000, true},
                         Area{1920, 27, 1920, 1053, true}, Area{0, 27, 1366, 741, false},
                         Area{0, 0, 800, 600, false}}) {
        SCOPED_TRACE(::testing::Message() << a.width << "x" << a.height << "+" << a.left);
        const auto places = demoWindowPlaces(a.left, a.top, a.width, a.height);
        ASSERT_EQ(places.size(), 7u);
        EXPECT_STREQ(places[0].section, "Placement");
        for (const WindowPlace& p : places) {
            SCOPED_TRACE(p.section);
            const Placement& r = p.rect;
            EXPECT_GE(r.left, a.left);
            EXPECT_GE(r.top, a.top);
            EXPECT_LE(r.right, a.left + a.width);
            EXPECT_LE(r.bottom, a.top + a.height);
            if (a.roomy) {
                EXPECT_GE(r.right - r.left, 320);
                EXPECT_GE(r.bottom - r.top, std::string(p.section) == "Placement" ? 480 : 240);
            }
        }
        if (!a.roomy)
            continue;
        for (std::size_t i = 0; i < places.size(); ++i)
            for (std::size_t j = i + 1; j < places.size(); ++j) {
                const Placement& p = places[i].rect;
                const Placement& q = places[j].rect;
                EXPECT_TRUE(p.right <= q.left || q.right <= p.left || p.bottom <= q.top ||
                            q.bottom <= p.top)
                    << places[i].section << " and " << places[j].section;
            }
    }
}

// argv from words.
struct Args {
    explicit Args(std::vector<std::string> w) : words(std::move(w)) {
        for (auto& x : words)
            argv.push_back(x.data());
    }
    std::vector<std::string> words;
    std::vector<char*> argv;
    int argc() const { return static_cast<int>(argv.size()); }
};

// Runs take() over every argument; the first result that is not 1 or 2.
int parse(DemoOptions& o, std::vector<std::string> words, std::string& error) {
    Args a(std::move(words));
    for (int i = 0; i < a.argc();) {
        const int used = o.take(a.argc(), a.argv.data(), i, error);
        if (used <= 0)
            return used;
        i += used;
    }
    return o.complete(error) ? 1 : -2;
}

TEST(DemoOptions, TakesTheDemoOptionsAndRefusesBadValues) {
    std::string error;
    {
        DemoOptions o;
        EXPECT_EQ(parse(o, {"--demo", "--smtp", "localhost:2525", "--time-scale", "10"}, error), 1);
        EXPECT_TRUE(o.enabled);
        EXPECT_EQ(o.smtp, "localhost:2525");
        EXPECT_EQ(o.timeScale, 10.0);
    }
    {
        DemoOptions o;
        EXPECT_EQ(parse(o, {"--smtp=[::1]:25", "--time-scale=1", "--demo"}, error), 1);
        EXPECT_EQ(o.smtp, "[::1]:25");
        EXPECT_EQ(o.timeScale, 1.0);
    }
    {
        // Not a demo option: left to the program.
        DemoOptions o;
        EXPECT_EQ(parse(o, {"--headless"}, error), 0);
        EXPECT_FALSE(o.enabled);
    }
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--demo", "--smtp"},
             {"--demo", "--smtp", "localhost"},
             {"--demo", "--smtp", "localhost:0"},
             {"--demo", "--smtp", "localhost:65536"},
             {"--demo", "--smtp", ":25"},
             {"--demo", "--smtp", "::1:25"},
             {"--demo", "--smtp", "bad host:25"},
             {"--demo", "--time-scale"},
             {"--demo", "--time-scale", "0.5"},
             {"--demo", "--time-scale", "101"},
             {"--demo", "--time-scale", "ten"},
             {"--demo", "--time-scale", "nan"},
             {"--demo", "--time-scale="},
         }) {
        DemoOptions o;
        error.clear();
        EXPECT_EQ(parse(o, bad, error), -1) << bad.back();
        EXPECT_FALSE(error.empty());
    }
    // Demo options without the demo.
    for (const std::vector<std::string>& alone :
         std::vector<std::vector<std::string>>{{"--smtp", "localhost:25"}, {"--time-scale", "5"}}) {
        DemoOptions o;
        error.clear();
        EXPECT_EQ(parse(o, alone, error), -2);
        EXPECT_NE(error.find("--demo"), std::string::npos);
    }
}

}  // namespace
}  // namespace orvana::demo
