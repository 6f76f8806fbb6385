// The main window: hub of the program. Loads the settings, writes the event
// list and daily log, probes and starts the monitor kinds of its registry,
// owns the worker threads (mail sender, housekeeping), and is the
// MonitorHost every monitor reports to.
//
// Threads: every member is for the UI thread, except Report (any thread;
// the list line arrives through the event loop) and the lineReported signal.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/services.h"
#include "core/app_settings.h"
#include "core/event_log.h"
#include "core/monitor_host.h"
#include "core/monitor_registry.h"
#include "mail/mail_host.h"
#include "mail/ui/dialog_runner.h"
#include "widgets/stall_meter.h"

namespace orvana {

class CleanUpThread;
class FileTimes;
class SessionGuard;
class SessionWatch;
class Supervisor;
class SupervisorHost;
class MailQueue;
class MailSender;
class WanAddress;

class CTarnwickDlg : public QDialog, public MonitorHost, public MailHost {
    Q_OBJECT

  public:
    // Takes the facilities and registers the monitor kinds; nothing starts
    // before OnInitDialog. Throws std::invalid_argument naming a required
    // facility that is missing.
    explicit CTarnwickDlg(Services services, QWidget* parent = nullptr);
    ~CTarnwickDlg() override;

    // The start-up sequence: placement, settings, banner and summary,
    // restart notices, probes, monitors, timer, worker threads. Call once,
    // before show(). UI thread.
    void OnInitDialog();

    // MonitorHost
    void Report(const std::string& text, int stampMode, int extra = 0) override;
    int RegistMail(ALERT_MODE kind, const std::string& title, const std::string& text,
                   int timeFormat) override;
    const AppSettings& settings() const override { return m_settings; }
    SettingsStore& store() override { return *services_.store; }
    Clock& clock() override { return *services_.clock; }
    Prompt& prompt() override { return *prompt_; }
    bool headless() const override { return services_.headless; }

    // The banner, then the usage guide or the "設定情報:" block.
    void ReportSetting();
    // One short line per box (running, no device, or switched off) and one
    // for mail (on and where it goes, or off), for a person at a console.
    // After OnInitDialog. UI thread.
    std::vector<std::string> Overview() const;
    // Writes "Setting" and the recipients.
    void SaveSetting();
    // Reads the placement, SaveSetting, writes "Placement", then every
    // running monitor writes its own section.
    void SaveSettingBeforeClose();
    // The session ends: as SaveSettingBeforeClose, with every running
    // monitor's end-of-session step (sections and data files).
    void OnEndSession();
    // Copies the check boxes into the settings members.
    void UpdateData();

    // A desktop picture for mails ("#win.jpg"); returns its path.
    std::string SaveDesktopBitmap();

    // Monitor probes and starts through the registry: 1 = the monitor can
    // run, 0 = it cannot or this build has no such kind. start = 0 only
    // probes; start = 1 also opens the window(s).
    int StartMonitor(MonitorSwitch box, int start);
    int StartVolumeWindow(int start) { return StartMonitor(MonitorSwitch::Sound, start); }
    int StartCameraWindow(int start) { return StartMonitor(MonitorSwitch::Camera, start); }
    int StartTemperatureWindow(int start) {
        return StartMonitor(MonitorSwitch::Temperature, start);
    }
    int StartGeigerWindow(int start) { return StartMonitor(MonitorSwitch::Geiger, start); }
    int StartOwlWindow(int start) { return StartMonitor(MonitorSwitch::Owl, start); }
    // The monitor kinds, in start order.
    MonitorRegistry& monitors() override { return monitors_; }

    // Lays the controls out for a client area of cx by cy.
    void layoutControls(int cx, int cy);

    // Ends the program as "終了" does: reporting off, dialog ended.
    void OnBnClickedOk();
    // The system ends the session (SIGTERM): the end-of-session notices,
    // then the program ends. UI thread.
    void OnSystemTerminate();

    // Timer 1 (200 ms): stopped on entry, the supervision tick, started
    // again on exit. UI thread.
    void OnTimer();
    // The settings dialog was confirmed: KeepAlive is anchored at now + 60 s
    // again and housekeeping takes the new data folder and keep period.
    // UI thread.
    void OnSupervisionSettingsChanged();
    // Blocks until the mail queue is empty or about ten seconds passed (the
    // documented waits before a shutdown or reboot). UI thread.
    void WaitAllMailSend();
    // Calls `then` once the queue is empty or about ten seconds passed,
    // without holding the UI thread. UI thread.
    void WhenMailSent(std::function<void()> then);
    // The longest time the UI thread was held, outside the documented waits.
    std::chrono::milliseconds longestStall() const { return stallMeter_->longest(); }
    // How long OnInitDialog held the UI thread (before the stall meter
    // starts); 0 before it ran.
    std::chrono::milliseconds startUpTime() const { return startUpTime_; }
    // The supervision parts; null before OnInitDialog.
    Supervisor* supervisor() const { return supervisor_.get(); }
    SessionGuard* sessionGuard() const { return sessionGuard_.get(); }
    CleanUpThread* cleanUpThread() const { return cleanUp_.get(); }
    QTimer* timer1() const { return timer1_; }
    // MailHost: the WAN address (empty when the page could not be fetched).
    std::string GetIpAddress() override;
    // Recipients of a notice kind, "a,b" (duplicates kept). UI thread.
    std::string GetTo(ALERT_MODE kind) const;
    // The settings dialog was confirmed: the sender takes the new account
    // settings and is started again if none runs and the account is usable.
    // UI thread.
    void OnMailSettingsChanged();
    // "設定...": the global settings dialog on a copy of the settings; OK
    // applies the copy (timer and sender paused, settings saved, summary
    // rewritten), Cancel changes nothing. UI thread.
    void OnBnClickedSetting();
    // "メール連絡...": the broadcast dialog; "送信" queues one ALERT_RQ
    // notice to the ticked recipients. UI thread.
    void OnBnClickedTestmail();
    // Runs the two dialogs above; tests replace it so nothing waits modally.
    DialogRunner runDialog = execDialog;
    // The mail queue and its sender; never null after construction.
    MailQueue& mailQueue() { return *mailQueue_; }
    MailSender& mailSender() { return *mailSender_; }

    EventLog& eventLog() { return log_; }
    AppSettings& mutableSettings() { return m_settings; }
    QListWidget* eventList() const { return list_; }
    QCheckBox* workingBox() const { return working_; }
    QPushButton* broadcastButton() const { return broadcast_; }
    QGroupBox* monitorGroup() const { return group_; }
    // 0 音量, 1 動体, 2 停電, 3 温湿度, 4 放射線, 5 電力 (kMonitorSwitches)
    QCheckBox* monitorBox(int k) const { return monitorBoxes_[static_cast<std::size_t>(k)]; }
    QCheckBox* monitorBox(MonitorSwitch box) const { return monitorBox(static_cast<int>(box)); }
    QPushButton* settingsButton() const { return settingsButton_; }
    QPushButton* manualButton() const { return manual_; }
    QPushButton* exitButton() const { return exit_; }
    // The about box texts, also offered from the context menu.
    void showAbout();

    // Longest event-list line shown whole (characters).
    static constexpr int kListLineMax = 1000;

    // Minimum and maximum window size.
    static constexpr int kMinWidth = 320, kMinHeight = 480, kMaxWidth = 2560, kMaxHeight = 1920;

  signals:
    // Carries a line reported on any thread to the list on the UI thread.
    void lineReported(const QString& line);

  protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

  private:
    void appendListLine(const QString& line);
    void updateBroadcastButton();
    void OnBnClickedWorking();
    void OnBnClickedManual();
    void onMonitorBoxClicked(int k);
    void restartNotices();
    // Says (once per folder) when the data folder cannot be written.
    void checkDataFolder();

    Services services_;
    std::unique_ptr<Prompt> prompt_;
    EventLog log_;
    AppSettings m_settings;

    // Widgets are children of this dialog; Qt owns them.
    QCheckBox* working_ = nullptr;
    QPushButton* broadcast_ = nullptr;
    QGroupBox* group_ = nullptr;
    std::array<QCheckBox*, 6> monitorBoxes_{};
    QListWidget* list_ = nullptr;
    QPushButton* settingsButton_ = nullptr;
    QPushButton* manual_ = nullptr;
    QPushButton* exit_ = nullptr;
    bool controlsReady_ = false;

    // Supervision timer, session end and housekeeping.
    void startSupervision();
    QTimer* timer1_ = nullptr;  // child of the dialog
    std::unique_ptr<SupervisorHost> supervisorHost_;
    std::unique_ptr<Supervisor> supervisor_;
    std::unique_ptr<SessionGuard> sessionGuard_;
    std::unique_ptr<SessionWatch> sessionWatch_;
    std::unique_ptr<FileTimes> fileTimes_;
    std::unique_ptr<CleanUpThread> cleanUp_;

    // Mail: the queue, its sender (declared after the queue, so it goes
    // first) and the WAN page.
    std::unique_ptr<MailQueue> mailQueue_;
    std::unique_ptr<MailSender> mailSender_;
    std::unique_ptr<WanAddress> wan_;

    std::string uncheckedFolder_;       // the unwritable data folder last reported
    StallMeter* stallMeter_ = nullptr;  // child of the dialog
    std::chrono::milliseconds startUpTime_{0};

    // The monitor kinds (declared last, so their windows go first) and the
    // pieces of this window's dialogs that they provide.
    WindowHooks hooks_;
    MonitorRegistry monitors_;
    int m_batteryPresent = 1;
};

}  // namespace orvana
