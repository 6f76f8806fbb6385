// What the camera window shows, computed without widgets: its layout, the
// display size of the picture, the title, the meter's bars and threshold
// line, the detection rectangle on the display and the rectangle a mouse
// drag makes, and the lines of the format list. Pure functions; any thread.
#pragma once

#include <array>
#include <string>

#include "camera/motion/camera_motion.h"

namespace orvana::camera {

// A rectangle as x, y, width, height (the window's own coordinates).
struct ViewRect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const ViewRect&, const ViewRect&) = default;
};

// The window's smallest client size.
inline constexpr int kMinClientWidth = 320, kMinClientHeight = 240;
// Where the picture control starts in the client area.
inline constexpr int kPictureX = 8, kPictureY = 44;

// Positions of the controls for a client area of w x h.
struct CameraLayout {
    FrameSize display;        // the picture's display size
    ViewRect notifyBox;       // 1022 "異常を通知"
    ViewRect saveMotionBox;   // 1023 "異常動体画像記録"
    ViewRect formatCombo;     // 1020
    ViewRect settingsButton;  // 1009 "設定..."
    ViewRect picture;         // 1043
    ViewRect meter;           // 1044
    ViewRect slider;          // 1002
};

// The display size for a client area of w x h: at most the frame, at most
// the room left beside and below the controls, with the frame's aspect
// ratio when the window limits it (integer arithmetic). Never below 1 x 1.
FrameSize DisplaySize(int w, int h, FrameSize frame);
CameraLayout LayoutFor(int w, int h, FrameSize frame);

// The display size a window starts from: half the frame when the frame is
// at least 640 pixels wide, otherwise the frame.
FrameSize InitialDisplaySize(FrameSize frame);

// "Camera #%d (%dx%d%s) %5.2f[%%]  (%5.2f[%%])" with the scale note
// ":等倍表示" or ":%5.1f%%縮小表示". A ratio that cannot be computed (NaN)
// shows as "  ---".
std::string TitleText(int cameraNo, FrameSize frame, FrameSize display, double ratio,
                      double threshold);

// The height of a meter bar for `ratio` in a meter of height H: the
// logarithmic scale from 0.01 % (0) to 100 % (H), never below 0 (a ratio
// that is not a positive number gives 0).
int MeterLevel(double ratio, int H);

// Bar i (0 = the newest, at the right) of a meter W x H.
struct MeterBar {
    ViewRect rect;
    bool over = false;  // above the threshold: drawn in red, else blue
};
std::array<MeterBar, kHistoryLength> MeterBars(const std::array<double, kHistoryLength>& his,
                                               double threshold, int W, int H);
// The y of the threshold line from the top of the meter.
int ThresholdLineY(double threshold, int H);

// The detection rectangle on the display (each x scaled by display width
// over frame width, each y by display height over frame height).
ViewRect DisplayedRect(DetectRect r, FrameSize frame, FrameSize display);

// The detection rectangle of a drag from `start` to `end` (client
// coordinates): relative to the picture's top-left corner, normalised,
// scaled from display to frame pixels and clamped to the frame.
DetectRect DragToDetectRect(int startX, int startY, int endX, int endY, FrameSize frame,
                            FrameSize display);

// One line of the format list: "%d:%dx%d(%S)".
std::string FormatLine(int index, int width, int height, const std::string& subtypeName);

}  // namespace orvana::camera
