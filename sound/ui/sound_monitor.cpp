#include "sound/ui/sound_monitor.h"

#include "core/status_text.h"

namespace orvana::sound {

const MonitorKind SoundMonitor::kKind{"sound", ALERT_VOL, MonitorSwitch::Sound, COL_VOL, 10};

SoundMonitor::SoundMonitor(MonitorHost& host, WaveInputFactory* inputs, ProcessRunner* runner,
                           QWidget* parent)
    : host_(host), inputs_(inputs), runner_(runner), parent_(parent) {
    if (runner_) {
        editor_ = std::make_unique<Dlg3gpEditor>(host_.prompt(), *runner_);
        converter_ = std::make_unique<RecordingConverter>(*runner_);
    }
}

SoundMonitor::~SoundMonitor() {
    stop();
}

const MonitorKind& SoundMonitor::kind() const {
    return kKind;
}

int SoundMonitor::StartVolumeWindow(int start) {
    if (!inputs_ || !runner_) {
        window_.reset();
        return 0;
    }
    return sound::StartVolumeWindow(start, host_, *inputs_, window_, parent_);
}

void SoundMonitor::stop() {
    // Saves its own settings and joins its capture thread.
    window_.reset();
}

std::vector<std::string> SoundMonitor::attachments() {
    if (!window_)
        return {};
    std::vector<std::string> files;
    files.push_back(window_->SaveClientBitmap());
    files.push_back(window_->SaveWave());
    return files;
}

std::string SoundMonitor::statusBlock() {
    return window_ ? SoundStatusBlock(*window_) : std::string();
}

void SoundMonitor::SaveSettingBeforeClose() {
    if (window_)
        window_->SaveSettingBeforeClose();
}

void registerSoundMonitor(MonitorRegistry& registry, MonitorContext& context) {
    auto monitor =
        std::make_unique<SoundMonitor>(context.host, context.backends.get<WaveInputFactory>(),
                                       context.backends.get<ProcessRunner>(), context.parent);
    context.hooks.converterEditor = monitor->converterEditor();
    context.hooks.attachmentConverter = monitor->attachmentConverter();
    registry.add(std::move(monitor));
}

}  // namespace orvana::sound
