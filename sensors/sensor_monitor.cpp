#include "sensors/sensor_monitor.h"

#include <algorithm>

#include "core/checked_settings.h"

namespace orvana::sensors {

int LimitAlarm::evaluate(double v) {
    const double lim = *limit;
    const double hist = *hysteresis;
    if (direction == High) {
        if (!state && v > lim) {
            state = true;
            return 1;
        }
        if (state && v < lim - hist) {
            state = false;
            return -1;
        }
    } else {
        if (!state && v < lim) {
            state = true;
            return 1;
        }
        if (state && v > lim + hist) {
            state = false;
            return -1;
        }
    }
    return 0;
}

SensorTimers::SensorTimers(int measureId, int measureMs, int saveId, int saveMs)
    : timers_{{{measureId, measureMs, 0}, {saveId, saveMs, 0}}} {}

void SensorTimers::start(std::int64_t nowMs) {
    for (Timer& t : timers_)
        t.dueMs = nowMs + t.periodMs;
    running_ = true;
}

std::int64_t SensorTimers::msUntilNext(std::int64_t nowMs) const {
    if (!running_)
        return -1;
    std::int64_t next = timers_[0].dueMs;
    for (const Timer& t : timers_)
        next = std::min(next, t.dueMs);
    return std::max<std::int64_t>(0, next - nowMs);
}

int SensorTimers::due(std::int64_t nowMs) const {
    if (!running_)
        return 0;
    for (const Timer& t : timers_)
        if (t.dueMs <= nowMs)
            return t.id;
    return 0;
}

void SensorTimers::restart(int id, std::int64_t nowMs) {
    for (Timer& t : timers_)
        if (t.id == id)
            t.dueMs = nowMs + t.periodMs;
}

SensorMonitor::SensorMonitor(MonitorHost& host, const SensorKindData& kindData)
    : host_(host),
      kindData_(kindData),
      files_(host.store(), host.clock(), host.prompt()),
      timers_(kindData.measureTimerId, kindData.measurePeriodMs, kindData.saveTimerId,
              kSaveTimerMs),
      m_title(kindData.caption) {
    settings_.bindFlag("mNotify", &mNotify, 0);
}

void SensorMonitor::LoadSettings() {
    placement_ = LoadPlacement(host_.store(), kindData_.section);
    // A hand-edited or damaged section: what lies outside a key's meaning
    // takes its default, and the list says once which keys those were.
    if (const std::string line = ResetKeysLine(settings_.load(host_.store(), kindData_.section));
        !line.empty())
        host_.Report(line, 2);
}

void SensorMonitor::Open() {
    FindDevice();
    LoadDataFile();
    DoMeasure();
    timers_.start(host_.clock().nowMs());
}

int SensorMonitor::DoMeasure() {
    if (hooks_.updateData)
        hooks_.updateData();
    const Cycle c = Measure();
    if (c.result == 0 || !c.evaluate || !mNotify)
        return c.result;
    for (LimitAlarm& a : alarms_) {
        if (!*a.enabled)
            continue;
        const int change = a.evaluate(c.values[static_cast<std::size_t>(a.quantity)]);
        if (change != 0)
            notify(a, change);
    }
    return c.result;
}

void SensorMonitor::notify(const LimitAlarm& a, int change) {
    if (change > 0) {
        host_.Report(kSeparator, 0);
        host_.Report(a.texts.onsetLine, 2);
        host_.RegistMail(kindData_.alertMode, a.texts.onsetSubject,
                         std::string(a.texts.onsetBody) + m_title, 2);
    } else {
        host_.Report(a.texts.recoveryLine, 2);
        host_.Report(kSeparator, 0);
        host_.RegistMail(kindData_.alertMode, a.texts.recoverySubject,
                         std::string(a.texts.recoveryBody) + m_title, 2);
    }
}

int SensorMonitor::RunDueTimers() {
    int runs = 0;
    // Each timer at most once per call: a timer restarted by its own run is
    // due again only a period later.
    std::array<bool, 2> ran{};
    for (;;) {
        const int id = timers_.due(host_.clock().nowMs());
        if (id == 0)
            break;
        const std::size_t slot = id == kindData_.measureTimerId ? 0 : 1;
        if (ran[slot])
            break;
        ran[slot] = true;
        OnTimer(id);
        ++runs;
    }
    return runs;
}

void SensorMonitor::OnTimer(int id) {
    DoMeasure();
    if (id == kindData_.saveTimerId)
        SaveSettingBeforeClose();
    timers_.restart(id, host_.clock().nowMs());
}

std::int64_t SensorMonitor::msUntilNextTimer() const {
    return timers_.msUntilNext(host_.clock().nowMs());
}

void SensorMonitor::SaveSettingBeforeClose() {
    if (hooks_.updateData)
        hooks_.updateData();
    if (hooks_.placement)
        placement_ = hooks_.placement();
    SettingsStore& st = host_.store();
    SavePlacement(st, kindData_.section, placement_);
    settings_.save(st, kindData_.section);
    st.sync();
    SaveDataFile();
}

std::string SensorMonitor::GetDataFilePath() const {
    return files_.GetDataFilePath(kindData_.dataFile);
}

}  // namespace orvana::sensors
