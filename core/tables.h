// Tables shared by several subsystems.
#pragma once

#include <array>

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

}  // namespace orvana
