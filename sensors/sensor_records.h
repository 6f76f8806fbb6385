// The sample series of the three sensor monitors: one record type and one
// series class per sensor, with the statistics and moving averages that the
// monitors, the trend graphs and the periodic notice read.
//
// Threads: a series belongs to its monitor and is read and changed on the UI
// thread only; nothing here locks.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/tables.h"

namespace orvana {

// Moving-average windows, in records (one record is about one minute):
// long graphs, title value and alarms, short graphs.
inline constexpr std::array<int, 9> TimeMaL = {1, 5, 15, 30, 60, 120, 360, 720, 1440};
inline constexpr std::array<int, 9> TimeMaM = {1, 5, 15, 30, 60, 120, 360, 720, 1440};
inline constexpr std::array<int, 5> TimeMaS = {1, 5, 15, 30, 60};

// Plain values, copied into and out of the series. No virtual members: a
// million of them are held at once, so they stay small and trivially copyable.
struct CTempRecord {
    TimeT m_Time = 0;      // minute key: end of the minute the sample was taken in
    double m_Temp = 0.0;   // degrees Celsius
    double m_Humid = 0.0;  // %RH
};

struct CGeigerRecord {
    TimeT m_Time = 0;             // time the record was taken
    double m_Cpm = 0.0;           // counts in the minute that ended at m_Time
    std::int32_t m_MaWindow = 0;  // window of the cached moving average, 0 = none
    double m_MaValue = 0.0;       // the cached moving average
};

struct COwlRecord {
    TimeT m_Time = 0;             // time of the energy-history row
    double m_Power = 0.0;         // kW
    std::int32_t m_MaWindow = 0;  // window of the cached moving average, 0 = none
    double m_MaValue = 0.0;       // the cached moving average
};

// The per-record memory budget of a two-year series.
static_assert(sizeof(CTempRecord) <= 48);
static_assert(sizeof(CGeigerRecord) <= 48);
static_assert(sizeof(COwlRecord) <= 48);

namespace detail {

// Records in ascending time order, index 0 the oldest. There is no capacity
// limit; records leave only through clear() (a reload).
template <class Rec>
class SeriesBase {
  public:
    using value_type = Rec;

    int GetSize() const { return static_cast<int>(records_.size()); }
    std::size_t size() const { return records_.size(); }
    bool empty() const { return records_.empty(); }
    // index must lie inside the series.
    const Rec& operator[](std::size_t i) const { return records_[i]; }
    Rec& operator[](std::size_t i) { return records_[i]; }
    const Rec& GetAt(int i) const { return records_[static_cast<std::size_t>(i)]; }
    auto begin() const { return records_.begin(); }
    auto end() const { return records_.end(); }
    void clear() { records_.clear(); }
    void RemoveAll() { records_.clear(); }
    void reserve(std::size_t n) { records_.reserve(n); }
    // Bytes held for records, for the memory benchmark.
    std::size_t capacityBytes() const { return records_.capacity() * sizeof(Rec); }

  protected:
    std::vector<Rec> records_;
};

// The statistics over the newest min(n, size) records of a value field.
// 0.0 when n <= 0 or the series is empty. Min and max start from the newest
// value and take each strictly smaller (larger) one.
template <class Rec, double Rec::*Field>
struct Stats {
    static double min(const std::vector<Rec>& v, int n);
    static double max(const std::vector<Rec>& v, int n);
    static double ave(const std::vector<Rec>& v, int n);
};

// Turns each run of records with one m_Time around, in a series ordered by
// time.
template <class Rec>
void reverseEqualTimeRuns(std::vector<Rec>& v) {
    for (auto run = v.begin(); run != v.end();) {
        auto end =
            std::find_if(run, v.end(), [&](const Rec& r) { return r.m_Time != run->m_Time; });
        std::reverse(run, end);
        run = end;
    }
}

// Orders records by m_Time, records of equal time in their given order. A
// batch already in ascending or descending order costs one pass; any other
// one a stable sort.
template <class Rec>
void sortByTime(std::vector<Rec>& v) {
    auto earlier = [](const Rec& a, const Rec& b) { return a.m_Time < b.m_Time; };
    if (std::is_sorted(v.begin(), v.end(), earlier))
        return;
    auto later = [](const Rec& a, const Rec& b) { return a.m_Time > b.m_Time; };
    if (std::is_sorted(v.begin(), v.end(), later)) {
        // Reversing turns the runs of equal times around; turn them back.
        std::reverse(v.begin(), v.end());
        reverseEqualTimeRuns(v);
        return;
    }
    std::stable_sort(v.begin(), v.end(), earlier);
}

// The shared behaviour of the radiation and power series.
template <class Rec, double Rec::*Field>
class MaSeries : public SeriesBase<Rec> {
  protected:
    // Inserts after the newest record earlier than t, or at index 0; a record
    // with a time equal to existing ones goes before them. m_MaWindow = 0.
    void add(TimeT t, double value);
    // The series that add() of each record of `batch`, in its order, would
    // leave, in O(n log n) whatever the order (add() one by one is quadratic
    // for a batch in descending order or with many equal times). Only m_Time
    // and the value field of the batch are used.
    void addBatch(std::vector<Rec> batch);
    double statMin(int n) const { return Stats<Rec, Field>::min(this->records_, n); }
    double statMax(int n) const { return Stats<Rec, Field>::max(this->records_, n); }
    double statAve(int n) const { return Stats<Rec, Field>::ave(this->records_, n); }
    // Fills the cache of the records lo..hi (ends in any order, clamped to the
    // series) with the average of the `window` records ending at each, by a
    // sliding sum. Does nothing when window <= 0 or the clamped range is empty.
    void precal(int window, int from, int to);
    // The average of the `window` records ending at index (fewer near index
    // 0); the cached value when the record holds one for this window. Caches
    // nothing. Returns 0.0 when index lies outside the series or window <= 0.
    double ma(int index, int window) const;
};

}  // namespace detail

class CTempRecordArray : public detail::SeriesBase<CTempRecord> {
  public:
    // Stores a sample under the end of its local minute (local fields of t
    // with the seconds set to 0, plus 60 s). An existing record with that key
    // takes the new values; the last sample of a minute wins.
    void AddRecord(TimeT t, double temp, double humid);
    // Stores values under a key that is already a minute key (the data file
    // holds keys): no rounding, same merge rule as AddRecord.
    void AddKeyedRecord(TimeT key, double temp, double humid);
    // The series that AddKeyedRecord of each record of `batch`, in its
    // order, would leave (the last values of a key win), in O(n log n)
    // whatever the order. The batch is consumed.
    void AddKeyedRecords(std::vector<CTempRecord> batch);

    // Statistics over the newest min(n, size) records; 0.0 when n <= 0 or
    // the series is empty.
    double GetTempMin(int n) const;
    double GetTempMax(int n) const;
    double GetTempAve(int n) const;
    double GetHumidMin(int n) const;
    double GetHumidMax(int n) const;
    double GetHumidAve(int n) const;

    // The minute key of a sample time: the end of its local minute.
    static TimeT MinuteKey(TimeT t);
};

class CGeigerRecordArray : public detail::MaSeries<CGeigerRecord, &CGeigerRecord::m_Cpm> {
  public:
    void AddRecord(TimeT t, double cpm) { add(t, cpm); }
    // The series that AddRecord of each record of `batch` (its time and
    // value), in its order, would leave, in O(n log n) whatever the order.
    void AddRecords(std::vector<CGeigerRecord> batch) { addBatch(std::move(batch)); }
    double GetCpmMin(int n) const { return statMin(n); }
    double GetCpmMax(int n) const { return statMax(n); }
    double GetCpmAve(int n) const { return statAve(n); }
    void PrecalCpmMA(int window, int from, int to) { precal(window, from, to); }
    double GetCpmMA(int index, int window) const { return ma(index, window); }
};

class COwlRecordArray : public detail::MaSeries<COwlRecord, &COwlRecord::m_Power> {
  public:
    void AddRecord(TimeT t, double power) { add(t, power); }
    // The series that AddRecord of each record of `batch` (its time and
    // value), in its order, would leave, in O(n log n) whatever the order.
    void AddRecords(std::vector<COwlRecord> batch) { addBatch(std::move(batch)); }
    double GetPowerMin(int n) const { return statMin(n); }
    double GetPowerMax(int n) const { return statMax(n); }
    double GetPowerAve(int n) const { return statAve(n); }
    void PrecalPowerMA(int window, int from, int to) { precal(window, from, to); }
    double GetPowerMA(int index, int window) const { return ma(index, window); }
};

// ---- template definitions ----

namespace detail {

template <class Rec, double Rec::*Field>
double Stats<Rec, Field>::min(const std::vector<Rec>& v, int n) {
    if (n <= 0 || v.empty())
        return 0.0;
    const std::size_t used = std::min<std::size_t>(static_cast<std::size_t>(n), v.size());
    double m = v.back().*Field;
    for (std::size_t k = v.size() - used; k < v.size(); ++k)
        if (v[k].*Field < m)
            m = v[k].*Field;
    return m;
}

template <class Rec, double Rec::*Field>
double Stats<Rec, Field>::max(const std::vector<Rec>& v, int n) {
    if (n <= 0 || v.empty())
        return 0.0;
    const std::size_t used = std::min<std::size_t>(static_cast<std::size_t>(n), v.size());
    double m = v.back().*Field;
    for (std::size_t k = v.size() - used; k < v.size(); ++k)
        if (v[k].*Field > m)
            m = v[k].*Field;
    return m;
}

template <class Rec, double Rec::*Field>
double Stats<Rec, Field>::ave(const std::vector<Rec>& v, int n) {
    if (n <= 0 || v.empty())
        return 0.0;
    const std::size_t used = std::min<std::size_t>(static_cast<std::size_t>(n), v.size());
    double sum = 0.0;
    for (std::size_t k = v.size() - used; k < v.size(); ++k)
        sum += v[k].*Field;
    return sum / static_cast<double>(used);
}

template <class Rec, double Rec::*Field>
void MaSeries<Rec, Field>::add(TimeT t, double value) {
    auto& v = this->records_;
    std::size_t pos = v.size();
    while (pos > 0 && !(v[pos - 1].m_Time < t))
        --pos;
    Rec r;
    r.m_Time = t;
    r.*Field = value;
    if (pos == v.size())
        v.push_back(r);
    else
        v.insert(v.begin() + static_cast<std::ptrdiff_t>(pos), r);
}

template <class Rec, double Rec::*Field>
void MaSeries<Rec, Field>::addBatch(std::vector<Rec> batch) {
    for (Rec& r : batch) {
        r.m_MaWindow = 0;
        r.m_MaValue = 0.0;
    }
    // add() puts a record before the equal times already there, so a run of
    // equal times ends up newest first.
    sortByTime(batch);
    reverseEqualTimeRuns(batch);
    auto& v = this->records_;
    if (v.empty()) {
        v = std::move(batch);
        return;
    }
    // On equal times std::merge takes the first range first: the batch goes
    // before the records already held, as add() would put it.
    std::vector<Rec> merged;
    merged.reserve(v.size() + batch.size());
    std::merge(batch.begin(), batch.end(), v.begin(), v.end(), std::back_inserter(merged),
               [](const Rec& a, const Rec& b) { return a.m_Time < b.m_Time; });
    v = std::move(merged);
}

template <class Rec, double Rec::*Field>
void MaSeries<Rec, Field>::precal(int window, int from, int to) {
    auto& v = this->records_;
    if (window <= 0 || v.empty())
        return;
    long hi = std::max(from, to);
    long lo = std::min(from, to);
    const long last = static_cast<long>(v.size()) - 1;
    if (hi > last)
        hi = last;
    if (lo < 0)
        lo = 0;
    if (hi < lo)
        return;

    double sum = 0.0;
    long count = 0;
    for (long k = hi; k >= 0 && k > hi - window; --k) {
        sum += v[static_cast<std::size_t>(k)].*Field;
        ++count;
    }
    auto store = [&](long i) {
        Rec& r = v[static_cast<std::size_t>(i)];
        r.m_MaWindow = window;
        r.m_MaValue = count > 0 ? sum / static_cast<double>(count) : 0.0;
    };
    store(hi);
    for (long i = hi - 1; i >= lo; --i) {
        sum -= v[static_cast<std::size_t>(i + 1)].*Field;
        const long enter = i - window + 1;
        if (enter >= 0)
            sum += v[static_cast<std::size_t>(enter)].*Field;
        else
            --count;
        store(i);
    }
}

template <class Rec, double Rec::*Field>
double MaSeries<Rec, Field>::ma(int index, int window) const {
    const auto& v = this->records_;
    if (window <= 0 || index < 0 || static_cast<std::size_t>(index) >= v.size())
        return 0.0;
    const Rec& r = v[static_cast<std::size_t>(index)];
    if (r.m_MaWindow == window)
        return r.m_MaValue;
    double sum = 0.0;
    int count = 0;
    for (int k = index; k >= 0 && k > index - window; --k) {
        sum += v[static_cast<std::size_t>(k)].*Field;
        ++count;
    }
    return sum / static_cast<double>(count);
}

}  // namespace detail
}  // namespace orvana
