// Local-time conversion for whole data files. A file holds about 1440 lines
// per local day, and the platform conversion costs far more than parsing a
// line, so the offset of the current day is cached. A day in which the UTC
// offset changes is converted line by line through the platform.
//
// Threads: one object per load or save, used by one thread. The time zone
// (TZ) must not change while an object is in use.
#pragma once

#include <optional>
#include <unordered_map>

#include "core/clock.h"

namespace orvana {

struct CalendarFields {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Local calendar fields of an instant, and whether the same fields also name
// another instant (the hour repeated when DST ends); only then does a writer
// need the offset to tell them apart.
struct LocalStamp {
    CalendarFields fields;
    bool repeated = false;
    TimeT offset = 0;  // local minus UTC at the instant, in seconds
};

class LocalTimeCache {
  public:
    // The time of local calendar fields. Returns false, leaving `out` alone,
    // when the fields are out of range (month 1-12, day within its month,
    // hour 0-23, minute and second 0-59, year 1900-9999) or make no time.
    // A wall-clock time that occurs twice (the hour repeated when DST ends)
    // resolves to the earlier instant unless that lies before `notBefore`;
    // records read in file order thus keep both copies of that hour apart.
    // A skipped wall-clock time is normalised as mktime does.
    bool fromLocalFields(const CalendarFields& f, TimeT notBefore, TimeT& out);
    // As above, but when one of the instants the fields name has the UTC
    // offset `offset` (local minus UTC, seconds), that instant is taken
    // whatever `notBefore` says. An offset that none of them has is ignored.
    bool fromLocalFields(const CalendarFields& f, TimeT notBefore, std::optional<TimeT> offset,
                         TimeT& out);

    // Local calendar fields of t; equal to toLocal(t).
    CalendarFields toLocalFields(TimeT t);
    // The same fields, with t's offset and whether the fields are repeated.
    LocalStamp toLocalStamp(TimeT t);

  private:
    struct Day {
        int year = 0, month = 0, day = 0;
        bool uniform = false;            // one UTC offset for the whole day
        bool known = false;              // offsets below are valid
        TimeT offStart = 0, offEnd = 0;  // local minus UTC at 00:00:00 and 23:59:59
    };
    void loadDay(int year, int month, int day);
    static Day computeDay(int year, int month, int day);

    Day day_;
    // Days met before, so a file in any order costs one platform conversion
    // per distinct day rather than one per change of day. Keyed by
    // daysFromCivil; emptied when it grows past a bound.
    std::unordered_map<long long, Day> days_;
    // toLocalStamp: UTC range [lo_, lo_ + 86400) is the local day date_ with
    // the single offset off_; empty when lo_ > hi_.
    TimeT lo_ = 1, hi_ = 0;
    TimeT off_ = 0;
    CalendarFields date_;
};

// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(int year, int month, int day);

}  // namespace orvana
