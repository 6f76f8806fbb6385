// The camera monitor as one kind of the main window's registry: the "動体"
// box, ALERT_CAM notices, the CAM attachment column (a picture of every
// camera) and no block in the periodic notice. It owns the capture layer
// over the camera list it is given and one CCameraDlg per camera, at most
// eight. UI thread.
#pragma once

#include <array>
#include <memory>

#include "camera/camera_source.h"
#include "camera/capture_layer.h"
#include "camera/ui/camera_dlg.h"
#include "camera/ui/camera_property_page.h"
#include "core/monitor.h"
#include "widgets/monitor_context.h"

namespace orvana::camera {

inline constexpr int kMaxCameraWindows = 8;
inline constexpr const char* kTooManyCameras = "このソフトで利用可能なカメラは８台までです。";

class CameraMonitor final : public Monitor {
  public:
    // source null: the monitor cannot run (probe gives 0). host, source and
    // parent outlive the monitor. `options` tune the capture layer (tests
    // shorten its time-outs).
    CameraMonitor(MonitorHost& host, CameraSource* source, QWidget* parent,
                  CaptureOptions options = CaptureOptions());
    // Closes the windows, then the layer.
    ~CameraMonitor() override;

    const MonitorKind& kind() const override;
    int probe() override { return StartCameraWindow(0); }
    int start() override { return StartCameraWindow(1); }
    void stop() override;
    bool running() const override { return windows_[0] != nullptr; }
    // SaveImage(0) of every open camera window in camera order, while the
    // first one exists.
    std::vector<std::string> attachments() override;
    std::string statusBlock() override { return std::string(); }
    void SaveSettingBeforeClose() override;
    void OnEndSession() override;

    // The main window's StartCameraWindow: closes the windows, counts the
    // cameras (0: returns 0); with start = 1 opens one window per camera,
    // at most eight (more: the prompt's notice kTooManyCameras). Returns 1
    // when at least one camera exists.
    int StartCameraWindow(int start);

    // Camera window k (0..7), null when not open.
    CCameraDlg* window(int k) const;
    // Windows open now (`m_cameraCount`).
    int cameraCount() const { return m_cameraCount; }
    // The capture layer; null without a camera list.
    CaptureLayer* layer() const { return layer_.get(); }
    CameraPropertyPages* pages() const { return pages_.get(); }

    static const MonitorKind kKind;

  private:
    MonitorHost& host_;
    QWidget* parent_;
    std::unique_ptr<CaptureLayer> layer_;
    std::unique_ptr<CameraPropertyPages> pages_;
    std::array<std::unique_ptr<CCameraDlg>, kMaxCameraWindows> windows_;
    int m_cameraCount = 0;
};

// Adds the camera monitor to the registry, with the CameraSource of
// context.backends (and its CaptureOptions, when one was put there).
void registerCameraMonitor(MonitorRegistry& registry, MonitorContext& context);

}  // namespace orvana::camera
