// The sound monitor as one kind of the main window's registry: the "音量"
// box, ALERT_VOL notices, the VOL attachment column (window picture and
// recording) and the average level block of the periodic notice. Its window
// is CVolumeDlg. It also provides the mail sender with the recording
// converter. UI thread.
#pragma once

#include <memory>

#include "core/monitor.h"
#include "sound/process_runner.h"
#include "sound/recording_converter.h"
#include "sound/ui/dlg_3gp.h"
#include "sound/ui/volume_dlg.h"
#include "sound/wave_input.h"
#include "widgets/monitor_context.h"

namespace orvana::sound {

class SoundMonitor final : public Monitor {
  public:
    // inputs or runner null: the monitor cannot run (probe gives 0). Every
    // reference and pointer outlives the monitor.
    SoundMonitor(MonitorHost& host, WaveInputFactory* inputs, ProcessRunner* runner,
                 QWidget* parent);
    ~SoundMonitor() override;

    const MonitorKind& kind() const override;
    int probe() override { return StartVolumeWindow(0); }
    int start() override { return StartVolumeWindow(1); }
    void stop() override;
    bool running() const override { return window_ != nullptr; }
    std::vector<std::string> attachments() override;
    std::string statusBlock() override;
    void SaveSettingBeforeClose() override;

    // The main window's StartVolumeWindow.
    int StartVolumeWindow(int start);
    // The running window; null when the monitor is not running.
    CVolumeDlg* window() const { return window_.get(); }
    // The converter dialog for the settings dialog; null without a runner.
    ConverterSettingsEditor* converterEditor() { return editor_.get(); }
    // The 3GP conversion of recordings for the mail sender, which uses it on
    // its own thread; null without a runner. Lives as long as the monitor,
    // whether its window runs or not (a queued mail may still need it).
    AttachmentConverter* attachmentConverter() { return converter_.get(); }

    static const MonitorKind kKind;

  private:
    MonitorHost& host_;
    WaveInputFactory* inputs_;
    ProcessRunner* runner_;
    QWidget* parent_;
    std::unique_ptr<Dlg3gpEditor> editor_;
    std::unique_ptr<RecordingConverter> converter_;
    std::unique_ptr<CVolumeDlg> window_;
};

// Adds the sound monitor to the registry, with the WaveInputFactory and
// ProcessRunner of context.backends, offers its converter dialog to the
// settings dialog and its recording converter to the mail sender.
void registerSoundMonitor(MonitorRegistry& registry, MonitorContext& context);

}  // namespace orvana::sound
