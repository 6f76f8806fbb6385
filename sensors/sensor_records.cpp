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
