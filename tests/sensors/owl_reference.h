// The power monitor's cycle as the first version of the program did it: the
// whole energy_history table fetched with sqlite3_get_table at every cycle,
// then the two passes row by row with AddRecord. Kept as the yardstick the
// reader is tested and measured against; it shares no code with it.
#pragma once

#include <sqlite3.h>

#include <cstdlib>
#include <string>

#include "core/clock.h"
#include "sensors/sensor_records.h"

namespace orvana::testing {

// The row's time, or false when its fields make no valid local time.
inline bool referenceRowTime(char** cells, TimeT& t) {
    auto num = [&](int i) { return cells[i] ? std::atoi(cells[i]) : 0; };
    const int y = num(0), mo = num(1), d = num(2), h = num(3), mi = num(4);
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1900 || y > 9999 || mo < 1 || mo > 12 || d < 1 ||
        d > (mo == 2 && leap ? 29 : kDays[mo - 1]) || h < 0 || h > 23 || mi < 0 || mi > 59)
        return false;
    t = fromLocal(y, mo, d, h, mi, 0);
    return t != -1;
}

inline double referenceRowPower(char** cells) {
    return (cells[6] ? std::atof(cells[6]) : 0.0) * 0.06;
}

// Returns false when the file cannot be opened (opened read-only here, so
// that a test never creates it). A failed query reads as a table without
// rows.
inline bool referenceCycle(const std::string& path, COwlRecordArray& series, TimeT cutoff) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, 2000);
    char** table = nullptr;
    int rows = 0, cols = 0;
    if (sqlite3_get_table(db, "select * from energy_history;", &table, &rows, &cols, nullptr) !=
            SQLITE_OK ||
        cols < 7)
        rows = 0;

    TimeT oldest = 0, newest = 0;
    if (!series.empty()) {
        oldest = series[0].m_Time;
        newest = series[series.size() - 1].m_Time;
    }
    for (int r = 1; r <= rows; ++r) {
        TimeT t;
        if (!referenceRowTime(table + r * cols, t))
            continue;
        if (!(t < oldest && t >= cutoff))
            break;
        series.AddRecord(t, referenceRowPower(table + r * cols));
    }
    for (int r = rows; r >= 1; --r) {
        TimeT t;
        if (!referenceRowTime(table + r * cols, t))
            continue;
        if (!(t > newest && t >= cutoff))
            break;
        series.AddRecord(t, referenceRowPower(table + r * cols));
    }
    sqlite3_free_table(table);
    sqlite3_close(db);
    return true;
}

}  // namespace orvana::testing
