#include "camera/motion/camera_motion.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "core/checked_settings.h"
#include "core/snapshot_name.h"

namespace orvana::camera {

std::string CameraSection(int cameraNo) {
    return "Camera" + std::to_string(cameraNo);
}

std::string CameraLabel(int cameraNo) {
    return "Camera#" + std::to_string(cameraNo);
}

double SensitivityThreshold(int sliderPos) {
    return std::pow(10.0, -sliderPos / 20.0);
}

CameraSettings LoadCameraSettings(const SettingsStore& store, int cameraNo,
                                  std::vector<std::string>* resetKeys) {
    const std::string sec = CameraSection(cameraNo);
    CheckedSettings in(store, sec);
    CameraSettings s;
    // An index beyond the camera's list is lowered by the window, which
    // knows the list.
    s.resolution = in.integer("Resolution", 0, 0, std::numeric_limits<int>::max());
    s.notify = in.flag("Nofity", 0);
    s.saveMotion = in.flag("SaveMotion", 0);
    s.sliderPos = in.integer("SliderPos", kDefaultSliderPos, 0, kSliderMax);
    s.placement = LoadPlacement(store, sec);

    // The rectangle is one value: a corner outside 0..kDetectMax or a
    // reversed pair gives the whole frame, and each corner that held
    // something else counts as reset.
    const DetectRect whole{0, 0, kDetectMax, kDetectMax};
    const std::pair<const char*, int DetectRect::*> corners[] = {
        {"DetectLeft", &DetectRect::left},
        {"DetectTop", &DetectRect::top},
        {"DetectRight", &DetectRect::right},
        {"DetectBottom", &DetectRect::bottom}};
    bool good = true;
    for (const auto& [key, corner] : corners) {
        if (!in.has(key))
            continue;
        int v = 0;
        if (parseInt(store.getString(sec, key, ""), &v) && v >= 0 && v <= kDetectMax)
            s.detect.*corner = v;
        else
            good = false;
    }
    if (!good || s.detect.left > s.detect.right || s.detect.top > s.detect.bottom) {
        for (const auto& [key, corner] : corners) {
            int v = 0;
            const bool same = parseInt(store.getString(sec, key, ""), &v) && v == whole.*corner;
            if (in.has(key) && !same)
                in.noteReset(key);
        }
        s.detect = whole;
    }
    if (resetKeys)
        *resetKeys = in.resetKeys();
    return s;
}

void SaveCameraSettings(SettingsStore& store, int cameraNo, const CameraSettings& s,
                        FrameSize frameSize) {
    const std::string sec = CameraSection(cameraNo);
    store.writeInt(sec, "Resolution", s.resolution);
    store.writeInt(sec, "SizeX", frameSize.width);
    store.writeInt(sec, "SizeY", frameSize.height);
    SavePlacement(store, sec, s.placement);
    store.writeInt(sec, "DetectLeft", s.detect.left);
    store.writeInt(sec, "DetectTop", s.detect.top);
    store.writeInt(sec, "DetectRight", s.detect.right);
    store.writeInt(sec, "DetectBottom", s.detect.bottom);
    store.writeInt(sec, "Nofity", s.notify);
    store.writeInt(sec, "SaveMotion", s.saveMotion);
    store.writeInt(sec, "SliderPos", s.sliderPos);
    store.sync();
}

DetectRect ClampToFrame(DetectRect r, FrameSize size) {
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, size.width);
    r.bottom = std::min(r.bottom, size.height);
    return r;
}

CameraMotion::CameraMotion(MonitorHost& host, int cameraNo) : host_(host), m_cameraNo(cameraNo) {
    m_motionHis.fill(kMotionFloor);
    Reset(m_frameSize);
}

CameraSettings CameraMotion::LoadSettings() {
    std::vector<std::string> reset;
    const CameraSettings s = LoadCameraSettings(host_.store(), m_cameraNo, &reset);
    m_resolution = s.resolution;
    m_notify = s.notify;
    m_saveMotion = s.saveMotion;
    m_sliderPos = s.sliderPos;
    m_detectRect = s.detect;
    if (const std::string line = ResetKeysLine(reset); !line.empty())
        host_.Report(line, 2);
    return s;
}

void CameraMotion::SaveSettings(const Placement& placement) {
    CameraSettings s;
    s.resolution = m_resolution;
    s.notify = m_notify;
    s.saveMotion = m_saveMotion;
    s.sliderPos = m_sliderPos;
    s.placement = placement;
    s.detect = m_detectRect;
    SaveCameraSettings(host_.store(), m_cameraNo, s, m_frameSize);
}

void CameraMotion::Reset(FrameSize size) {
    m_frameSize.width = std::max(size.width, 1);
    m_frameSize.height = std::max(size.height, 1);
    const std::size_t pixels =
        static_cast<std::size_t>(m_frameSize.width) * static_cast<std::size_t>(m_frameSize.height);
    m_frameBytes = static_cast<int>(pixels * 4);
    // Black until the first frame arrives.
    m_pFrame.assign(pixels * 4, 0);
    for (auto& f : m_ringFrames)
        f.assign(pixels * 4, 0);
    scratch_.reserve(pixels);
    m_ringIndex = 0;
    m_ringFilled = 0;
    m_motionRatio = kMotionFloor;
    m_motionHis.fill(kMotionFloor);
    m_motion = 0;
    m_noticePending = 0;
    m_saveInterval = 1;
}

const std::uint8_t* CameraMotion::storedFrame(int slot) const {
    return m_ringFrames[static_cast<std::size_t>(((slot % 3) + 3) % 3)].data();
}

bool CameraMotion::OnDisplayTick() {
    ++m_frameTick;
    return m_frameTick % kTicksPerDetection == 0;
}

double CameraMotion::MotionDetect() {
    if (!m_ringFilled)
        return kMotionFloor;
    // The slot stored three detections before this one.
    const std::uint8_t* reference = storedFrame(m_ringIndex - 2);
    return MotionRatio(m_pFrame.data(), reference, m_frameSize.width, m_frameSize.height,
                       m_detectRect, scratch_);
}

void CameraMotion::SetMotionHis(double ratio) {
    std::copy_backward(m_motionHis.begin(), m_motionHis.end() - 1, m_motionHis.end());
    m_motionHis[0] = ratio;
}

Detection CameraMotion::Detect() {
    return Evaluate(MotionDetect());
}

Detection CameraMotion::Evaluate(double r) {
    Detection result;
    result.ratio = r;
    m_motionRatio = r;
    // The previous ratio is the one in front before this one goes in.
    const double previous = m_motionHis[0];
    // A ratio that cannot be computed shows as an empty bar.
    SetMotionHis(std::isnan(r) ? kMotionFloor : r);
    const double T = threshold();

    bool saveNow = false, notify = false, active = false;
    if (r > T) {  // NaN (no pixels) is never above
        if (!m_motion) {
            m_motion = 1;
            m_noticePending = 1;
            m_saveInterval = 1;
            saveNow = true;
        } else if (m_noticePending && r < previous) {
            // The ratio starts to fall: the event is at its peak.
            m_noticePending = 0;
            m_saveInterval = 1;
            saveNow = true;
            notify = true;
        }
        active = true;
    } else {
        if (m_motion) {
            m_motion = 0;
            m_saveInterval = 1;
        }
        if (m_noticePending) {
            // Ended without a falling ratio: reported at its end.
            m_noticePending = 0;
            notify = true;
        }
    }

    if (m_saveMotion &&
        (saveNow || (active && m_frameTick % (m_saveInterval * kTicksPerDetection) == 0))) {
        // With a notice, the frame stored at the last detection: the peak.
        SaveImage(result.picture, notify ? 1 : 0);
        result.savedPicture = true;
        m_saveInterval = std::min(m_saveInterval * 2, kMaxSaveInterval);
    }

    result.notice = notify;
    if (m_notify && notify)
        notice();

    m_ringIndex = (m_ringIndex + 1) % 3;
    if (m_ringIndex == 0)
        m_ringFilled = 1;
    std::memcpy(m_ringFrames[static_cast<std::size_t>(m_ringIndex)].data(), m_pFrame.data(),
                m_pFrame.size());
    return result;
}

void CameraMotion::notice() {
    const std::string N = CameraLabel(m_cameraNo);
    host_.Report(kSeparator, 0);
    host_.Report(">>>動体検知<<< " + N, 2);
    host_.Report(kSeparator, 0);
    host_.RegistMail(ALERT_CAM, "動体検知", "\r\n動体を検出しました。\r\n" + N, 2);
}

std::string CameraMotion::SaveImage(std::string& path, int stored) {
    const std::string stem =
        snapshotFileName(host_.store(), host_.clock().now(), "#Cam" + std::to_string(m_cameraNo));
    SaveImage(stored, stem);
    path = stem + ".jpg";
    return path;
}

int CameraMotion::SaveImage(int stored, const std::string& stem) {
    const std::uint8_t* source = stored ? storedFrame(m_ringIndex) : m_pFrame.data();
    // Bytes blue, green, red, x: QImage's 32-bit RGB in memory order.
    const QImage view(source, m_frameSize.width, m_frameSize.height, m_frameSize.width * 4,
                      QImage::Format_RGB32);
    if (view.isNull())
        return 0;
    return view.save(QString::fromStdString(stem + ".jpg")) ? 1 : 0;
}

void CameraMotion::OnStreamState(bool lost, const std::string& name) {
    if (lost == streamLost_)
        return;
    streamLost_ = lost;
    const std::string N = CameraLabel(m_cameraNo) + " (" + name + ")";
    if (lost) {
        host_.Report(">>>カメラ映像途絶<<< " + N, 2);
        host_.RegistMail(ALERT_KANRI, "カメラ映像途絶",
                         "\r\nカメラの映像が途絶えました。再接続を試みています。\r\n" + N, 2);
    } else {
        host_.Report("<<<カメラ映像復帰>>> " + N, 2);
        host_.RegistMail(ALERT_KANRI, "カメラ映像復帰", "\r\nカメラの映像が戻りました。\r\n" + N,
                         2);
    }
    // Start afresh: the ring holds a frozen picture.
    m_ringIndex = 0;
    m_ringFilled = 0;
}

}  // namespace orvana::camera
