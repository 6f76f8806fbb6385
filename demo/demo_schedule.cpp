#include "demo/demo_schedule.h"

#include <algorithm>
#include <cmath>

namespace orvana::demo {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDay = 86400.0;

// The episodes as a person watches them. The first of each kind comes in
// the first three minutes; the repeats are spread so that no half hour
// sends more than about twenty notices (the sender switches to a ten-minute
// digest above thirty). Radiation and power use are already high when the
// demo starts: their monitors judge completed minutes, and the history
// ending in a raised reading lets them speak in the first minutes.
// Each kind's episodes at scale 1, and the least length an episode may be
// given at any scale (the watching monitor's timers need it).
struct EpisodePlan {
    Episode normal;
    double minLength;
};

const std::array<EpisodePlan, kEpisodeKinds> kPlans = {{
    // first, length, period; the least length its monitor needs
    {{20, 5, 300}, 4},        // sound: judged every second
    {{45, 60, 3000}, 5},      // mains: the 200-ms supervision tick
    {{70, 90, 2400}, 25},     // temperature: read every 10 s
    {{-180, 200, 4200}, 70},  // radiation: one record a minute
    {{-150, 180, 3600}, 70},  // power: one row a minute, read every 30 s
}};

double roundTo(double v, double step) {
    return std::round(v / step) * step;
}

}  // namespace

bool Episode::active(double t) const {
    if (t < first || period <= 0)
        return false;
    return std::fmod(t - first, period) < length;
}

double Episode::nextBegin(double t) const {
    if (t < first + length || period <= 0)
        return first;
    const double k = std::floor((t - first - length) / period) + 1;
    return first + k * period;
}

Schedule::Schedule(double timeScale) : scale_(std::clamp(timeScale, 1.0, 100.0)) {
    for (std::size_t k = 0; k < kPlans.size(); ++k) {
        const EpisodePlan& plan = kPlans[k];
        Episode e = plan.normal;
        // An episode under way at the start belongs to the history, which
        // is written in real minutes. The repeats keep their pace: the mail
        // sender's rate limits are in real time too.
        if (e.first >= 0) {
            // The first ones are brought forward less, so that they do not
            // all come in the same few seconds.
            e.first /= std::min(scale_, 3.0);
            e.length = std::max(e.length / scale_, plan.minLength);
        }
        episodes_[k] = e;
    }
}

double Schedule::temperature(double t) const {
    if (active(EpisodeKind::HighTemperature, t))
        return roundTo(32.5 + 0.4 * std::sin(t / 23.0), 0.1);
    // A room: warmest in the afternoon, a slow wobble of a heating cycle.
    return roundTo(23.5 + 1.8 * std::sin(2 * kPi * t / kDay) + 0.2 * std::sin(t / 600.0), 0.1);
}

double Schedule::humidity(double t) const {
    // Drier when warmer.
    return roundTo(48.0 - 6.0 * std::sin(2 * kPi * t / kDay) + 0.5 * std::sin(t / 900.0), 0.1);
}

double Schedule::countsPerMinute(double t) const {
    const double minuteWobble = wobble(static_cast<std::int64_t>(std::floor(t / 60.0)));
    if (active(EpisodeKind::HighRadiation, t))
        return 220.0 + 15.0 * minuteWobble;
    return 31.0 + 3.0 * std::sin(2 * kPi * t / kDay) + 5.0 * minuteWobble;
}

double Schedule::powerKw(double t) const {
    const double minuteWobble = wobble(1000003 + static_cast<std::int64_t>(std::floor(t / 60.0)));
    if (active(EpisodeKind::HighPower, t))
        return roundTo(2.6 + 0.1 * minuteWobble, 0.001);
    // A household: a base load, more in the evening half of the day.
    const double day = std::max(0.0, std::sin(2 * kPi * t / kDay - 0.4));
    return roundTo(0.32 + 0.55 * day + 0.08 * minuteWobble, 0.001);
}

int Schedule::batteryPercent(double t) const {
    const Episode& e = episode(EpisodeKind::MainsLoss);
    if (!e.active(t))
        return 100;
    // Below full at once, then one percent every six seconds.
    const double into = std::fmod(t - e.first, e.period);
    return std::max(50, 99 - static_cast<int>(into / 6.0));
}

double wobble(std::int64_t key) {
    // splitmix64
    std::uint64_t z = static_cast<std::uint64_t>(key) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

}  // namespace orvana::demo
