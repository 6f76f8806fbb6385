// The sound monitor without its window: settings of section "Volume", the
// capture, the 200-ms metering tick, the once-a-second evaluation with the
// fixed and dynamic thresholds, the alarm and notice states, the level
// accumulator of the periodic notice, the graph's data and the recording
// (its 3GP conversion is the mail sender's, see recording_converter.h).
// The window (CVolumeDlg) binds controls to the
// public members and calls OnTimer every 200 ms. UI thread, except where a
// function says otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/app_settings.h"
#include "core/monitor_host.h"
#include "core/status_text.h"
#include "sound/level_graph.h"
#include "sound/level_meter.h"
#include "sound/wave_capture.h"
#include "sound/wave_input.h"

namespace orvana::sound {

inline constexpr const char* kVolumeSection = "Volume";
inline constexpr const char* kSeparator = "---------------------------------------";

// Threshold in dB of a slider position 0..1000 (0 = +6 dB, 1000 = -36 dB).
double thresholdDb(int sliderPos);

// The duration line of an end notice for D seconds.
std::string durationText(std::int64_t seconds);

struct AlarmSignal {
    bool start = false;
    bool end = false;
};

class VolumeMonitor : public SoundLevelSource {
  public:
    struct Options {
        // Tests drive CycleSegment themselves.
        bool startCaptureThread = true;
    };

    // host: reports, mails, settings, clock, prompts. inputs: where the
    // device comes from. Both must outlive the monitor.
    VolumeMonitor(MonitorHost& host, WaveInputFactory& inputs, Options options);
    VolumeMonitor(MonitorHost& host, WaveInputFactory& inputs)
        : VolumeMonitor(host, inputs, Options()) {}
    // Close().
    ~VolumeMonitor() override;

    // Reads the "Volume" keys (not the placement: that is the window's).
    // Out-of-range values written by hand are clamped (see docs/sound.md).
    void LoadSettings();
    // Writes placement and keys in their documented order.
    void SaveSettings(const Placement& placement);

    // Opens the capture, pre-fills the short history with -36 dB, sets the
    // threshold text and the tick count. Returns false when the device did
    // not open (reported; the monitor still runs, without capture).
    bool Open();
    // Stops the capture thread and closes the device. Idempotent.
    void Close();

    // One 200-ms tick, after the window has read its controls into the
    // members: the metering step and, every fifth tick, Evaluate. Returns
    // true when the evaluation ran (the window then repaints).
    bool OnTimer();
    // The once-a-second evaluation. Returns what it signalled.
    AlarmSignal Evaluate();

    // Slider moved: m_thresholdPos and the threshold text.
    void OnSliderScroll(int position);
    // The settings dialog's OK: the three values take effect at once (the
    // buffer size follows REC_SEC only at the next opening).
    void ApplyDialogValues(int recSec, int integTime, int dynamicThreshold);

    // The recording for a mail: writes the WAV file into the data folder and
    // returns its path (also when nothing could be written). With
    // "CONV_3GP" on, the composer marks the mail and the sender converts the
    // file before it sends (RecordingConverter), so the UI thread never
    // waits for the converter.
    std::string SaveWave();
    // Writes the recording snapshot to `path`. Always 1.
    int MakeWaveFile(const std::string& path);

    // SoundLevelSource
    double TakeAverageLevel(bool* any) override;

    WaveCapture& capture() { return *capture_; }
    VolumeLevels& levels() { return levels_; }
    LevelGraph& graph() { return m_graph; }
    int recSec() const { return m_recSec; }

    // Members bound to the controls (read by the window every tick).
    int m_thresholdPos = 142;     // "THRESHOLD"
    int m_useDynamic = 0;         // "B_DYNAMIC_VOL_THRESHOLD"
    int m_dynamicThreshold = 10;  // "DYNAMIC_VOL_THRESHOLD"
    int m_enableNotify = 0;       // "ENABLE_NOTIFY"
    std::string m_levelText;
    std::string m_thresholdText;

    // State.
    double m_curLevel = kSilenceDb;
    int m_tick = 0;
    int m_fixedAlarm = 0;
    int m_dynamicAlarm = 0;
    int m_alarmNotified = 0;
    TimeT m_alarmStart = 0;
    double m_alarmSum = 0;
    int m_alarmCount = 0;
    double m_levelSum = 0;
    int m_levelCount = 0;

  private:
    void notifyStart();
    void notifyEnd(double L);

    MonitorHost& host_;
    WaveInputFactory& inputs_;
    Options options_;
    std::unique_ptr<WaveCapture> capture_;
    VolumeLevels levels_;
    LevelGraph m_graph;
    int m_recSec = 4;  // "REC_SEC"

    // The alarm state as observed, notices or not: used for an end notice
    // while no start notice is open (notices switched on during an alarm).
    TimeT stateStart_ = 0;
    double stateSum_ = 0;
    int stateCount_ = 0;
};

}  // namespace orvana::sound

namespace orvana::sound {

// The probe of StartVolumeWindow: 1 when the system has a sound input and it
// opens in the capture format (it is closed again at once); 0 when there is
// no input at all, or when it does not open, which reports
// "Error : WAVE INデバイスのオープンに失敗しました。" and
// "---- 音量検知機能は使用できません。----". UI thread.
int ProbeVolumeInput(WaveInputFactory& inputs, MonitorHost& host);

}  // namespace orvana::sound
