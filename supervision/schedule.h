// The three schedules of the supervision timer: the periodic notice and
// KeepAlive (interval schedules) and the periodic reboot (weekly schedule).
#pragma once

#include <array>
#include <cstdint>

#include "core/clock.h"
#include "core/tables.h"

namespace orvana {

// Rows for any index. The dialogs never offer an index outside a table; a
// hand-edited store may, and such an index (negative or too large) is taken
// as the table's last row rather than read past the table.
const IntervalRow& intervalRowTK(int hourTK);
// HOUR_KA 1..12 -> rows 0..11; anything above 12 or below 0 -> the last row.
// HOUR_KA 0 has no row (KeepAlive off); callers test that first.
const IntervalRow& intervalRowKA(int hourKA);
const DaySetRow& daySetRow(int weekRB);

// A scheduler record: the first call only remembers the time.
struct SchedulerRecord {
    int firstCall = 1;
    TimeT last = 0;
};

// Seconds into the interval's period of local time t:
// ((hour mod H) * 60 + (minute mod M)) * 60 + second.
int intervalPhase(TimeT t, const IntervalRow& row);
// Seconds into the local week of t, counted from 86400 on Sunday 00:00:00:
// (((weekday + 1) * 24 + hour) * 60 + minute) * 60 + second.
int weekPhase(TimeT t);

// The crossing rule: a point r lies in (p, q], or the period wrapped
// (q <= p) and r lies after p or at or before q.
bool crossed(long long p, long long q, long long r);

// 1 when the schedule is due at `now`, else 0; each updates rec (the first
// call and a call in the same second as the last one never fire). Only the
// time of day of `ref` counts. Pure functions of their arguments; any thread.
int CheckTimeTK(SchedulerRecord& rec, TimeT now, TimeT ref, int hourTK);
// hourKA 0 (and below) returns 0 and leaves rec unchanged.
int CheckTimeKA(SchedulerRecord& rec, TimeT now, TimeT ref, int hourKA);
int CheckTimeRB(SchedulerRecord& rec, TimeT now, TimeT ref, int weekRB);

}  // namespace orvana
