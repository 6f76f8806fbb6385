#include "sensors/data_file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <type_traits>

#include <unistd.h>

#include "core/app_settings.h"
#include "core/event_log.h"
#include "sensors/local_time_cache.h"

namespace orvana {

namespace fs = std::filesystem;

const char* dataFileName(DataFileKind kind) {
    switch (kind) {
        case DataFileKind::Temperature:
            return "TemperatureData.csv";
        case DataFileKind::Geiger:
            return "GeigerData.csv";
        case DataFileKind::Owl:
            return "OwlData.csv";
    }
    return "TemperatureData.csv";
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f)
            std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr openFile(const std::string& path, const char* mode) {
    return FilePtr(std::fopen(path.c_str(), mode));
}

// ---- writing ----

void appendInt(std::string& out, int v) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// printf "%g": six significant digits, no trailing zeros.
void appendG(std::string& out, double v) {
    char buf[48];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    out.append(buf, r.ptr);
}

void appendTime(std::string& out, LocalTimeCache& cache, TimeT t) {
    const CalendarFields f = cache.toLocalFields(t);
    appendInt(out, f.year);
    out += ',';
    appendInt(out, f.month);
    out += ',';
    appendInt(out, f.day);
    out += ',';
    appendInt(out, f.hour);
    out += ',';
    appendInt(out, f.minute);
    out += ',';
    appendInt(out, f.second);
}

void appendValues(std::string& out, const CTempRecord& r) {
    out += ',';
    appendG(out, r.m_Temp);
    out += ',';
    appendG(out, r.m_Humid);
}
void appendValues(std::string& out, const CGeigerRecord& r) {
    out += ',';
    appendG(out, r.m_Cpm);
}
void appendValues(std::string& out, const COwlRecord& r) {
    out += ',';
    appendG(out, r.m_Power);
}

// A record is kept while its age in whole hours does not exceed the keep
// period; the division truncates, so future records always stay.
bool keep(TimeT now, TimeT t, int keepHours) {
    return (now - t) / 3600 <= keepHours;
}

template <class Series>
SaveResult writeSeries(const std::string& target, const Series& series, TimeT now, int keepHours) {
    std::string path = target;
    std::error_code ec;
    // Writing through a link keeps the link and replaces what it points at.
    if (fs::is_symlink(path, ec)) {
        fs::path real = fs::canonical(path, ec);
        if (!ec)
            path = real.string();
    }

    // The file is opened for update, never truncated, only to learn whether
    // something holds it; a missing file is fine.
    {
        FilePtr probe = openFile(path, "r+b");
        if (!probe && errno != ENOENT)
            return SaveResult::Locked;
    }

    const std::string tmp = path + ".tmp";
    bool ok = true;
    {
        FilePtr f = openFile(tmp, "wb");
        if (!f)
            return SaveResult::WriteFailed;
        constexpr std::size_t kChunk = 1 << 20;
        std::string buf;
        buf.reserve(kChunk + 256);
        LocalTimeCache cache;
        for (const auto& r : series) {
            if (!keep(now, r.m_Time, keepHours))
                continue;
            appendTime(buf, cache, r.m_Time);
            appendValues(buf, r);
            buf += "\r\n";
            if (buf.size() >= kChunk) {
                if (std::fwrite(buf.data(), 1, buf.size(), f.get()) != buf.size()) {
                    ok = false;
                    break;
                }
                buf.clear();
            }
        }
        if (ok && !buf.empty() && std::fwrite(buf.data(), 1, buf.size(), f.get()) != buf.size())
            ok = false;
        if (ok && std::fflush(f.get()) != 0)
            ok = false;
        // On the disk before the rename: otherwise a power cut soon after it
        // can leave an empty file in place of the old one.
        if (ok && ::fsync(::fileno(f.get())) != 0)
            ok = false;
        if (std::fclose(f.release()) != 0)
            ok = false;
    }
    if (ok) {
        // The replaced file keeps its permissions.
        const auto st = fs::status(path, ec);
        if (!ec && fs::exists(st))
            fs::permissions(tmp, st.permissions(), ec);
        fs::rename(tmp, path, ec);
        if (ec)
            ok = false;
    }
    if (!ok) {
        std::remove(tmp.c_str());
        return SaveResult::WriteFailed;
    }
    return SaveResult::Saved;
}

// ---- reading ----

bool readWholeFile(const std::string& path, std::string& out) {
    FilePtr f = openFile(path, "rb");
    if (!f)
        return false;
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (!ec && size > 0)
        out.reserve(static_cast<std::size_t>(size) + 1);
    char chunk[1 << 16];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, f.get());
        out.append(chunk, n);
        if (n < sizeof chunk)
            break;
    }
    return !std::ferror(f.get());
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v';
}

// Decimal integer conversion: leading blanks, an optional sign, digits up to
// the first other character; 0 when there are none. Saturates instead of
// overflowing.
int toInt(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        neg = s[i++] == '-';
    long long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > 2147483647LL) {
            v = 2147483648LL;
            break;
        }
    }
    if (neg)
        v = -v;
    if (v > 2147483647LL)
        v = 2147483647LL;
    return static_cast<int>(v);
}

// Floating conversion: leading blanks, the longest number at the start, 0.0
// when there is none. "nan", "inf" and numbers beyond the range of a double
// are no reading either: one of them in a series would stop its averages,
// extremes and alarms from meaning anything.
double toDouble(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    if (i < s.size() && s[i] == '+')
        ++i;
    double v = 0.0;
    auto r = std::from_chars(s.data() + i, s.data() + s.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        std::string copy(s.substr(i));
        v = std::strtod(copy.c_str(), nullptr);
    } else if (r.ec != std::errc()) {
        return 0.0;
    }
    return std::isfinite(v) ? v : 0.0;
}

// Cuts a line into fields the way the data files are read: a "," is
// appended and closes the last field, so "a,,b" has three fields and a line
// ending in "," has an empty last field. Returns the number of fields; only
// the first `want` are stored.
template <std::size_t N>
std::size_t splitFields(std::string_view line, std::array<std::string_view, N>& fields) {
    std::size_t count = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
        if (count < N)
            fields[count] = line.substr(start, end - start);
        ++count;
        if (comma == std::string_view::npos)
            return count;
        start = comma + 1;
    }
}

void addLoaded(CTempRecordArray& s, TimeT t, const double* v) {
    s.AddKeyedRecord(t, v[0], v[1]);
}
void addLoaded(CGeigerRecordArray& s, TimeT t, const double* v) {
    s.AddRecord(t, v[0]);
}
void addLoaded(COwlRecordArray& s, TimeT t, const double* v) {
    s.AddRecord(t, v[0]);
}

template <class Series, std::size_t Values>
LoadResult readSeries(const std::string& path, Series& series) {
    LoadResult res;
    series.clear();
    std::string text;
    if (!readWholeFile(path, text))
        return res;
    res.opened = true;

    std::string_view all(text);
    if (all.substr(0, 3) == "\xEF\xBB\xBF")
        all.remove_prefix(3);
    std::size_t lines = 0;
    for (const char* p = all.data();
         (p = static_cast<const char*>(std::memchr(p, '\n', all.data() + all.size() - p))) !=
         nullptr;
         ++p)
        ++lines;
    series.reserve(lines + 1);

    LocalTimeCache cache;
    TimeT last = 0;
    bool haveLast = false;
    // A temperature key comes once, so the minute just read, read again,
    // is its second pass through an hour the clocks repeat.
    constexpr TimeT kAfterLast = std::is_same_v<Series, CTempRecordArray> ? 1 : 0;
    constexpr std::size_t kFields = 6 + Values;
    std::array<std::string_view, kFields> f;
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t nl = all.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = all.size();
        std::string_view line = all.substr(pos, nl - pos);
        pos = nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;

        if (splitFields(line, f) < kFields) {
            ++res.skipped;
            continue;
        }
        const CalendarFields cf{toInt(f[0]), toInt(f[1]), toInt(f[2]),
                                toInt(f[3]), toInt(f[4]), toInt(f[5])};
        TimeT t = 0;
        if (!cache.fromLocalFields(cf, haveLast ? last + kAfterLast : INT64_MIN, t)) {
            ++res.skipped;
            continue;
        }
        double v[Values];
        for (std::size_t k = 0; k < Values; ++k)
            v[k] = toDouble(f[6 + k]);
        addLoaded(series, t, v);
        last = t;
        haveLast = true;
        ++res.loaded;
    }
    return res;
}

}  // namespace

SaveResult writeDataFile(const std::string& path, const CTempRecordArray& series, TimeT now,
                         int keepHours) {
    return writeSeries(path, series, now, keepHours);
}
SaveResult writeDataFile(const std::string& path, const CGeigerRecordArray& series, TimeT now,
                         int keepHours) {
    return writeSeries(path, series, now, keepHours);
}
SaveResult writeDataFile(const std::string& path, const COwlRecordArray& series, TimeT now,
                         int keepHours) {
    return writeSeries(path, series, now, keepHours);
}

LoadResult readDataFile(const std::string& path, CTempRecordArray& series) {
    return readSeries<CTempRecordArray, 2>(path, series);
}
LoadResult readDataFile(const std::string& path, CGeigerRecordArray& series) {
    return readSeries<CGeigerRecordArray, 1>(path, series);
}
LoadResult readDataFile(const std::string& path, COwlRecordArray& series) {
    return readSeries<COwlRecordArray, 1>(path, series);
}

std::string SensorDataFiles::GetDataFilePath(DataFileKind kind) const {
    return joinDataPath(store_.getString(kSection, "DATA_DIR", ""), dataFileName(kind));
}

int SensorDataFiles::keepHours() const {
    return delHoursFor(store_.getInt(kSection, "DATA_KEEP_PERIOD", 6));
}

bool SensorDataFiles::SaveDataFile(const CTempRecordArray& series) {
    const bool ok = writeDataFile(GetDataFilePath(DataFileKind::Temperature), series, clock_.now(),
                                  keepHours()) == SaveResult::Saved;
    if (!ok)
        prompt_.notify(kDataFileSaveFailedText);
    return ok;
}

bool SensorDataFiles::SaveDataFile(const CGeigerRecordArray& series) {
    const bool ok = writeDataFile(GetDataFilePath(DataFileKind::Geiger), series, clock_.now(),
                                  keepHours()) == SaveResult::Saved;
    if (!ok)
        prompt_.notify(kDataFileSaveFailedText);
    return ok;
}

bool SensorDataFiles::SaveDataFile(const COwlRecordArray& series) {
    return writeDataFile(GetDataFilePath(DataFileKind::Owl), series, clock_.now(), keepHours()) ==
           SaveResult::Saved;
}

LoadResult SensorDataFiles::LoadDataFile(CTempRecordArray& series) const {
    return readDataFile(GetDataFilePath(DataFileKind::Temperature), series);
}
LoadResult SensorDataFiles::LoadDataFile(CGeigerRecordArray& series) const {
    return readDataFile(GetDataFilePath(DataFileKind::Geiger), series);
}
LoadResult SensorDataFiles::LoadDataFile(COwlRecordArray& series) const {
    return readDataFile(GetDataFilePath(DataFileKind::Owl), series);
}

}  // namespace orvana
