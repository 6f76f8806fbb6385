#include "sensors/sensor_records.h"

namespace orvana {

TimeT CTempRecordArray::MinuteKey(TimeT t) {
    // Dropping the local seconds from t itself, instead of rebuilding the
    // time from calendar fields, keeps the repeated hour of a DST change
    // apart: both 02:30 of that night stay distinct minutes.
    return t - toLocal(t).second + 60;
}

void CTempRecordArray::AddRecord(TimeT t, double temp, double humid) {
    AddKeyedRecord(MinuteKey(t), temp, humid);
}

void CTempRecordArray::AddKeyedRecord(TimeT key, double temp, double humid) {
    std::size_t pos = records_.size();
    while (pos > 0) {
        CTempRecord& r = records_[pos - 1];
        if (r.m_Time == key) {
            r.m_Temp = temp;
            r.m_Humid = humid;
            return;
        }
        if (r.m_Time < key)
            break;
        --pos;
    }
    const CTempRecord rec{key, temp, humid};
    if (pos == records_.size())
        records_.push_back(rec);
    else
        records_.insert(records_.begin() + static_cast<std::ptrdiff_t>(pos), rec);
}

void CTempRecordArray::AddKeyedRecords(std::vector<CTempRecord> batch) {
    detail::sortByTime(batch);
    // Within a run of one key the last record in batch order wins.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (i + 1 < batch.size() && batch[i + 1].m_Time == batch[i].m_Time)
            continue;
        batch[kept++] = batch[i];
    }
    batch.resize(kept);
    if (records_.empty()) {
        records_ = std::move(batch);
        return;
    }
    std::vector<CTempRecord> merged;
    merged.reserve(records_.size() + batch.size());
    std::size_t a = 0, b = 0;
    while (a < records_.size() || b < batch.size()) {
        if (b == batch.size() || (a < records_.size() && records_[a].m_Time < batch[b].m_Time)) {
            merged.push_back(records_[a++]);
        } else if (a == records_.size() || batch[b].m_Time < records_[a].m_Time) {
            merged.push_back(batch[b++]);
        } else {
            // The same key: the record keeps its place and takes the values.
            merged.push_back(batch[b++]);
            ++a;
        }
    }
    records_ = std::move(merged);
}

using TempStats = detail::Stats<CTempRecord, &CTempRecord::m_Temp>;
using HumidStats = detail::Stats<CTempRecord, &CTempRecord::m_Humid>;

double CTempRecordArray::GetTempMin(int n) const {
    return TempStats::min(records_, n);
}
double CTempRecordArray::GetTempMax(int n) const {
    return TempStats::max(records_, n);
}
double CTempRecordArray::GetTempAve(int n) const {
    return TempStats::ave(records_, n);
}
double CTempRecordArray::GetHumidMin(int n) const {
    return HumidStats::min(records_, n);
}
double CTempRecordArray::GetHumidMax(int n) const {
    return HumidStats::max(records_, n);
}
double CTempRecordArray::GetHumidAve(int n) const {
    return HumidStats::ave(records_, n);
}

}  // namespace orvana
