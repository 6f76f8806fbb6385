// The demo's simulated devices, kept up to date from the schedule: the meter
// and counter files that the demo's device libraries read (demo/libs), the
// vendor database the power monitor reads, and the sound's loud/soft switch.
// It also writes the day of history the demo begins with: the temperature
// and radiation data files and the vendor database's last 24 hours.
//
// Times are seconds since the demo started; `start` is that moment. Files
// are replaced by a rename, so a reader never sees half a file.
//
// Threads: one thread (the UI thread in the program; its own in tests).
#pragma once

#include <functional>
#include <string>

#include "core/clock.h"
#include "demo/demo_schedule.h"

namespace orvana::demo {

struct DevicePaths {
    std::string devices;   // folder of "meter" and "counter"
    std::string vendorDb;  // the vendor's SQLite database
    std::string dataDir;   // the program's data folder (the data files)
};

class DemoDevices {
  public:
    // `start` in milliseconds since 1970.
    DemoDevices(DevicePaths paths, Schedule schedule, std::int64_t startMs);

    // Writes the history ending at the start: TemperatureData.csv and
    // GeigerData.csv with one record a minute, and the vendor table
    // energy_history (created) with one row a minute, for the 24 hours
    // before the start's minute. Then the devices at their start readings.
    // False, with `error`, when a file or the database cannot be written.
    bool writeHistory(std::string& error);

    // Brings everything to t seconds after the start: the meter's reading,
    // the counter's count (grown by the rate since the last call; a count
    // the counter was cleared to is counted on from), the vendor rows of
    // every minute completed since the last call, and the sound. Times that
    // go backwards change nothing but the readings. Failures to write are
    // kept for lastError() and tried again at the next call.
    void advance(double t);

    // Told loud or soft at every advance.
    void onSound(std::function<void(bool loud)> fn) { sound_ = std::move(fn); }

    // The vendor's row for the minute that begins at `minuteStart`: its
    // power in kW.
    double rowPowerKw(TimeT minuteStart) const;

    const std::string& lastError() const { return error_; }
    const DevicePaths& paths() const { return paths_; }

    static constexpr int kHistoryMinutes = 24 * 60;
    // A row's energy figure for a power: the vendor stores kW / 0.06.
    static double energyOf(double kw) { return kw / 0.06; }

  private:
    bool writeMeter(double t);
    bool writeCounter(double t);
    bool writeRows(TimeT fromMinute, TimeT toMinute, std::string& error);

    DevicePaths paths_;
    Schedule schedule_;
    std::int64_t startMs_;
    TimeT startMinute_;
    TimeT nextRow_;          // the minute whose row comes next
    double lastT_ = 0;       // the last counter update
    double countCarry_ = 0;  // counts not yet whole
    std::function<void(bool)> sound_;
    std::string error_;
};

// Replaces `path` with `text` by writing `path`.tmp and renaming it.
bool replaceFile(const std::string& path, const std::string& text);

}  // namespace orvana::demo
