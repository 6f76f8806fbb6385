// Time for the whole program: one interface, so schedules, rate limits,
// retention and file names can be driven by a virtual clock in tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace orvana {

// Seconds since 1970-01-01 00:00:00 UTC.
using TimeT = std::int64_t;

// Calendar fields in the process's local time zone (TZ).
struct LocalTime {
    int year = 1970;  // four digits
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;     // 0..23
    int minute = 0;   // 0..59
    int second = 0;   // 0..60
    int weekday = 4;  // 0 = Sunday .. 6 = Saturday
    int yearDay = 0;  // 0..365
    bool dst = false;
};

// Local calendar fields of t. Thread-safe (localtime_r).
LocalTime toLocal(TimeT t);

// Inverse of toLocal for a wall-clock time; fields out of range are normalised
// the way mktime does. Returns -1 when the fields make no representable time.
// A wall-clock time that a DST change skips or repeats resolves as mktime
// with tm_isdst = -1 resolves it.
TimeT fromLocal(int year, int month, int day, int hour, int minute, int second);

// strftime-style formatting of t in local time. Never truncates; an empty
// pattern gives an empty string. Thread-safe.
std::string formatLocal(TimeT t, const std::string& pattern);

class Clock {
  public:
    virtual ~Clock() = default;

    // Current time in whole seconds. Any thread.
    virtual TimeT now() const = 0;

    // Current time in milliseconds since 1970. Any thread.
    virtual std::int64_t nowMs() const = 0;

    // Blocks the calling thread for about d. Any thread. A virtual clock
    // returns once its time has been advanced past the deadline.
    virtual void sleepFor(std::chrono::milliseconds d) = 0;
};

// The real wall clock. Never null.
std::unique_ptr<Clock> makeSystemClock();

}  // namespace orvana
