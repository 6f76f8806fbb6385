// What the demo's simulated world does, as pure functions of the seconds
// since the demo started: when the sound source bursts, when the mains are
// lost, when temperature, radiation and power use are high, and what each
// device reads at any moment. Negative times are the history the demo
// begins with (a day of records in the data files and the vendor database).
//
// Every reading crosses its limit in the demo's settings (demo_settings.h)
// during its episodes and stays well inside it otherwise. A time scale N
// greater than 1 (tests, a quick look) brings the first episodes forward (by
// up to 3 times, so they do not all come at once) and shortens episodes N
// times, but never below what the monitor watching one needs to see it (its
// own timers keep their pace); the repeats keep their pace, as the mail
// sender's rate limits are in real time.
//
// Value type; every member is pure and may be called from any thread.
#pragma once

#include <array>
#include <cstdint>

namespace orvana::demo {

// One recurring episode: it begins `first` seconds after the start and again
// every `period` seconds, and lasts `length` seconds each time.
struct Episode {
    double first = 0;
    double length = 0;
    double period = 0;

    // Whether t lies in one of its occurrences.
    bool active(double t) const;
    // The beginning of the first occurrence that ends after t.
    double nextBegin(double t) const;
};

enum class EpisodeKind : int {
    SoundBurst,       // the sound source is loud
    MainsLoss,        // the power supply runs on its battery
    HighTemperature,  // the meter reads above its limit
    HighRadiation,    // the counter counts above its limit
    HighPower,        // the vendor's rows are above the power limit
};
inline constexpr int kEpisodeKinds = 5;

class Schedule {
  public:
    // timeScale: 1 = the demo as a person watches it; clamped to 1..100.
    explicit Schedule(double timeScale = 1.0);

    double timeScale() const { return scale_; }
    const Episode& episode(EpisodeKind kind) const {
        return episodes_[static_cast<std::size_t>(kind)];
    }
    bool active(EpisodeKind kind, double t) const { return episode(kind).active(t); }

    // Readings at t seconds after the start.
    double temperature(double t) const;      // °C, one decimal
    double humidity(double t) const;         // %RH, one decimal
    double countsPerMinute(double t) const;  // counter rate
    double powerKw(double t) const;          // the minute's mean power
    bool onMains(double t) const { return !active(EpisodeKind::MainsLoss, t); }
    int batteryPercent(double t) const;  // 100 on mains, falling while lost

  private:
    double scale_;
    std::array<Episode, kEpisodeKinds> episodes_;
};

// A deterministic number in [-1, 1) for a key: the demo's small wobbles,
// identical in every run, so tests know what the devices read.
double wobble(std::int64_t key);

}  // namespace orvana::demo
