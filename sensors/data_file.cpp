#include "sensors/data_file.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include <fcntl.h>
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

// A file that did not exist before: O_EXCL follows no link and reuses no
// file that appeared at the path meanwhile. Null on failure.
FilePtr createNewFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        ::close(fd);
        ::unlink(path.c_str());
    }
    return FilePtr(f);
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

void appendTwoDigits(std::string& out, long v) {
    out += static_cast<char>('0' + v / 10);
    out += static_cast<char>('0' + v % 10);
}

// The UTC offset as +HHMM, or +HHMMSS for the old zones whose offset had
// seconds.
void appendOffset(std::string& out, TimeT offset) {
    out += offset < 0 ? '-' : '+';
    const long a = static_cast<long>(offset < 0 ? -offset : offset);
    appendTwoDigits(out, a / 3600 % 100);
    appendTwoDigits(out, a / 60 % 60);
    if (a % 60 != 0)
        appendTwoDigits(out, a % 60);
}

void appendTime(std::string& out, const CalendarFields& f) {
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

    // A save killed halfway leaves its temporary file behind, maybe
    // read-only, or a link that writing would follow. It is removed and the
    // new one made afresh, so nothing of it is kept or written through. A
    // folder with something in it is no such leftover: the save fails.
    const std::string tmp = path + ".tmp";
    fs::remove(tmp, ec);
    if (ec)
        return SaveResult::WriteFailed;
    bool ok = true;
    {
        FilePtr f = createNewFile(tmp);
        if (!f)
            return SaveResult::WriteFailed;
        constexpr std::size_t kChunk = 1 << 20;
        std::string buf;
        buf.reserve(kChunk + 256);
        LocalTimeCache cache;
        for (const auto& r : series) {
            if (!keep(now, r.m_Time, keepHours))
                continue;
            const LocalStamp st = cache.toLocalStamp(r.m_Time);
            appendTime(buf, st.fields);
            appendValues(buf, r);
            // Only a repeated wall-clock time needs its offset to come back
            // as the same instant; every other line keeps the plain format.
            if (st.repeated) {
                buf += ',';
                appendOffset(buf, st.offset);
            }
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

bool isDigits(std::string_view s) {
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// The field after the values on lines with a repeated wall-clock time:
// +HHMM or +HHMMSS (either sign). Anything else counts as no offset.
std::optional<TimeT> parseOffset(std::string_view s) {
    if ((s.size() != 5 && s.size() != 7) || (s[0] != '+' && s[0] != '-') || !isDigits(s.substr(1)))
        return std::nullopt;
    auto two = [&](std::size_t i) { return (s[i] - '0') * 10 + (s[i + 1] - '0'); };
    const int h = two(1), m = two(3), sec = s.size() == 7 ? two(5) : 0;
    if (h > 23 || m > 59 || sec > 59)
        return std::nullopt;
    const TimeT v = h * 3600 + m * 60 + sec;
    return s[0] == '-' ? -v : v;
}

CTempRecord loadedRecord(CTempRecordArray*, TimeT t, const double* v) {
    return CTempRecord{t, v[0], v[1]};
}
CGeigerRecord loadedRecord(CGeigerRecordArray*, TimeT t, const double* v) {
    CGeigerRecord r;
    r.m_Time = t;
    r.m_Cpm = v[0];
    return r;
}
COwlRecord loadedRecord(COwlRecordArray*, TimeT t, const double* v) {
    COwlRecord r;
    r.m_Time = t;
    r.m_Power = v[0];
    return r;
}

void addLoaded(CTempRecordArray& s, std::vector<CTempRecord> batch) {
    s.AddKeyedRecords(std::move(batch));
}
void addLoaded(CGeigerRecordArray& s, std::vector<CGeigerRecord> batch) {
    s.AddRecords(std::move(batch));
}
void addLoaded(COwlRecordArray& s, std::vector<COwlRecord> batch) {
    s.AddRecords(std::move(batch));
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
    // Lines are gathered first and go into the series at once: added one by
    // one, a file in descending order or with many equal times costs time
    // quadratic in its length.
    std::vector<typename Series::value_type> batch;
    batch.reserve(lines + 1);

    LocalTimeCache cache;
    TimeT last = 0;
    bool haveLast = false;
    // A temperature key comes once, so the minute just read, read again,
    // is its second pass through an hour the clocks repeat.
    constexpr TimeT kAfterLast = std::is_same_v<Series, CTempRecordArray> ? 1 : 0;
    constexpr std::size_t kFields = 6 + Values;
    std::array<std::string_view, kFields + 1> f;
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

        const std::size_t count = splitFields(line, f);
        if (count < kFields) {
            ++res.skipped;
            continue;
        }
        const CalendarFields cf{toInt(f[0]), toInt(f[1]), toInt(f[2]),
                                toInt(f[3]), toInt(f[4]), toInt(f[5])};
        const std::optional<TimeT> offset =
            count > kFields ? parseOffset(f[kFields]) : std::nullopt;
        TimeT t = 0;
        if (!cache.fromLocalFields(cf, haveLast ? last + kAfterLast : INT64_MIN, offset, t)) {
            ++res.skipped;
            continue;
        }
        double v[Values];
        for (std::size_t k = 0; k < Values; ++k)
            v[k] = toDouble(f[6 + k]);
        batch.push_back(loadedRecord(&series, t, v));
        last = t;
        haveLast = true;
        ++res.loaded;
    }
    addLoaded(series, std::move(batch));
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
