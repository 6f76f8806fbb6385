// "Camera #n": one camera's monitor window. Binds its controls to a
// CameraMotion (the logic), opens its camera through the capture layer,
// runs the 66-ms display timer (every 15th tick the detection), draws the
// picture and the meter, lets the user draw the detection rectangle and
// choose the format, and shows that a lost stream is being reconnected.
// Owned by the camera monitor kind while camera monitoring runs. UI thread.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <string>
#include <vector>

#include "camera/capture_layer.h"
#include "camera/motion/camera_motion.h"
#include "camera/motion/camera_view.h"
#include "camera/ui/camera_controls.h"
#include "camera/ui/camera_property_page.h"
#include "core/monitor_host.h"

namespace orvana::camera {

class CCameraDlg : public QDialog {
    Q_OBJECT

  public:
    // host, layer and pages outlive the window. cameraNo 0..7 is also the
    // capture layer's number.
    CCameraDlg(MonitorHost& host, CaptureLayer& layer, CameraPropertyPages& pages, int cameraNo,
               QWidget* parent = nullptr);
    // OnDestroy: stops the timer, saves the settings (when the window was
    // opened), closes the camera.
    ~CCameraDlg() override;

    // Settings, slider, placement (shifted 8 pixels per camera number), the
    // format list, the camera opened, the frames made, layout, timer 22.
    // The camera starts in the background (OpenMode::InBackground): this
    // returns without waiting for its first frame. Call once, before show().
    void OnInitDialog();
    // One tick of timer 22 (also callable by tests): controls to members,
    // the newest frame and the picture (while someone can see it: not
    // headless, not minimised); every 15th tick the stream's state, the
    // newest frame and the detection (none while the camera is starting),
    // then the title and the meter. A camera whose first attempt fails is
    // reported lost at the first tick that sees it, like a lost stream.
    void OnTimer();
    // Controls to members.
    void UpdateData();
    // A format chosen in the list: the camera is reopened with it (in the
    // background) and the motion measurement starts afresh with the whole
    // frame as rectangle.
    void OnCbnSelchangeCombo1(int index);
    // "設定...": the camera's own settings (EWC_PropertyPage); returns its
    // result (2 when that dialog is already showing).
    int OnBnClickedButton1();
    // Writes "Camera%d". Also for the end of the session.
    void SaveSettingBeforeClose();
    void OnEndSession() { SaveSettingBeforeClose(); }

    // For the window and the mail composer (see CameraMotion::SaveImage);
    // without `stored` the newest frame is fetched first.
    std::string SaveImage(std::string& path, int stored);
    std::string SaveImage(int stored) {
        std::string path;
        return SaveImage(path, stored);
    }

    // The mouse, in client coordinates.
    void OnLButtonDown(QPoint p);
    void OnMouseMove(QPoint p);
    void OnLButtonUp(QPoint p);

    // Lays the controls out for a client area of w by h.
    void layoutControls(int w, int h);

    CameraMotion& motion() { return motion_; }
    int cameraNo() const { return motion_.cameraNo(); }
    FrameSize dispSize() const { return m_dispSize; }
    // The frame sizes of the format list (`RESOLUTION`), in list order.
    const std::vector<FrameSize>& resolutions() const { return RESOLUTION; }
    // What EWC_Open returned at the last opening: 0 once the camera is
    // reserved, before it has started (see the layer's ewc_GetStatus).
    int openResult() const { return openResult_; }
    bool dragging() const { return m_dragging; }
    QRect dragRect() const { return m_dragRect; }

    CCameraPicture* picture() const { return picture_; }
    CCameraMeter* meter() const { return meter_; }
    QSlider* slider() const { return slider_; }
    QComboBox* formatCombo() const { return formatCombo_; }
    QPushButton* settingsButton() const { return settings_; }
    QCheckBox* notifyBox() const { return notify_; }
    QCheckBox* saveMotionBox() const { return saveMotion_; }
    QTimer& timer() { return timer_; }

    // Frames asked of the camera: 15 a second for the picture; headless,
    // where only the detection uses a frame once a second, 2 a second (the
    // newest frame is then at most half a second old, and the camera's
    // frames are not converted 15 times a second for nobody).
    static constexpr double kFps = 15.0;
    static constexpr double kHeadlessFps = 2.0;
    double frameRate() const;

    static constexpr int kTimerId = 22;
    static constexpr int kTimerMs = 66;
    static constexpr int kMaxFormats = 120;

  protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void reject() override {}  // Esc does not close a monitor window

  private:
    bool pictureShown() const;
    void fetchFrame();
    void readFormats();
    void openCamera();
    // Reports a loss or return not yet reported. False while the camera
    // is starting (nothing to measure yet).
    bool checkStream();
    void updateTitle();
    void updateMeter();
    void fitWindowToPicture();

    MonitorHost& host_;
    CaptureLayer& layer_;
    CameraPropertyPages& pages_;
    CameraMotion motion_;
    QTimer timer_;
    bool opened_ = false;
    int openResult_ = -1;
    std::vector<FrameSize> RESOLUTION;
    FrameSize m_dispSize;
    QRect m_dragRect;
    bool m_dragging = false;
    // Losses and returns of the stream already reported.
    std::int64_t seenLosses_ = 0, seenReturns_ = 0;
    std::string cameraName_;

    // Children of this dialog; Qt owns them.
    CCameraPicture* picture_ = nullptr;  // 1043
    CCameraMeter* meter_ = nullptr;      // 1044
    QSlider* slider_ = nullptr;          // 1002
    QComboBox* formatCombo_ = nullptr;   // 1020
    QPushButton* settings_ = nullptr;    // 1009
    QCheckBox* notify_ = nullptr;        // 1022
    QCheckBox* saveMotion_ = nullptr;    // 1023
};

}  // namespace orvana::camera
