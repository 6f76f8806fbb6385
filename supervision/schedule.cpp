#include "supervision/schedule.h"

namespace orvana {

const IntervalRow& intervalRowTK(int hourTK) {
    if (hourTK < 0 || hourTK >= static_cast<int>(kIntervalTable.size()))
        return kIntervalTable.back();
    return kIntervalTable[static_cast<std::size_t>(hourTK)];
}

const IntervalRow& intervalRowKA(int hourKA) {
    if (hourKA < 1 || hourKA > static_cast<int>(kIntervalTable.size()))
        return kIntervalTable.back();
    return kIntervalTable[static_cast<std::size_t>(hourKA - 1)];
}

const DaySetRow& daySetRow(int weekRB) {
    if (weekRB < 0 || weekRB >= static_cast<int>(kDaySetTable.size()))
        return kDaySetTable.back();
    return kDaySetTable[static_cast<std::size_t>(weekRB)];
}

int intervalPhase(TimeT t, const IntervalRow& row) {
    const LocalTime lt = toLocal(t);
    return ((lt.hour % row.H) * 60 + (lt.minute % row.M)) * 60 + lt.second;
}

int weekPhase(TimeT t) {
    const LocalTime lt = toLocal(t);
    return (((lt.weekday + 1) * 24 + lt.hour) * 60 + lt.minute) * 60 + lt.second;
}

bool crossed(long long p, long long q, long long r) {
    if (q > p)
        return p < r && r <= q;
    return p < r || r <= q;
}

namespace {

// Steps shared by every schedule: the first call and a repeat within the
// same second only remember the time.
template <class Due>
int runCheck(SchedulerRecord& rec, TimeT now, Due due) {
    if (rec.firstCall) {
        rec.last = now;
        rec.firstCall = 0;
    }
    if (rec.last == now)
        return 0;
    const int result = due(rec.last, now) ? 1 : 0;
    rec.last = now;
    return result;
}

int intervalCheck(SchedulerRecord& rec, TimeT now, TimeT ref, const IntervalRow& row) {
    return runCheck(rec, now, [&](TimeT last, TimeT cur) {
        return crossed(intervalPhase(last, row), intervalPhase(cur, row), intervalPhase(ref, row));
    });
}

}  // namespace

int CheckTimeTK(SchedulerRecord& rec, TimeT now, TimeT ref, int hourTK) {
    return intervalCheck(rec, now, ref, intervalRowTK(hourTK));
}

int CheckTimeKA(SchedulerRecord& rec, TimeT now, TimeT ref, int hourKA) {
    if (hourKA <= 0)
        return 0;
    return intervalCheck(rec, now, ref, intervalRowKA(hourKA));
}

int CheckTimeRB(SchedulerRecord& rec, TimeT now, TimeT ref, int weekRB) {
    const DaySetRow& row = daySetRow(weekRB);
    const LocalTime r = toLocal(ref);
    const long long tod = (r.hour * 60LL + r.minute) * 60 + r.second;
    return runCheck(rec, now, [&](TimeT last, TimeT cur) {
        const long long p = weekPhase(last), q = weekPhase(cur);
        for (int d = 0; d < 7; ++d) {
            if ((row.days & dayBit(d)) && crossed(p, q, (d + 1) * 86400LL + tod))
                return true;
        }
        return false;
    });
}

}  // namespace orvana
