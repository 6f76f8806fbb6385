#include "sensors/temperature_monitor.h"

#include "core/status_text.h"

namespace orvana::sensors {

const SensorKindData kTemperatureKindData{
    "Temperature", "温度・湿度モニタ",        ALERT_TEMP, 15, 16,
    10000,         DataFileKind::Temperature, "#temp.jpg"};

namespace {

constexpr AlarmTexts kTempHighTexts{
    ">>>温度異常発生<<<", "温度異常発生", "\r\n高温状態を検出しました。\r\n",
    ">>>温度回復<<<",     "温度回復",     "\r\n高温状態から復帰しました。\r\n"};
constexpr AlarmTexts kTempLowTexts{
    ">>>温度異常発生<<<", "温度異常発生", "\r\n低温状態を検出しました。\r\n",
    ">>>温度回復<<<",     "温度回復",     "\r\n低温状態から復帰しました。\r\n"};
constexpr AlarmTexts kHumidHighTexts{
    ">>>湿度異常発生<<<", "湿度異常発生", "\r\n高湿度状態を検出しました。\r\n",
    ">>>湿度回復<<<",     "湿度回復",     "\r\n高湿度状態から復帰しました。\r\n"};
constexpr AlarmTexts kHumidLowTexts{
    ">>>湿度異常発生<<<", "湿度異常発生", "\r\n低湿度状態を検出しました。\r\n",
    ">>>湿度回復<<<",     "湿度回復",     "\r\n低湿度状態から復帰しました。\r\n"};

enum { kTemp, kHumid };

}  // namespace

TemperatureMonitor::TemperatureMonitor(MonitorHost& host, DeviceLibraryLoader* loader,
                                       int deviceIndex)
    : SeriesMonitor(host, kTemperatureKindData),
      library_(loader),
      deviceIndex_(deviceIndex),
      watch_(host, DeviceWatchTexts::forDevice("温湿度計"), [this] {
          int index = deviceIndex_;
          return library_.binding().FindUSB(&index);
      }) {
    SettingsBinding& s = settings();
    const TempRanges& r = kTempRanges;
    s.bindFlag("TempAutoYScale", &TempAutoYScale, 1);
    s.bindDouble("TempMin", &TempMin, -10.0, r.TempMin);
    s.bindDouble("TempDiv", &TempDiv, 10.0, r.TempDiv);
    s.bindDouble("TempWarnLo", &TempWarnLo, 0.0, r.TempWarnLo);
    s.bindDouble("TempWarnHi", &TempWarnHi, 35.0, r.TempWarnHi);
    s.bindDouble("TempHist", &TempHist, 1.0, r.TempHist);
    s.bindFlag("bTempWarnLo", &bTempWarnLo, 0);
    s.bindFlag("bTempWarnHi", &bTempWarnHi, 0);
    s.bindFlag("HumidAutoYScale", &HumidAutoYScale, 1);
    s.bindDouble("HumidMin", &HumidMin, 0.0, r.HumidMin);
    s.bindDouble("HumidDiv", &HumidDiv, 20.0, r.HumidDiv);
    s.bindDouble("HumidWarnLo", &HumidWarnLo, 20.0, r.HumidWarnLo);
    s.bindDouble("HumidWarnHi", &HumidWarnHi, 80.0, r.HumidWarnHi);
    s.bindDouble("HumidHist", &HumidHist, 5.0, r.HumidHist);
    s.bindFlag("bHumidWarnLo", &bHumidWarnLo, 0);
    s.bindFlag("bHumidWarnHi", &bHumidWarnHi, 0);
    s.bindIndex("PeriodL", &PeriodL, 2, kLongSpanCount);
    s.bindIndex("PeriodS", &PeriodS, 0, kShortSpanCount);

    addAlarm({LimitAlarm::High, kTemp, &bTempWarnHi, &TempWarnHi, &TempHist, kTempHighTexts});
    addAlarm({LimitAlarm::Low, kTemp, &bTempWarnLo, &TempWarnLo, &TempHist, kTempLowTexts});
    addAlarm({LimitAlarm::High, kHumid, &bHumidWarnHi, &HumidWarnHi, &HumidHist, kHumidHighTexts});
    addAlarm({LimitAlarm::Low, kHumid, &bHumidWarnLo, &HumidWarnLo, &HumidHist, kHumidLowTexts});
}

int TemperatureMonitor::CheckDevice() {
    return library_.binding().CountDevices();
}

SensorMonitor::Cycle TemperatureMonitor::Measure() {
    Cycle c;
    if (TypeOfSensor() != TEMP_SENSOR_KELVARO)
        return c;
    double t = 0.0, h = 0.0;
    bool ok = !watch_.path().empty() && library_.GetTempHumidTrue(watch_.path(), &t, &h) == 0;
    if (!ok && watch_.readFailed())
        ok = library_.GetTempHumidTrue(watch_.path(), &t, &h) == 0;
    if (!ok)
        return c;
    watch_.readSucceeded();
    setTitle(strprintf("温度：%5.2f[度] 湿度：%5.2f[%%RH]", t, h));
    m_series.AddRecord(host().clock().now(), t, h);
    c.result = 1;
    c.evaluate = true;
    c.values = {t, h};
    return c;
}

std::string TemperatureMonitor::statusBlock() const {
    const CTempRecordArray& s = m_series;
    const FnSeriesStats temp([&s](int n) { return s.GetTempAve(n); },
                             [&s](int n) { return s.GetTempMin(n); },
                             [&s](int n) { return s.GetTempMax(n); });
    const FnSeriesStats humid([&s](int n) { return s.GetHumidAve(n); },
                              [&s](int n) { return s.GetHumidMin(n); },
                              [&s](int n) { return s.GetHumidMax(n); });
    return TemperatureStatusBlock(temp, humid);
}

}  // namespace orvana::sensors
