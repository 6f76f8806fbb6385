// The skeleton the three sensor monitors share, without widgets: the
// settings section (placement, "mNotify" and the kind's keys in their
// writing order), the measurement timer (10 s or 30 s) and the five-minute
// save timer, the frame of DoMeasure, limit alarms with strict comparisons
// and hysteresis, the order of the event lines and mails of an alarm, and
// the data file loaded at opening and saved at closing and every five
// minutes. A kind (TemperatureMonitor, GeigerMonitor, OwlMonitor) adds its
// series, its keys, its alarms and its reading; the windows bind controls
// to it and call OnTimer when a timer is due.
//
// Time: the timers are kept on the host's Clock (core/clock.h), so tests run
// them in virtual time: advance the clock and call RunDueTimers.
//
// Threads: UI thread only. The host outlives the monitor.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/alert_mode.h"
#include "core/app_settings.h"
#include "core/monitor_host.h"
#include "sensors/data_file.h"
#include "sensors/sensor_settings.h"

namespace orvana::sensors {

// The separator line that frames each alarm episode in the event list.
inline constexpr const char* kSeparator = "---------------------------------------";

// The save timer's period: settings and data file every five minutes.
inline constexpr int kSaveTimerMs = 300000;

// What a kind is: fixed data, no behaviour.
struct SensorKindData {
    const char* section;         // settings section, e.g. "Temperature"
    const char* caption;         // window caption until the first reading
    ALERT_MODE alertMode;        // kind of its alarm notices
    int measureTimerId;          // 15, 26, 38
    int saveTimerId;             // 16, 27, 39
    int measurePeriodMs;         // 10000 or 30000
    DataFileKind dataFile;       // which CSV file keeps its series
    const char* snapshotSuffix;  // "#temp.jpg", "#geiger.jpg", "#Power.jpg"
};

// The texts of one alarm: list line, mail subject, start of the mail body,
// for the onset and for the recovery.
struct AlarmTexts {
    const char* onsetLine;
    const char* onsetSubject;
    const char* onsetBody;
    const char* recoveryLine;
    const char* recoverySubject;
    const char* recoveryBody;
};

// One limit alarm over one measured quantity. A high alarm starts when the
// value rises strictly above the limit and ends when it falls strictly below
// limit - hysteresis; a low alarm mirrors it. The switch, limit and
// hysteresis are members of the kind, read at every evaluation, so a change
// acts from the next measurement on. The state starts off and is never
// stored.
struct LimitAlarm {
    enum Direction { High, Low };
    Direction direction;
    int quantity;        // index into the cycle's values
    const int* enabled;  // non-zero: evaluated
    const double* limit;
    const double* hysteresis;
    AlarmTexts texts;
    bool state = false;

    // +1 when v starts the alarm, -1 when it ends it, 0 otherwise. Changes
    // the state; does not look at `enabled`.
    int evaluate(double v);
};

// The two window timers of a monitor, on the clock. A handler stops its
// timer on entry and starts it again on exit, so a due time is always one
// period after the end of the previous run: slow work delays the next tick
// instead of queueing ticks.
class SensorTimers {
  public:
    SensorTimers(int measureId, int measureMs, int saveId, int saveMs);
    // Starts both at nowMs.
    void start(std::int64_t nowMs);
    void stop() { running_ = false; }
    bool running() const { return running_; }
    // Milliseconds until the next due timer (0 when one is due); -1 when
    // stopped.
    std::int64_t msUntilNext(std::int64_t nowMs) const;
    // The id of a due timer (the measurement timer first), or 0.
    int due(std::int64_t nowMs) const;
    // The timer `id` ran until nowMs: next due one period later.
    void restart(int id, std::int64_t nowMs);

  private:
    struct Timer {
        int id;
        int periodMs;
        std::int64_t dueMs;
    };
    std::array<Timer, 2> timers_;
    bool running_ = false;
};

class SensorMonitor {
  public:
    // What the window provides; either may stay null (headless use):
    // updateData copies the controls into the members (the "異常を通知" box
    // into mNotify); placement gives the window's normal rectangle.
    struct Hooks {
        std::function<void()> updateData;
        std::function<Placement()> placement;
    };

    SensorMonitor(MonitorHost& host, const SensorKindData& kindData);
    virtual ~SensorMonitor() = default;
    SensorMonitor(const SensorMonitor&) = delete;
    SensorMonitor& operator=(const SensorMonitor&) = delete;

    const SensorKindData& kindData() const { return kindData_; }
    Hooks& hooks() { return hooks_; }

    // The number of devices or data sources present; the main window opens
    // the monitor only when this is above 0.
    virtual int CheckDevice() = 0;

    // Opening, first half: the placement and every key of the section, each
    // against its meaning (SettingsBinding); the keys that were reset to
    // their defaults are reported once, in one line (ResetKeysLine).
    void LoadSettings();
    // Opening, second half, once the window has set its check box: the
    // device search, the data file, one DoMeasure, and both timers started.
    void Open();
    // Stops both timers.
    void Close() { timers_.stop(); }

    // One measurement cycle: the controls are read, the kind reads and
    // records (and sets the title), then, with "異常を通知" on, the alarms
    // whose switch is on are evaluated in order. Returns 1 when the kind's
    // cycle counts as done (a sample taken, a minute record added, the
    // database read), else 0.
    int DoMeasure();

    // Runs every timer that is due on the clock (each once): DoMeasure, and
    // for the save timer SaveSettingBeforeClose too. Returns the number of
    // timer runs (the window repaints when above 0).
    int RunDueTimers();
    // One run of timer `id` (measurement or save), as the window's timer
    // handler.
    void OnTimer(int id);
    // Milliseconds until a timer is due; -1 before Open or after Close.
    std::int64_t msUntilNextTimer() const;

    // Reads the controls, writes the placement and every key in order, then
    // the data file.
    void SaveSettingBeforeClose();
    // The session ends: the same.
    void OnEndSession() { SaveSettingBeforeClose(); }

    // The window title: the caption until the first good reading, then the
    // kind's status text. A failed cycle keeps the last text.
    const std::string& title() const { return m_title; }
    // The data file's path ("Setting"/"DATA_DIR" + the file name).
    std::string GetDataFilePath() const;
    virtual void LoadDataFile() = 0;
    virtual void SaveDataFile() = 0;
    // Its block of the periodic notice, from the live series.
    virtual std::string statusBlock() const = 0;

    const std::vector<LimitAlarm>& alarms() const { return alarms_; }
    std::vector<LimitAlarm>& alarms() { return alarms_; }
    // The keys of the section in writing order, after the placement.
    std::vector<std::string> settingKeys() const { return settings_.keys(); }

    // "異常を通知": evaluate the alarms and send notices.
    int mNotify = 0;

  protected:
    // What one cycle of a kind gave.
    struct Cycle {
        int result = 0;                  // DoMeasure's result
        bool evaluate = false;           // alarms may be evaluated
        std::array<double, 2> values{};  // by LimitAlarm::quantity
    };
    // The kind's reading and recording; sets m_title on success.
    virtual Cycle Measure() = 0;
    // The kind's device search at opening (nothing for the power monitor).
    virtual void FindDevice() {}

    SettingsBinding& settings() { return settings_; }
    void addAlarm(LimitAlarm alarm) { alarms_.push_back(alarm); }
    SensorDataFiles& files() { return files_; }
    const SensorDataFiles& files() const { return files_; }
    MonitorHost& host() { return host_; }
    const MonitorHost& host() const { return host_; }
    void setTitle(std::string t) { m_title = std::move(t); }

  private:
    void notify(const LimitAlarm& alarm, int change);

    MonitorHost& host_;
    const SensorKindData& kindData_;
    Hooks hooks_;
    SettingsBinding settings_;
    std::vector<LimitAlarm> alarms_;
    SensorDataFiles files_;
    SensorTimers timers_;
    Placement placement_;
    std::string m_title;
};

// A kind with its series type: the data file is loaded into and saved from
// m_series.
template <class Series>
class SeriesMonitor : public SensorMonitor {
  public:
    using SensorMonitor::SensorMonitor;
    void LoadDataFile() override { files().LoadDataFile(m_series); }
    void SaveDataFile() override { files().SaveDataFile(m_series); }
    const Series& series() const { return m_series; }
    Series& series() { return m_series; }

  protected:
    Series m_series;
};

// An index into a table, clamped to it, so a hand-edited store never reads
// past the end.
template <class Table>
int tableAt(const Table& table, int index) {
    if (index < 0)
        index = 0;
    if (index >= static_cast<int>(table.size()))
        index = static_cast<int>(table.size()) - 1;
    return table[static_cast<std::size_t>(index)];
}

}  // namespace orvana::sensors
