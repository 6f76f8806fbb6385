// The status text of the periodic notice, built from whichever monitors are
// running. Each monitor offers its numbers through one of the small
// interfaces below; a null source means that monitor is not running.
#pragma once

#include <functional>
#include <string>

#include "core/monitor_registry.h"

namespace orvana {

// The sound monitor's level accumulator (the 1-s levels since the previous
// periodic notice). Same shape as the sound monitor's own interface, so an
// adapter is one line (FnSoundLevelSource).
class SoundLevelSource {
  public:
    virtual ~SoundLevelSource() = default;
    // The mean level in dB since the previous call, and restarts the
    // accumulation. *any (when not null) is set false when nothing was
    // accumulated; the result then has no meaning. UI thread.
    virtual double TakeAverageLevel(bool* any) = 0;
};

class FnSoundLevelSource final : public SoundLevelSource {
  public:
    explicit FnSoundLevelSource(std::function<double(bool*)> take) : take_(std::move(take)) {}
    double TakeAverageLevel(bool* any) override { return take_(any); }

  private:
    std::function<double(bool*)> take_;
};

// Statistics over the last n samples of one quantity of a sample series
// (one sample per minute: n = 1 is the current value, 1440 the last day).
// What an empty series gives is the series' own rule. UI thread.
class SeriesStats {
  public:
    virtual ~SeriesStats() = default;
    virtual double ave(int n) const = 0;
    virtual double min(int n) const = 0;
    virtual double max(int n) const = 0;
};

// SeriesStats over three callables, to adapt a series class without
// touching it, e.g. FnSeriesStats{[&](int n){return s.GetCpmAve(n);}, ...}.
class FnSeriesStats final : public SeriesStats {
  public:
    using Fn = std::function<double(int)>;
    FnSeriesStats(Fn ave, Fn min, Fn max)
        : ave_(std::move(ave)), min_(std::move(min)), max_(std::move(max)) {}
    double ave(int n) const override { return ave_(n); }
    double min(int n) const override { return min_(n); }
    double max(int n) const override { return max_(n); }

  private:
    Fn ave_, min_, max_;
};

// What the periodic notice reads. Pointers are observers owned by the
// monitors; valid for the duration of one BuildStatusText call. The
// temperature block needs both temp and humid.
struct StatusSources {
    SoundLevelSource* sound = nullptr;
    const SeriesStats* temp = nullptr;
    const SeriesStats* humid = nullptr;
    const SeriesStats* cpm = nullptr;
    const SeriesStats* power = nullptr;
};

// Shown as the sound average when no level was accumulated since the
// previous notice (0 / 0): the meter's floor, which is what a silent input
// shows, rather than "nan".
inline constexpr double kSoundLevelFloor = -36.0;

// One block each, numbers formatted as printf's %g, ending in "\r\n\r\n".
// The sound block empties the accumulator. UI thread.
std::string SoundStatusBlock(SoundLevelSource& sound);
std::string TemperatureStatusBlock(const SeriesStats& temp, const SeriesStats& humid);
std::string RadiationStatusBlock(const SeriesStats& cpm);
std::string PowerStatusBlock(const SeriesStats& power);

// The blocks of the given sources in the order sound, temperature and
// humidity, radiation, power. Empty when none is given. UI thread.
std::string BuildStatusText(const StatusSources& src);

// The blocks of the running monitors, in their start order (sound,
// temperature and humidity, radiation, power). Empty when nothing runs.
// UI thread.
std::string BuildStatusText(const MonitorRegistry& monitors);

// printf-style formatting into a string of any length.
std::string strprintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orvana
