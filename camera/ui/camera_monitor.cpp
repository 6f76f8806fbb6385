#include "camera/ui/camera_monitor.h"

namespace orvana::camera {

const MonitorKind CameraMonitor::kKind{"camera", ALERT_CAM, MonitorSwitch::Camera, COL_CAM, 20};

CameraMonitor::CameraMonitor(MonitorHost& host, CameraSource* source, QWidget* parent,
                             CaptureOptions options)
    : host_(host), parent_(parent) {
    if (source) {
        layer_ = std::make_unique<CaptureLayer>(*source, std::move(options));
        pages_ = std::make_unique<CameraPropertyPages>(*layer_);
    }
}

CameraMonitor::~CameraMonitor() {
    stop();
    pages_.reset();
    layer_.reset();
}

const MonitorKind& CameraMonitor::kind() const {
    return kKind;
}

int CameraMonitor::StartCameraWindow(int start) {
    stop();
    if (!layer_)
        return 0;
    int count = 0;
    layer_->EWC_GetCameraName(nullptr, &count);
    if (count <= 0)
        return 0;
    if (!start)
        return 1;
    if (count > kMaxCameraWindows) {
        host_.prompt().notify(kTooManyCameras);
        count = kMaxCameraWindows;
    }
    for (int k = 0; k < count; ++k) {
        auto w = std::make_unique<CCameraDlg>(host_, *layer_, *pages_, k, parent_);
        w->OnInitDialog();
        w->show();
        windows_[static_cast<std::size_t>(k)] = std::move(w);
        m_cameraCount = k + 1;
    }
    return 1;
}

void CameraMonitor::stop() {
    // Each window saves its section and closes its camera.
    for (auto& w : windows_)
        w.reset();
    m_cameraCount = 0;
}

CCameraDlg* CameraMonitor::window(int k) const {
    if (k < 0 || k >= kMaxCameraWindows)
        return nullptr;
    return windows_[static_cast<std::size_t>(k)].get();
}

std::vector<std::string> CameraMonitor::attachments() {
    std::vector<std::string> files;
    if (!windows_[0])
        return files;
    for (auto& w : windows_)
        if (w)
            files.push_back(w->SaveImage(0));
    return files;
}

void CameraMonitor::SaveSettingBeforeClose() {
    for (auto& w : windows_)
        if (w)
            w->SaveSettingBeforeClose();
}

void CameraMonitor::OnEndSession() {
    for (auto& w : windows_)
        if (w)
            w->OnEndSession();
}

void registerCameraMonitor(MonitorRegistry& registry, MonitorContext& context) {
    const CaptureOptions* options = context.backends.get<CaptureOptions>();
    registry.add(std::make_unique<CameraMonitor>(context.host, context.backends.get<CameraSource>(),
                                                 context.parent,
                                                 options ? *options : CaptureOptions()));
}

}  // namespace orvana::camera
