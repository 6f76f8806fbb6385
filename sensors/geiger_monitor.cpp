#include "sensors/geiger_monitor.h"

#include "core/status_text.h"

namespace orvana::sensors {

const SensorKindData kGeigerKindData{"Geiger", "放射線モニター",     ALERT_GEIGER, 26, 27,
                                     10000,    DataFileKind::Geiger, "#geiger.jpg"};

namespace {

// The onset line has a full-width space, the recovery line an ordinary one.
constexpr AlarmTexts kCpmHighTexts{">>>放射線　カウント値異常発生<<<",
                                   "放射線カウント値異常発生",
                                   "\r\n高リスク状態を検出しました。\r\n",
                                   ">>>放射線 カウント値回復<<<",
                                   "放射線カウント値回復",
                                   "\r\n高リスク状態から復帰しました。\r\n"};

}  // namespace

GeigerMonitor::GeigerMonitor(MonitorHost& host, DeviceLibraryLoader* loader, int deviceIndex)
    : SeriesMonitor(host, kGeigerKindData),
      m_lastTime(host.clock().now()),
      library_(loader),
      deviceIndex_(deviceIndex),
      watch_(host, DeviceWatchTexts::forDevice("放射線カウンター"), [this] {
          int index = deviceIndex_;
          return library_.binding().FindUSB(&index);
      }) {
    SettingsBinding& s = settings();
    const GeigerRanges& r = kGeigerRanges;
    s.bindFlag("AutoYScale", &AutoYScale, 1);
    s.bindDouble("CpmMin", &CpmMin, 0.0, r.CpmMin);
    s.bindDouble("CpmDiv", &CpmDiv, 40.0, r.CpmDiv);
    s.bindDouble("CpmWarnHi", &CpmWarnHi, 120.0, r.CpmWarnHi);
    s.bindDouble("CpmHist", &CpmHist, 20.0, r.CpmHist);
    s.bindInt("bCpmWarnHi", &bCpmWarnHi, 100, 0, kCpmWarnOnMax);
    s.bindIndex("PeriodL", &PeriodL, 2, kLongSpanCount);
    s.bindIndex("PeriodS", &PeriodS, 0, kShortSpanCount);
    s.bindIndex("MaTypeS1", &MaTypeS1, 0, kShortAverageCount);
    s.bindIndex("MaTypeL1", &MaTypeL1, 4, kLongAverageCount);
    s.bindIndex("MaTypeS2", &MaTypeS2, 3, kShortAverageCount);
    s.bindIndex("MaTypeL2", &MaTypeL2, 8, kLongAverageCount);
    s.bindIndex("MaTypeWarn", &MaTypeWarn, 4, kLongAverageCount);

    addAlarm({LimitAlarm::High, 0, &bCpmWarnHi, &CpmWarnHi, &CpmHist, kCpmHighTexts});
}

int GeigerMonitor::CheckDevice() {
    return library_.binding().CountDevices();
}

std::string GeigerMonitor::TitleText(int count, double a, int w) {
    if (w == 1)
        return strprintf("放射線数：%d (%7.2f[CPM]:1分計)", count, a);
    if (w < 60)
        return strprintf("放射線数：%d (%7.2f[CPM]:%d分間平均)", count, a, w);
    return strprintf("放射線数：%d (%7.2f[CPM]:%d時間平均)", count, a, w / 60);
}

SensorMonitor::Cycle GeigerMonitor::Measure() {
    Cycle c;
    if (TypeOfSensor() != GEIGER_SENSOR_RUVASKO)
        return c;
    std::uint32_t raw = 0;
    bool ok = !watch_.path().empty() && library_.GetCountTime(watch_.path(), &raw) == 0;
    if (!ok && watch_.readFailed()) {
        // Another counter, or the same one powered up again: its count has
        // nothing to do with the last one, and the minutes without reads
        // would all land in one record. Start from a new baseline.
        m_firstReading = true;
        ok = library_.GetCountTime(watch_.path(), &raw) == 0;
    }
    if (!ok)
        return c;
    watch_.readSucceeded();

    const auto count = static_cast<std::int32_t>(raw);
    if (count < m_lastCount)
        m_lastCount = 0;  // the counter was cleared or restarted
    const TimeT now = host().clock().now();

    const int w = tableAt(TimeMaM, MaTypeWarn);
    const bool haveAverage = !m_series.empty();
    const double a = haveAverage ? m_series.GetCpmMA(m_series.GetSize() - 1, w) : 0.0;
    setTitle(TitleText(count, a, w));

    if (toLocal(now).minute == toLocal(m_lastTime).minute)
        return c;
    if (m_firstReading) {
        m_lastCount = count;
        m_lastTime = now;
        m_firstReading = false;
        return c;
    }
    m_series.AddRecord(now, static_cast<double>(count - m_lastCount));
    m_lastCount = count;
    m_lastTime = now;
    c.result = 1;
    c.evaluate = haveAverage;
    c.values = {a, 0.0};
    return c;
}

std::string GeigerMonitor::statusBlock() const {
    const CGeigerRecordArray& s = m_series;
    const FnSeriesStats cpm([&s](int n) { return s.GetCpmAve(n); },
                            [&s](int n) { return s.GetCpmMin(n); },
                            [&s](int n) { return s.GetCpmMax(n); });
    return RadiationStatusBlock(cpm);
}

}  // namespace orvana::sensors
