// "音量モニタ": the sound monitor window. Binds its controls to a
// VolumeMonitor (the logic, which owns the capture thread), runs the 200-ms
// timer, lays itself out, and gives the mail composer its recording and its
// picture. Owned by the main window while sound monitoring runs. UI thread.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <memory>
#include <string>

#include "core/monitor_host.h"
#include "core/status_text.h"
#include "sound/ui/picture_static.h"
#include "sound/volume_monitor.h"
#include "sound/wave_input.h"

namespace orvana::sound {

class CVolumeDlg : public QDialog, public SoundLevelSource {
    Q_OBJECT

  public:
    // host and inputs must outlive the window.
    CVolumeDlg(MonitorHost& host, WaveInputFactory& inputs, QWidget* parent = nullptr,
               VolumeMonitor::Options options = VolumeMonitor::Options());
    // OnDestroy: stops the timer, saves the settings, then stops the capture
    // thread and closes the device.
    ~CVolumeDlg() override;

    // Placement, settings, capture, controls, timer 10. Call once, before
    // show().
    void OnInitDialog();
    // One tick of timer 10 (also callable by tests): controls to members,
    // metering, every fifth tick the evaluation and a repaint.
    void OnTimer();
    // Controls to members.
    void UpdateData();
    // The threshold slider moved to `position`.
    void OnSliderScroll(int position);
    // "設定...": the settings dialog; its values apply on OK.
    void OnBnClickedButton1();
    // "動的しきい値" clicked.
    void OnBnClickedCheck2() { UpdateData(); }
    // Writes "Volume" (placement first). Also for the end of the session.
    void SaveSettingBeforeClose();
    void OnEndSession() { SaveSettingBeforeClose(); }

    // For mails: "#Vol.jpg" of the client area (not made topmost), and the
    // WAV recording (converted, when asked, by the sender). Each writes its file now and
    // returns its path, also when the file could not be written.
    std::string SaveClientBitmap();
    std::string SaveWave();
    // SoundLevelSource: the periodic notice's average level.
    double TakeAverageLevel(bool* any) override { return monitor_->TakeAverageLevel(any); }

    // Lays the controls out for a client area of w by h.
    void layoutControls(int w, int h);

    VolumeMonitor& monitor() { return *monitor_; }
    QLabel* levelLabel() const { return level_; }
    QLabel* thresholdLabel() const { return threshold_; }
    CPictureStatic* graphControl() const { return graph_; }
    QSlider* slider() const { return slider_; }
    QPushButton* settingsButton() const { return settings_; }
    QCheckBox* notifyBox() const { return notify_; }
    QCheckBox* dynamicBox() const { return dynamic_; }
    // Replaces the settings dialog run (tests): gets the three values, may
    // change them, returns true for OK.
    std::function<bool(int& recSec, int& integTime, int& dynamicThreshold)> runSettingsDialog;

    static constexpr int kTimerId = 10;
    static constexpr int kTimerMs = 200;
    static constexpr int kMinWidth = 320, kMinHeight = 240;

  protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override {}  // Esc does not hide a monitor window

  private:
    MonitorHost& host_;
    std::unique_ptr<VolumeMonitor> monitor_;
    QTimer timer_;
    bool saved_ = false;

    // Children of this dialog; Qt owns them.
    QLabel* level_ = nullptr;          // 1000
    CPictureStatic* graph_ = nullptr;  // 1001
    QSlider* slider_ = nullptr;        // 1002
    QLabel* threshold_ = nullptr;      // 1004
    QPushButton* settings_ = nullptr;  // 1009
    QCheckBox* notify_ = nullptr;      // 1022
    QCheckBox* dynamic_ = nullptr;     // 1023
};

// StartVolumeWindow of the main window. Destroys a running window and clears
// `window`; probes the input (ProbeVolumeInput: 0 when there is none or it
// does not open, with the two lines in the latter case); with start = 1 and
// a positive probe creates the window with `parent`, initialises and shows
// it. Returns the probe's result (1 = the monitor can run). UI thread.
int StartVolumeWindow(int start, MonitorHost& host, WaveInputFactory& inputs,
                      std::unique_ptr<CVolumeDlg>& window, QWidget* parent);

}  // namespace orvana::sound
