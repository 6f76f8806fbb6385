// The sensor monitor windows: one thin window class on the shared skeleton,
// and the three kinds' windows CTemperatureDlg ("温度・湿度モニタ"),
// CGeigerDlg ("放射線モニター") and COwlDlg ("OWL電力モニタ"). A window binds
// the "異常を通知" box to its monitor's mNotify, runs the monitor's timers on
// a Qt timer, shows the monitor's title, lays out its controls, places
// itself, and gives the mail composer a picture of itself. The two graph
// frames are drawn by the trend graphs; "設定..." opens the kind's settings
// dialog through EditSettings.
//
// Owned by its registry kind while the monitor runs. UI thread only.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <map>
#include <memory>
#include <string>

#include "core/monitor_host.h"
#include "sensors/geiger_monitor.h"
#include "sensors/owl_monitor.h"
#include "sensors/sensor_layout.h"
#include "sensors/sensor_monitor.h"
#include "sensors/temperature_monitor.h"
#include "sensors/ui/dlg_sensor_setting.h"

class QPainter;

namespace orvana::sensors {

class CSensorDlg : public QDialog {
    Q_OBJECT

  public:
    // Takes the monitor (already constructed and probed). host outlives the
    // window.
    CSensorDlg(MonitorHost& host, std::unique_ptr<SensorMonitor> monitor, SensorLayoutKind layout,
               QWidget* parent);
    // OnDestroy: both timers stop, then SaveSettingBeforeClose (only for a
    // window that was initialised).
    ~CSensorDlg() override;

    // Placement from the section, the settings, the check box, the layout,
    // then the monitor's device search, data file, first measurement and
    // timers. Call once, before show().
    void OnInitDialog();
    // The Qt timer fired (also callable by tests after moving the clock):
    // every due monitor timer runs once, the title follows, the window is
    // repainted, and the Qt timer is set for the next due time.
    void OnTimer();
    // Controls to members: the check box into mNotify.
    void UpdateData();
    // "設定...": EditSettings; on OK the window is repainted with erasing.
    void OnBnClickedButton1();
    // Writes the section (placement first) and the data file.
    void SaveSettingBeforeClose();
    // The session ends: the same.
    void OnEndSession() { SaveSettingBeforeClose(); }

    // For mails: a JPEG of the client area, named from the local time and
    // the kind's suffix, written into the data folder now; the window is
    // kept on top. Returns the path, also when the file could not be written.
    std::string SaveClientBitmap();

    // Lays the controls out for a client area of cx by cy.
    void layoutControls(int cx, int cy);

    SensorMonitor& monitor() { return *monitor_; }
    const SensorMonitor& monitor() const { return *monitor_; }
    QCheckBox* notifyBox() const { return notify_; }
    QPushButton* settingsButton() const { return settings_; }
    QFrame* graphLong() const { return graphLong_; }
    QFrame* graphShort() const { return graphShort_; }
    // A label control by id (axis, span and unit labels); null when this
    // window has none of that id.
    QLabel* label(int id) const;
    bool initialised() const { return initialised_; }
    // Times the "設定..." dialog was confirmed (a repaint followed).
    int settingsApplied() const { return settingsApplied_; }

    // ---- trend graphs and settings dialogs (sensors/ui/trend_graph_binding.cpp) ----
    // How the settings dialog is run: exec() in the program; tests put a
    // function here that works the dialog's controls and returns its result.
    SettingsDialogRunner runDialog = execSettingsDialog;

  protected:
    // The kind's settings dialog: filled from the monitor, run modally, its
    // values copied back on OK. Returns true on OK. Each kind fills this
    // in (trend_graph_binding.cpp).
    virtual bool EditSettings() { return false; }
    // After a confirmed settings dialog (the power window measures at once).
    virtual void OnSettingsApplied() {}

    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // Both graphs, off screen, then copied onto the frames.
    void paintEvent(QPaintEvent* e) override;
    // The kind's graphs and axis texts (OnPaint / DrawGraphAll).
    virtual void DrawGraphAll(QPainter& p) { (void)p; }
    void reject() override {}  // Esc does not hide a monitor window

    MonitorHost& host_;

  private:
    void armTimer();

    std::unique_ptr<SensorMonitor> monitor_;
    SensorLayoutKind layout_;
    QTimer timer_;
    bool initialised_ = false;
    int settingsApplied_ = 0;

    // Children of this dialog; Qt owns them.
    QCheckBox* notify_ = nullptr;      // 1022
    QPushButton* settings_ = nullptr;  // 1009
    QFrame* graphLong_ = nullptr;      // 1062
    QFrame* graphShort_ = nullptr;     // 1046
    std::map<int, QLabel*> labels_;
};

class CTemperatureDlg final : public CSensorDlg {
    Q_OBJECT
  public:
    CTemperatureDlg(MonitorHost& host, std::unique_ptr<TemperatureMonitor> monitor,
                    QWidget* parent = nullptr);
    TemperatureMonitor& temperature() { return static_cast<TemperatureMonitor&>(monitor()); }

  protected:
    bool EditSettings() override;             // trend_graph_binding.cpp
    void DrawGraphAll(QPainter& p) override;  // trend_graph_binding.cpp
};

class CGeigerDlg final : public CSensorDlg {
    Q_OBJECT
  public:
    CGeigerDlg(MonitorHost& host, std::unique_ptr<GeigerMonitor> monitor,
               QWidget* parent = nullptr);
    GeigerMonitor& geiger() { return static_cast<GeigerMonitor&>(monitor()); }

  protected:
    bool EditSettings() override;             // trend_graph_binding.cpp
    void DrawGraphAll(QPainter& p) override;  // trend_graph_binding.cpp
};

class COwlDlg final : public CSensorDlg {
    Q_OBJECT
  public:
    COwlDlg(MonitorHost& host, std::unique_ptr<OwlMonitor> monitor, QWidget* parent = nullptr);
    OwlMonitor& owl() { return static_cast<OwlMonitor&>(monitor()); }

  protected:
    // The title follows a new averaging window at once.
    void OnSettingsApplied() override { monitor().DoMeasure(); }
    bool EditSettings() override;             // trend_graph_binding.cpp
    void DrawGraphAll(QPainter& p) override;  // trend_graph_binding.cpp
};

}  // namespace orvana::sensors
