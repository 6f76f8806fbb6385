#include "camera/motion/camera_view.h"

#include <QString>
#include <algorithm>
#include <cmath>

namespace orvana::camera {
namespace {

std::string format(const char* pattern, double value) {
    return QString::asprintf(pattern, value).toStdString();
}

}  // namespace

FrameSize DisplaySize(int w, int h, FrameSize frame) {
    const int fw = std::max(frame.width, 1), fh = std::max(frame.height, 1);
    int dw = std::min(w - 132, fw);
    int dh = std::min(h - 60, fh);
    dw = std::min(dw, dh * fw / fh);
    dh = std::min(dh, fh * dw / fw);
    return {std::max(dw, 1), std::max(dh, 1)};
}

CameraLayout LayoutFor(int w, int h, FrameSize frame) {
    CameraLayout l;
    l.display = DisplaySize(w, h, frame);
    const int u = (w - 32) / 7;
    l.notifyBox = {8, 8, 2 * u, 28};
    l.saveMotionBox = {2 * u + 16, 8, 2 * u, 28};
    l.formatCombo = {4 * u + 24, 8, 2 * u, 28};
    l.settingsButton = {6 * u + 32, 8, u, 28};
    l.picture = {kPictureX, kPictureY, l.display.width, l.display.height};
    l.meter = {l.display.width + 16, 44, 76, l.display.height};
    l.slider = {l.display.width + 100, 36, 24, l.display.height + 16};
    return l;
}

FrameSize InitialDisplaySize(FrameSize frame) {
    if (frame.width >= 640)
        return {frame.width / 2, frame.height / 2};
    return frame;
}

std::string TitleText(int cameraNo, FrameSize frame, FrameSize display, double ratio,
                      double threshold) {
    const std::string scale =
        display.width == frame.width
            ? std::string(":等倍表示")
            : format(":%5.1f%%縮小表示", display.width * 100.0 / std::max(frame.width, 1));
    const std::string value =
        std::isnan(ratio) ? std::string("  ---") : format("%5.2f", ratio * 100);
    return "Camera #" + std::to_string(cameraNo) + " (" + std::to_string(frame.width) + "x" +
           std::to_string(frame.height) + scale + ") " + value + "[%]  (" +
           format("%5.2f", threshold * 100) + "[%])";
}

int MeterLevel(double ratio, int H) {
    if (!(ratio > 0))
        return 0;
    const double level = (20.0 * std::log10(ratio) + 80.0) * H / 80.0;
    return std::clamp(static_cast<int>(level), 0, std::max(H, 0));
}

std::array<MeterBar, kHistoryLength> MeterBars(const std::array<double, kHistoryLength>& his,
                                               double threshold, int W, int H) {
    std::array<MeterBar, kHistoryLength> bars;
    for (int i = 0; i < kHistoryLength; ++i) {
        const int left = W - (i + 1) * W / kHistoryLength;
        const int right = W - i * W / kHistoryLength;
        const int level = MeterLevel(his[static_cast<std::size_t>(i)], H);
        MeterBar& b = bars[static_cast<std::size_t>(i)];
        b.rect = {left, H - level, right - left, level};
        b.over = his[static_cast<std::size_t>(i)] > threshold;
    }
    return bars;
}

int ThresholdLineY(double threshold, int H) {
    return H - MeterLevel(threshold, H);
}

ViewRect DisplayedRect(DetectRect r, FrameSize frame, FrameSize display) {
    const int fw = std::max(frame.width, 1), fh = std::max(frame.height, 1);
    const int left = r.left * display.width / fw;
    const int top = r.top * display.height / fh;
    const int right = r.right * display.width / fw;
    const int bottom = r.bottom * display.height / fh;
    return {left, top, right - left, bottom - top};
}

DetectRect DragToDetectRect(int startX, int startY, int endX, int endY, FrameSize frame,
                            FrameSize display) {
    const int dw = std::max(display.width, 1), dh = std::max(display.height, 1);
    DetectRect r{std::min(startX, endX) - kPictureX, std::min(startY, endY) - kPictureY,
                 std::max(startX, endX) - kPictureX, std::max(startY, endY) - kPictureY};
    r.left = r.left * frame.width / dw;
    r.right = r.right * frame.width / dw;
    r.top = r.top * frame.height / dh;
    r.bottom = r.bottom * frame.height / dh;
    return ClampToFrame(r, frame);
}

std::string FormatLine(int index, int width, int height, const std::string& subtypeName) {
    return std::to_string(index) + ":" + std::to_string(width) + "x" + std::to_string(height) +
           "(" + subtypeName + ")";
}

}  // namespace orvana::camera
