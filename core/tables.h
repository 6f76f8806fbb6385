// Tables shared by several subsystems.
#pragma once

#include <array>
#include <cstdint>

namespace orvana {

// Keep period in hours by "DATA_KEEP_PERIOD" index (0..11). 8784 and 17544
// hours are 366 and 731 days.
inline constexpr std::array<int, 12> DelHours = {1,   3,   8,    24,   72,   192,
                                                 360, 720, 2160, 4320, 8784, 17544};

// DelHours for any index: an index beyond the table is taken as its last row,
// a negative one as the first, so a hand-edited store never reads past it.
inline int delHoursFor(int index) {
    if (index < 0)
        return DelHours.front();
    if (index >= static_cast<int>(DelHours.size()))
        return DelHours.back();
    return DelHours[static_cast<std::size_t>(index)];
}

// The schedules' tables: one copy for the schedules, the settings dialog's
// lists and the settings summary.

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

}  // namespace orvana
