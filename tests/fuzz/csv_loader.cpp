// The sensor data files as the monitors load them at start. Built once per
// series: ORVANA_FUZZ_SERIES 0 temperature, 1 radiation, 2 power. The input
// is the whole file; the zone is Europe/Berlin, so the days on which the
// clocks change are there to be found.
//
// Promises, for any file:
//  - it opens, and loaded + skipped is its number of non-empty lines;
//  - the series is in time order, temperature keys strictly (one record a
//    minute); a radiation or power series holds every loaded line;
//  - every time has local fields inside the loader's ranges, every value is
//    a finite number;
//  - saved and loaded again it is the same series, values rounded to the six
//    digits a file keeps, times as local times (the file cannot tell the
//    two passes of an hour the clocks repeat), records of one time in any
//    order.
// And for a file whose lines all look as the program writes them (plain
// decimal fields, nothing else): a line loads exactly when its fields make a
// calendar date and time, and a record then sits at that local time with
// that line's values.
#include <sys/types.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "sensors/data_file.h"
#include "sensors/sensor_records.h"
#include "tests/fuzz/fuzz_support.h"

#ifndef ORVANA_FUZZ_SERIES
#error "ORVANA_FUZZ_SERIES selects the series"
#endif

namespace orvana {
namespace {

using fuzz::escaped;

#if ORVANA_FUZZ_SERIES == 0
using Series = CTempRecordArray;
constexpr std::size_t kValues = 2;
#elif ORVANA_FUZZ_SERIES == 1
using Series = CGeigerRecordArray;
constexpr std::size_t kValues = 1;
#else
using Series = COwlRecordArray;
constexpr std::size_t kValues = 1;
#endif
constexpr bool kKeyed = ORVANA_FUZZ_SERIES == 0;

[[maybe_unused]] std::vector<double> valuesOf(const CTempRecord& r) {
    return {r.m_Temp, r.m_Humid};
}
[[maybe_unused]] std::vector<double> valuesOf(const CGeigerRecord& r) {
    return {r.m_Cpm};
}
[[maybe_unused]] std::vector<double> valuesOf(const COwlRecord& r) {
    return {r.m_Power};
}

fuzz::ScratchDir* scratch = nullptr;

// One line the way the program writes it: "-?digits" calendar fields and
// "-?digits[.digits]" values, exactly 6 + kValues of them.
struct PlainLine {
    int f[6] = {};
    std::vector<double> values;
};

bool plainInt(std::string_view s, int& out) {
    std::size_t i = s.size() > 0 && s[0] == '-' ? 1 : 0;
    if (s.size() == i || s.size() - i > 9)
        return false;
    for (std::size_t k = i; k < s.size(); ++k)
        if (s[k] < '0' || s[k] > '9')
            return false;
    out = std::atoi(std::string(s).c_str());
    return true;
}

bool plainReal(std::string_view s, double& out) {
    std::size_t i = s.size() > 0 && s[0] == '-' ? 1 : 0;
    std::size_t digits = 0, dots = 0;
    for (std::size_t k = i; k < s.size(); ++k) {
        if (s[k] == '.' && dots == 0 && digits > 0)
            ++dots;
        else if (s[k] >= '0' && s[k] <= '9')
            ++digits;
        else
            return false;
    }
    if (digits == 0 || digits > 12 || s.back() == '.')
        return false;
    out = std::strtod(std::string(s).c_str(), nullptr);
    return true;
}

bool parsePlain(std::string_view line, PlainLine& out) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        parts.push_back(
            line.substr(start, comma == std::string_view::npos ? line.npos : comma - start));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    if (parts.size() != 6 + kValues)
        return false;
    for (int k = 0; k < 6; ++k)
        if (!plainInt(parts[static_cast<std::size_t>(k)], out.f[k]))
            return false;
    out.values.assign(kValues, 0.0);
    for (std::size_t k = 0; k < kValues; ++k)
        if (!plainReal(parts[6 + k], out.values[k]))
            return false;
    return true;
}

bool leap(int y) {
    return y % 400 == 0 || (y % 4 == 0 && y % 100 != 0);
}

bool calendarValid(const int* f) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (f[0] < 1900 || f[0] > 9999 || f[1] < 1 || f[1] > 12)
        return false;
    const int dim = days[f[1] - 1] + (f[1] == 2 && leap(f[0]) ? 1 : 0);
    return f[2] >= 1 && f[2] <= dim && f[3] >= 0 && f[3] <= 23 && f[4] >= 0 && f[4] <= 59 &&
           f[5] >= 0 && f[5] <= 59;
}

bool sameLocal(TimeT t, const int* f) {
    const LocalTime lt = toLocal(t);
    return lt.year == f[0] && lt.month == f[1] && lt.day == f[2] && lt.hour == f[3] &&
           lt.minute == f[4] && lt.second == f[5];
}

// The instants whose local fields are f: none for a time the clocks skip,
// two for one they repeat.
std::vector<TimeT> instantsOf(const int* f) {
    std::vector<TimeT> out;
    const TimeT t = fromLocal(f[0], f[1], f[2], f[3], f[4], f[5]);
    if (t == -1)
        return out;
    for (TimeT c : {t - 3600, t, t + 3600})
        if (sameLocal(c, f))
            out.push_back(c);
    return out;
}

// Whether a record at t can come from a line with fields f: t has those
// local fields, or they name a time the clocks skip and t is where mktime
// puts it.
bool fromFields(TimeT t, const int* f) {
    return sameLocal(t, f) ||
           (instantsOf(f).empty() && fromLocal(f[0], f[1], f[2], f[3], f[4], f[5]) == t);
}

double sixDigits(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return std::strtod(buf, nullptr);
}

std::string describe(const Series& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size() && i < 20; ++i) {
        out += std::to_string(s[i].m_Time) + ":";
        for (double v : valuesOf(s[i]))
            out += " " + std::to_string(v);
        out += "; ";
    }
    return out;
}

}  // namespace
}  // namespace orvana

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    static orvana::fuzz::ScratchDir dir;
    orvana::scratch = &dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvana;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string path = *scratch / "series.csv";
    fuzz::writeFile(path, text);

    Series series;
    const LoadResult r = readDataFile(path, series);
    FUZZ_CHECK(r.opened, path);

    // The lines as the file format defines them, counted here independently.
    std::string_view all(text);
    if (all.substr(0, 3) == "\xEF\xBB\xBF")
        all.remove_prefix(3);
    std::vector<std::string_view> lines;
    for (std::size_t pos = 0; pos < all.size();) {
        std::size_t nl = all.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = all.size();
        std::string_view line = all.substr(pos, nl - pos);
        pos = nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty())
            lines.push_back(line);
    }
    FUZZ_CHECK(r.loaded + r.skipped == lines.size(), std::to_string(r.loaded) + " + " +
                                                         std::to_string(r.skipped) + " for " +
                                                         std::to_string(lines.size()) + " lines");
    FUZZ_CHECK(kKeyed ? series.size() <= r.loaded : series.size() == r.loaded,
               std::to_string(series.size()) + " records of " + std::to_string(r.loaded));

    for (std::size_t i = 0; i < series.size(); ++i) {
        const auto& rec = series[i];
        if (i > 0) {
            const TimeT before = series[i - 1].m_Time;
            FUZZ_CHECK(kKeyed ? before < rec.m_Time : before <= rec.m_Time,
                       "record " + std::to_string(i) + ": " + describe(series));
        }
        const LocalTime lt = toLocal(rec.m_Time);
        FUZZ_CHECK(lt.year >= 1900 && lt.year <= 9999, std::to_string(rec.m_Time));
        for (double v : valuesOf(rec))
            FUZZ_CHECK(std::isfinite(v), "record " + std::to_string(i) + ": " + describe(series));
    }

    // Files written the program's way: the model decides each line.
    std::vector<PlainLine> plain(lines.size());
    bool allPlain = true;
    for (std::size_t i = 0; i < lines.size() && allPlain; ++i)
        allPlain = parsePlain(lines[i], plain[i]);
    if (allPlain) {
        std::size_t valid = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const PlainLine& p = plain[i];
            if (!calendarValid(p.f))
                continue;
            ++valid;
            const std::vector<TimeT> at = instantsOf(p.f);
            if (at.empty())
                continue;  // a skipped wall-clock time lands where mktime puts it
            bool found = false;
            for (const auto& rec : series) {
                if (std::find(at.begin(), at.end(), rec.m_Time) == at.end())
                    continue;
                // A keyed record holds the last values of its minute.
                if (kKeyed || valuesOf(rec) == p.values)
                    found = true;
            }
            FUZZ_CHECK(found, "line " + std::to_string(i + 1) + " " + escaped(lines[i]) +
                                  " has no record: " + describe(series));
        }
        FUZZ_CHECK(r.loaded == valid,
                   std::to_string(r.loaded) + " loaded, " + std::to_string(valid) + " valid lines");
        if (kKeyed) {
            // Every record's values come from a valid line at its time.
            for (const auto& rec : series) {
                bool from = false;
                for (const PlainLine& p : plain)
                    from = from || (calendarValid(p.f) && fromFields(rec.m_Time, p.f) &&
                                    valuesOf(rec) == p.values);
                FUZZ_CHECK(from, "record at " + std::to_string(rec.m_Time) + " from no line");
            }
        }
    }

    // Saved and loaded again: the same series. now = 0 keeps every record.
    const std::string again = *scratch / "again.csv";
    FUZZ_CHECK(writeDataFile(again, series, 0, INT_MAX) == SaveResult::Saved, again);
    Series reread;
    const LoadResult r2 = readDataFile(again, reread);
    FUZZ_CHECK(r2.skipped == 0 && reread.size() == series.size(),
               "wrote " + describe(series) + " read " + describe(reread));
    // A file keeps local times: which pass of an hour the clocks repeat a
    // record belongs to it cannot say. Records of one time carry no order
    // among themselves.
    auto rounded = [](const Series& s) {
        std::vector<std::pair<std::string, std::vector<double>>> out;
        for (const auto& rec : s) {
            std::vector<double> v = valuesOf(rec);
            for (double& x : v)
                x = sixDigits(x);
            out.emplace_back(formatLocal(rec.m_Time, "%Y-%m-%d %H:%M:%S"), v);
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    FUZZ_CHECK(rounded(reread) == rounded(series),
               "wrote " + describe(series) + " read " + describe(reread));
    return 0;
}
