// One camera window's motion watch without its widgets: the current frame,
// the ring of the frames stored at the last three detections, the motion
// ratio and its history of 30, the motion state with its notice at the peak,
// the pictures saved at growing intervals while motion lasts, the notice
// lines and mails, the section "Camera%d", and the notices of a lost and a
// returned stream. The window (CCameraDlg) fetches frames into frame(), calls
// OnDisplayTick every 66 ms and Detect when that says so, and binds its
// controls to the public members.
//
// UI thread only. Nothing here allocates per frame or per detection except
// the pictures it writes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "camera/motion/motion_detect.h"
#include "core/app_settings.h"
#include "core/monitor_host.h"

namespace orvana::camera {

inline constexpr int kHistoryLength = 30;
// Display ticks (66 ms) per detection: about one a second.
inline constexpr int kTicksPerDetection = 15;
inline constexpr int kMaxSaveInterval = 60;
inline constexpr int kSliderMax = 80;
inline constexpr int kDefaultSliderPos = 20;
// The detection rectangle's stored corners lie within 0..kDetectMax frame
// pixels (the default rectangle, clamped to any frame, is the whole frame).
inline constexpr int kDetectMax = 10000;
inline constexpr const char* kSeparator = "---------------------------------------";

// "Camera%d" with the camera number.
std::string CameraSection(int cameraNo);
// "Camera#%d": how notices name a camera.
std::string CameraLabel(int cameraNo);

// The threshold fraction of a slider position s (0..80): 10^(-s/20).
double SensitivityThreshold(int sliderPos);

struct FrameSize {
    int width = 640;
    int height = 480;
    friend bool operator==(const FrameSize&, const FrameSize&) = default;
};

// The keys of section "Camera%d" (all integers). "Nofity" is the stored
// name of the notice switch.
struct CameraSettings {
    int resolution = 0;                 // "Resolution": index into the camera's format list
    int notify = 0;                     // "Nofity"
    int saveMotion = 0;                 // "SaveMotion"
    int sliderPos = kDefaultSliderPos;  // "SliderPos"
    Placement placement;                // "left", "top", "right", "bottom"
    DetectRect detect{0, 0, kDetectMax, kDetectMax};  // "DetectLeft" .. "DetectBottom"
};

// Missing keys give the defaults above, and so does a value outside its
// meaning: Nofity and SaveMotion 0 or 1, SliderPos 0..kSliderMax,
// Resolution not negative (the window lowers an index beyond the camera's
// list), the detection rectangle within 0..kDetectMax with left <= right and
// top <= bottom, else the whole rectangle is the default. The placement is
// taken as stored (the window checks it against the displays). resetKeys
// (may be null) receives the keys that were reset, as "Camera%d/key", each
// once. SizeX and SizeY are written only.
CameraSettings LoadCameraSettings(const SettingsStore& store, int cameraNo,
                                  std::vector<std::string>* resetKeys = nullptr);
// Writes Resolution, SizeX, SizeY, left, top, right, bottom, DetectLeft,
// DetectTop, DetectRight, DetectBottom, Nofity, SaveMotion, SliderPos, in
// this order.
void SaveCameraSettings(SettingsStore& store, int cameraNo, const CameraSettings& s,
                        FrameSize frameSize);

// r clamped to a frame of `size`: left and top at least 0, right at most the
// width, bottom at most the height. An inverted result stays empty.
DetectRect ClampToFrame(DetectRect r, FrameSize size);

// What one detection did.
struct Detection {
    double ratio = kMotionFloor;  // NaN when the rectangle holds no pixel
    bool savedPicture = false;
    bool notice = false;  // the event was signalled (reported when m_notify is on)
    std::string picture;  // path of the picture saved, when one was
};

class CameraMotion {
  public:
    // host: reports, mails, the store ("DATA_DIR") and the clock; outlives
    // this object.
    CameraMotion(MonitorHost& host, int cameraNo);

    // Reads "Camera%d" into the members (m_resolution, m_notify,
    // m_saveMotion, m_sliderPos, m_detectRect) and returns what was read
    // (the window takes the placement from it). Keys reset to their
    // defaults (LoadCameraSettings) are reported once, in one line.
    CameraSettings LoadSettings();
    // Writes "Camera%d" from the members, with the frame size in use and the
    // window's placement.
    void SaveSettings(const Placement& placement);

    // A frame size takes effect (opening, or a change of format): the
    // current frame and the three stored frames are made for it (black),
    // the ring starts empty, the ratio and its history go to the floor, the
    // motion state is cleared. The detection
    // rectangle is not touched (see ClampDetectRect, ResetDetectRect).
    void Reset(FrameSize size);
    // Clamps m_detectRect to the frame (opening).
    void ClampDetectRect() { m_detectRect = ClampToFrame(m_detectRect, m_frameSize); }
    // The whole frame becomes the detection rectangle (change of format).
    void ResetDetectRect() { m_detectRect = {0, 0, m_frameSize.width, m_frameSize.height}; }

    // Where the window fetches the newest frame: m_frameBytes bytes.
    std::uint8_t* frame() { return m_pFrame.data(); }
    const std::uint8_t* frame() const { return m_pFrame.data(); }
    // A stored frame of the ring (slot 0..2).
    const std::uint8_t* storedFrame(int slot) const;

    // One display tick: adds 1 to m_frameTick. True when this tick runs the
    // detection (every 15th).
    bool OnDisplayTick();

    // The once-a-second detection on the current frame, after the window has
    // read its controls into the members: MotionDetect, then Evaluate.
    Detection Detect();
    // The detection with a given ratio: history, state table, pictures,
    // notice, then the current frame is stored in the ring.
    Detection Evaluate(double ratio);

    // The motion ratio of the current frame against the frame stored three
    // detections before; the floor while the ring is not yet full, NaN for a
    // rectangle without pixels.
    double MotionDetect();
    // Shifts the history by one and puts `ratio` in front.
    void SetMotionHis(double ratio);
    // The threshold of the current slider position.
    double threshold() const { return SensitivityThreshold(m_sliderPos); }

    // A picture for the window or the mail composer: the data folder's
    // stamp name with "#Cam%d.jpg"; with `stored` set the frame stored at the
    // last detection, else the current frame. Writes it now; sets `path` and
    // returns it, also when nothing could be written.
    std::string SaveImage(std::string& path, int stored);
    // Writes the JPEG `stem` + ".jpg". Returns 0 when the picture could not
    // be made or written, 1 otherwise.
    int SaveImage(int stored, const std::string& stem);

    // The camera's stream stopped (`lost`) or came back. Each change is
    // reported once: an event line and a management mail naming the camera
    // number and `name`. The motion measurement starts afresh either way, so
    // a frozen picture is never compared with a live one.
    void OnStreamState(bool lost, const std::string& name);
    bool streamLost() const { return streamLost_; }

    int cameraNo() const { return m_cameraNo; }
    MotionScratch& scratch() { return scratch_; }

    // State, named as the window's members.
    FrameSize m_frameSize;
    std::vector<std::uint8_t> m_pFrame;
    std::array<std::vector<std::uint8_t>, 3> m_ringFrames;
    int m_ringIndex = 0;
    int m_ringFilled = 0;
    int m_frameBytes = 0;
    int m_frameTick = 0;
    double m_motionRatio = kMotionFloor;
    std::array<double, kHistoryLength> m_motionHis{};
    int m_motion = 0;
    int m_noticePending = 0;
    int m_saveInterval = 1;
    DetectRect m_detectRect{0, 0, 10000, 10000};
    // Bound to the controls; the window writes them before each detection.
    int m_sliderPos = kDefaultSliderPos;
    int m_resolution = 0;
    int m_notify = 0;
    int m_saveMotion = 0;

  private:
    void notice();

    MonitorHost& host_;
    const int m_cameraNo;
    MotionScratch scratch_;
    bool streamLost_ = false;
};

}  // namespace orvana::camera
