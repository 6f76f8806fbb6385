// The three schedules of the supervision timer: the periodic notice and
// KeepAlive (interval schedules) and the periodic reboot (weekly schedule).
#pragma once

#include <array>
#include <cstdint>

#include "core/clock.h"

namespace orvana {

// One row of the interval table: the combo-box text and the hour and minute
// moduli of the due test.
struct IntervalRow {
    const char* text;
    int H;
    int M;
};

// Indexed by "HOUR_TK"; "HOUR_KA" uses row HOUR_KA - 1 (HOUR_KA 0 = off).
inline constexpr std::array<IntervalRow, 12> kIntervalTable = {{
    {"24時間毎", 24, 60},
    {"12時間毎", 12, 60},
    {"8時間毎", 8, 60},
    {"6時間毎", 6, 60},
    {"4時間毎", 4, 60},
    {"3時間毎", 3, 60},
    {"2時間毎", 2, 60},
    {"1時間毎", 1, 60},
    {"30分毎", 1, 30},
    {"15分毎", 1, 15},
    {"10分毎", 1, 10},
    {"5分毎", 1, 5},
}};

// One row of the reboot day-set table; bit d set = weekday d (0 = Sunday).
struct DaySetRow {
    const char* text;
    std::uint8_t days;
};

inline constexpr std::uint8_t dayBit(int d) {
    return static_cast<std::uint8_t>(1u << d);
}

// Indexed by "WEEK_RB".
inline constexpr std::array<DaySetRow, 18> kDaySetTable = {{
    {"日曜日", dayBit(0)},
    {"月曜日", dayBit(1)},
    {"火曜日", dayBit(2)},
    {"水曜日", dayBit(3)},
    {"木曜日", dayBit(4)},
    {"金曜日", dayBit(5)},
    {"土曜日", dayBit(6)},
    {"月～金", 0x3E},
    {"月～土", 0x7E},
    {"月水金", dayBit(1) | dayBit(3) | dayBit(5)},
    {"火木土", dayBit(2) | dayBit(4) | dayBit(6)},
    {"月水", dayBit(1) | dayBit(3)},
    {"月木", dayBit(1) | dayBit(4)},
    {"月金", dayBit(1) | dayBit(5)},
    {"火木", dayBit(2) | dayBit(4)},
    {"火金", dayBit(2) | dayBit(5)},
    {"水金", dayBit(3) | dayBit(5)},
    {"毎日", 0x7F},
}};

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
