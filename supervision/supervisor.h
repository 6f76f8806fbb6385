// The supervision timer's work, free of widgets: power watch, battery
// shutdown, periodic notice, periodic reboot and KeepAlive, and the steps
// run when the system ends the session, sleeps or resumes. The main window
// owns one Supervisor and calls it from its 200 ms timer.
#pragma once

#include <functional>
#include <string>

#include "core/alert_mode.h"
#include "core/app_settings.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "core/status_text.h"
#include "supervision/power_status.h"
#include "supervision/schedule.h"
#include "supervision/shutdown_control.h"

namespace orvana {

// What the supervisor needs of the main window. Every call comes on the UI
// thread.
class SupervisorHost {
  public:
    virtual ~SupervisorHost() = default;
    // The event report (see EventLog::Report).
    virtual void Report(const std::string& text, int stampMode, int extra = 0) = 0;
    // Composes and queues one notice; the result is not used here.
    virtual int RegistMail(ALERT_MODE kind, const std::string& title, const std::string& text,
                           int timeFormat) = 0;
    // Blocks until the mail queue is empty or about ten seconds have passed
    // (the waits before a shutdown or reboot).
    virtual void WaitAllMailSend() = 0;
    // Calls `then` on the UI thread once the mail queue is empty or about
    // ten seconds have passed, without holding the UI thread meanwhile.
    virtual void WhenMailSent(std::function<void()> then) = 0;
    // Reads the main window's check boxes into the settings.
    virtual void UpdateData() = 0;
    virtual const AppSettings& settings() const = 0;
    // The store the "REBOOT" marker goes to.
    virtual SettingsStore& store() = 0;
    // Turns the event report off (the session is ending) or on again.
    virtual void setReportingEnabled(bool on) = 0;
    // Saves settings and window placement.
    virtual void SaveSettingBeforeClose() = 0;
    // The running monitors' blocks of the periodic notice (BuildStatusText);
    // empty when nothing runs.
    virtual std::string StatusText() = 0;
};

// What the supervision timer remembers between ticks.
struct SupervisionState {
    int tickCount = 0;
    int rebootPending = 0;
    int prevMains = -1;  // -1 unknown, 1 on AC, 0 not on AC
    int batteryShutdownDone = 0;
    TimeT keepAliveRef = 0;  // start-up + 60 s, again after settings OK
};

class Supervisor {
  public:
    // Keeps references to all arguments; they must outlive the supervisor.
    // The KeepAlive reference starts at now + 60 s.
    Supervisor(SupervisorHost& host, Clock& clock, PowerSource& power, ShutdownControl& shutdown);

    // One tick, steps 2 to 8: read the controls, count the tick, read the
    // power status, power watch, the three schedules on every fifth tick,
    // the pending reboot. Stopping the timer before and starting it again
    // after is the caller's part. UI thread.
    void OnTimer();

    // The KeepAlive reference time becomes now + 60 s (start-up, and again
    // when the settings dialog is confirmed).
    void resetKeepAliveReference();

    // The schedules with their records. 1 when due.
    int CheckTimeTK(TimeT ref, int hourTK);
    int CheckTimeKA(TimeT ref, int hourKA);
    int CheckTimeRB(TimeT ref, int weekRB);

    // The system asks whether it may end the session. Runs the notices
    // (unless the program's own reboot is under way) and returns true: the
    // program always agrees.
    bool OnQueryEndSession();
    // The system ends the session (or cancelled ending it): saves settings.
    void OnEndSession(bool ending);
    // The machine goes to sleep / has woken up: queues the notice.
    void OnSuspend();
    void OnResume();

    // Reads the power status now without acting on it (start-up: is there
    // a system battery at all?).
    const PowerStatus& readPower() { return lastPower_ = power_.read(); }
    // The state between ticks. UI thread.
    const SupervisionState& state() const { return vars_; }
    // A periodic reboot is waiting to be carried out (UI thread).
    bool rebootPending() const { return vars_.rebootPending == 1; }

    // The last power status read by OnTimer or readPower.
    const PowerStatus& lastPower() const { return lastPower_; }

    static constexpr const char* kSeparator = "---------------------------------------";

  private:
    void powerWatch(const PowerStatus& ps);
    void schedules();
    void writeRebootMarker(int value);

    SupervisorHost& host_;
    Clock& clock_;
    PowerSource& power_;
    ShutdownControl& shutdown_;
    SupervisionState vars_;
    SchedulerRecord recTK_, recRB_, recKA_;
    PowerStatus lastPower_;
};

}  // namespace orvana
