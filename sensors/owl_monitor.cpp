#include "sensors/owl_monitor.h"

#include "core/status_text.h"

namespace orvana::sensors {

const SensorKindData kOwlKindData{"Owl", "OWL電力モニタ", ALERT_OWL,         38,
                                  39,    30000,           DataFileKind::Owl, "#Power.jpg"};

namespace {

constexpr AlarmTexts kHighTexts{
    ">>>電力異常発生<<<", "電力異常発生", "\r\n過電力状態を検出しました。\r\n",
    ">>>電力回復<<<",     "電力回復",     "\r\n過電力状態から復帰しました。\r\n"};
constexpr AlarmTexts kLowTexts{
    ">>>電力異常発生<<<", "電力異常発生", "\r\n低電力状態を検出しました。\r\n",
    ">>>電力回復<<<",     "電力回復",     "\r\n低電力状態から復帰しました。\r\n"};

}  // namespace

OwlMonitor::OwlMonitor(MonitorHost& host, VendorDatabase* db)
    : SeriesMonitor(host, kOwlKindData), db_(db) {
    SettingsBinding& s = settings();
    const OwlRanges& r = kOwlRanges;
    s.bindDouble("CostPerKW", &CostPerKW, 25.0, r.CostPerKW);
    s.bindFlag("AutoYScale", &AutoYScale, 1);
    s.bindDouble("Ymin", &Ymin, 0.0, r.Ymin);
    s.bindDouble("Ymax", &Ymax, 4.0, r.Ymax);
    s.bindDouble("Ystep", &Ystep, 1.0, r.Ystep);
    s.bindIndex("PeriodL", &PeriodL, 2, kLongSpanCount);
    s.bindIndex("MaTypeL1", &MaTypeL1, 4, kLongAverageCount);
    s.bindIndex("MaTypeL2", &MaTypeL2, 8, kLongAverageCount);
    s.bindIndex("PeriodR", &PeriodR, 0, kShortSpanCount);
    s.bindIndex("MaTypeR1", &MaTypeR1, 0, kShortAverageCount);
    s.bindIndex("MaTypeR2", &MaTypeR2, 3, kShortAverageCount);
    s.bindIndex("WarnMaType", &WarnMaType, 2, kLongAverageCount);
    s.bindFlag("WarnHiEnable", &WarnHiEnable, 0);
    s.bindFlag("WarnLoEnable", &WarnLoEnable, 0);
    s.bindDouble("WarnLoTh", &WarnLoTh, 3.0, r.WarnLoTh);
    s.bindDouble("WarnHiTh", &WarnHiTh, 0.2, r.WarnHiTh);
    s.bindDouble("WarnHiste", &WarnHiste, 0.2, r.WarnHiste);
    // The axis as the dialog would take it; the graph draws at most
    // kOwlMaxSteps grid lines of any other.
    s.bindRule([this] { return OwlAxisCheck(Ymin, Ymax, Ystep) == OwlAxisFault::None; },
               {"Ymin", "Ymax", "Ystep"});

    addAlarm({LimitAlarm::High, 0, &WarnHiEnable, &WarnHiTh, &WarnHiste, kHighTexts});
    addAlarm({LimitAlarm::Low, 0, &WarnLoEnable, &WarnLoTh, &WarnHiste, kLowTexts});
}

int OwlMonitor::CheckDevice() {
    if (!db_ || !db_->canOpen())
        return 0;
    bDB = true;
    return 1;
}

std::string OwlMonitor::TitleText(double a, int w) {
    if (w == 1)
        return strprintf("電力監視値：%6.3f[kW] (瞬時電力(1分計))", a);
    if (w < 60)
        return strprintf("電力監視値：%6.3f[kW] (%d分間電力)", a, w);
    return strprintf("電力監視値：%6.3f[kW] (%d時間電力)", a, w / 60);
}

double OwlMonitor::EstimatedCost(int s) const {
    if (m_series.empty() || s <= 0)
        return 0.0;
    return CostPerKW * m_series.GetPowerMA(m_series.GetSize() - 1, s) * s / 60.0;
}

std::string OwlMonitor::CostText(int s) const {
    const double cost = EstimatedCost(s);
    if (s < 1440)
        return strprintf("概算電力料金(%d時間):%6.1f[円] ", s / 60, cost);
    return strprintf("概算電力料金(%d日間):%6.1f[円] ", s / 60 / 24, cost);
}

SensorMonitor::Cycle OwlMonitor::Measure() {
    Cycle c;
    if (!bDB || !db_)
        return c;
    const int keep = host().store().getInt(kSection, "DATA_KEEP_PERIOD", 6);
    last_ = db_->readCycle(m_series, keepCutoff(host().clock().now(), keep));
    // A failed query reads as a table without rows; only a database that
    // does not open skips the cycle.
    if (last_.status == OwlCycleResult::Status::NotOpened)
        return c;
    const int w = tableAt(TimeMaM, WarnMaType);
    const bool haveAverage = !m_series.empty();
    const double a = haveAverage ? m_series.GetPowerMA(m_series.GetSize() - 1, w) : 0.0;
    setTitle(TitleText(a, w));
    c.result = 1;
    c.evaluate = haveAverage;
    c.values = {a, 0.0};
    return c;
}

std::string OwlMonitor::statusBlock() const {
    const COwlRecordArray& s = m_series;
    const FnSeriesStats power([&s](int n) { return s.GetPowerAve(n); },
                              [&s](int n) { return s.GetPowerMin(n); },
                              [&s](int n) { return s.GetPowerMax(n); });
    return PowerStatusBlock(power);
}

}  // namespace orvana::sensors
