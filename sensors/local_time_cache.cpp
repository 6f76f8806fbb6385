#include "sensors/local_time_cache.h"

#include <cstddef>

namespace orvana {

long long daysFromCivil(int year, int month, int day) {
    long long y = year - (month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long mp = (month + 9) % 12;
    const long long doy = (153 * mp + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

namespace {

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// The fields read as if they were UTC.
TimeT naiveOf(int y, int mo, int d, int h, int mi, int s) {
    return daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

TimeT naiveOf(const LocalTime& lt) {
    return naiveOf(lt.year, lt.month, lt.day, lt.hour, lt.minute, lt.second);
}

TimeT offsetAt(TimeT t) {
    return naiveOf(toLocal(t)) - t;
}

bool sameFields(const LocalTime& lt, const CalendarFields& f) {
    return lt.year == f.year && lt.month == f.month && lt.day == f.day && lt.hour == f.hour &&
           lt.minute == f.minute && lt.second == f.second;
}

CalendarFields fieldsOf(const LocalTime& lt) {
    return {lt.year, lt.month, lt.day, lt.hour, lt.minute, lt.second};
}

}  // namespace

LocalTimeCache::Day LocalTimeCache::computeDay(int year, int month, int day) {
    Day d;
    d.year = year;
    d.month = month;
    d.day = day;
    const TimeT t0 = fromLocal(year, month, day, 0, 0, 0);
    const TimeT t1 = fromLocal(year, month, day, 23, 59, 59);
    if (t0 == -1 || t1 == -1)
        return d;
    d.known = true;
    d.offStart = offsetAt(t0);
    d.offEnd = offsetAt(t1);
    const LocalTime m = toLocal(t0);
    d.uniform = d.offStart == d.offEnd && t1 - t0 == 86399 &&
                sameFields(m, CalendarFields{year, month, day, 0, 0, 0});
    return d;
}

void LocalTimeCache::loadDay(int year, int month, int day) {
    constexpr std::size_t kMaxDays = 1 << 14;
    const long long key = daysFromCivil(year, month, day);
    auto it = days_.find(key);
    if (it == days_.end()) {
        if (days_.size() >= kMaxDays)
            days_.clear();
        it = days_.emplace(key, computeDay(year, month, day)).first;
    }
    day_ = it->second;
}

bool LocalTimeCache::fromLocalFields(const CalendarFields& f, TimeT notBefore, TimeT& out) {
    return fromLocalFields(f, notBefore, std::nullopt, out);
}

bool LocalTimeCache::fromLocalFields(const CalendarFields& f, TimeT notBefore,
                                     std::optional<TimeT> offset, TimeT& out) {
    if (f.year < 1900 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1 ||
        f.day > daysInMonth(f.year, f.month) || f.hour < 0 || f.hour > 23 || f.minute < 0 ||
        f.minute > 59 || f.second < 0 || f.second > 59)
        return false;
    if (f.year != day_.year || f.month != day_.month || f.day != day_.day)
        loadDay(f.year, f.month, f.day);
    const TimeT naive = naiveOf(f.year, f.month, f.day, f.hour, f.minute, f.second);
    if (day_.uniform) {
        out = naive - day_.offStart;
        return true;
    }
    if (offset) {
        const TimeT t = naive - *offset;
        if (sameFields(toLocal(t), f)) {
            out = t;
            return true;
        }
    }
    if (day_.known) {
        // The day of a change: try the offset before and after it.
        const TimeT a = naive - day_.offStart;
        const TimeT b = naive - day_.offEnd;
        const bool aOk = sameFields(toLocal(a), f);
        const bool bOk = a != b && sameFields(toLocal(b), f);
        if (aOk && bOk) {
            const TimeT early = a < b ? a : b;
            const TimeT late = a < b ? b : a;
            out = early >= notBefore ? early : late;
            return true;
        }
        if (aOk || bOk) {
            out = aOk ? a : b;
            return true;
        }
    }
    const TimeT t = fromLocal(f.year, f.month, f.day, f.hour, f.minute, f.second);
    if (t == -1)
        return false;
    out = t;
    return true;
}

CalendarFields LocalTimeCache::toLocalFields(TimeT t) {
    return toLocalStamp(t).fields;
}

LocalStamp LocalTimeCache::toLocalStamp(TimeT t) {
    if (t >= lo_ && t < hi_) {
        LocalStamp st;
        st.fields = date_;
        const TimeT s = t - lo_;
        st.fields.hour = static_cast<int>(s / 3600);
        st.fields.minute = static_cast<int>(s / 60 % 60);
        st.fields.second = static_cast<int>(s % 60);
        st.offset = off_;
        return st;
    }
    const LocalTime lt = toLocal(t);
    const TimeT naive = naiveOf(lt);
    const TimeT off = naive - t;
    const TimeT lo = t - (lt.hour * 3600 + lt.minute * 60 + lt.second);
    const TimeT hi = lo + 86400;
    const LocalTime start = toLocal(lo);
    LocalStamp st;
    st.fields = fieldsOf(lt);
    st.offset = off;
    if (offsetAt(lo) == off && offsetAt(hi - 1) == off && start.hour == 0 && start.minute == 0 &&
        start.second == 0 && start.day == lt.day) {
        // One offset all day: no wall-clock time of it repeats.
        lo_ = lo;
        hi_ = hi;
        off_ = off;
        date_ = st.fields;
        return st;
    }
    lo_ = 1;
    hi_ = 0;
    // A day of a change: the other instant, if any, has the offset in force
    // a day before or after.
    for (const TimeT other : {offsetAt(t - 86400), offsetAt(t + 86400)}) {
        if (other != off && sameFields(toLocal(naive - other), st.fields)) {
            st.repeated = true;
            break;
        }
    }
    return st;
}

}  // namespace orvana
