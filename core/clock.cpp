#include "core/clock.h"

#include <ctime>
#include <thread>
#include <vector>

namespace orvana {

LocalTime toLocal(TimeT t) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    LocalTime lt;
    lt.year = tm.tm_year + 1900;
    lt.month = tm.tm_mon + 1;
    lt.day = tm.tm_mday;
    lt.hour = tm.tm_hour;
    lt.minute = tm.tm_min;
    lt.second = tm.tm_sec;
    lt.weekday = tm.tm_wday;
    lt.yearDay = tm.tm_yday;
    lt.dst = tm.tm_isdst > 0;
    return lt;
}

TimeT fromLocal(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    std::time_t r = std::mktime(&tm);
    return r == static_cast<std::time_t>(-1) ? -1 : static_cast<TimeT>(r);
}

std::string formatLocal(TimeT t, const std::string& pattern) {
    if (pattern.empty())
        return {};
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    // strftime gives 0 both for "too small" and for an empty result, so grow
    // until the result fits or the buffer is far beyond any sane output.
    std::vector<char> buf(pattern.size() * 4 + 64);
    for (;;) {
        std::size_t n = std::strftime(buf.data(), buf.size(), pattern.c_str(), &tm);
        if (n > 0 || buf.size() > pattern.size() * 64 + 4096)
            return std::string(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

namespace {

class SystemClock final : public Clock {
  public:
    TimeT now() const override { return static_cast<TimeT>(std::time(nullptr)); }
    std::int64_t nowMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    }
    void sleepFor(std::chrono::milliseconds d) override { std::this_thread::sleep_for(d); }
};

}  // namespace

std::unique_ptr<Clock> makeSystemClock() {
    return std::make_unique<SystemClock>();
}

}  // namespace orvana
