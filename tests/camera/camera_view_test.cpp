// What the camera window shows, without a display: the layout at two sizes,
// the reduced picture of a large frame and its title, the meter's scale, the
// detection rectangle on the display, and the rectangle of a mouse drag.
#include <gtest/gtest.h>

#include <cmath>

#include "camera/motion/camera_view.h"

namespace orvana::camera {
namespace {

TEST(CameraView, LayoutAtTwoSizes) {
    // The size a 640 x 480 camera's window starts at: the picture at half.
    const CameraLayout a = LayoutFor(452, 300, {640, 480});
    EXPECT_EQ(a.display, (FrameSize{320, 240}));
    EXPECT_EQ(a.notifyBox, (ViewRect{8, 8, 120, 28}));
    EXPECT_EQ(a.saveMotionBox, (ViewRect{136, 8, 120, 28}));
    EXPECT_EQ(a.formatCombo, (ViewRect{264, 8, 120, 28}));
    EXPECT_EQ(a.settingsButton, (ViewRect{392, 8, 60, 28}));
    EXPECT_EQ(a.picture, (ViewRect{8, 44, 320, 240}));
    EXPECT_EQ(a.meter, (ViewRect{336, 44, 76, 240}));
    EXPECT_EQ(a.slider, (ViewRect{420, 36, 24, 256}));

    // A wide, low window: the height limits, the aspect ratio is kept.
    const CameraLayout b = LayoutFor(1000, 400, {640, 480});
    EXPECT_EQ(b.display, (FrameSize{453, 339}));
    EXPECT_EQ(b.formatCombo, (ViewRect{4 * 138 + 24, 8, 276, 28}));
    EXPECT_EQ(b.meter, (ViewRect{469, 44, 76, 339}));
    EXPECT_EQ(b.slider, (ViewRect{553, 36, 24, 355}));

    // Never larger than the frame, however large the window.
    EXPECT_EQ(DisplaySize(2000, 1500, {320, 240}), (FrameSize{320, 240}));
    // The smallest window still shows a picture.
    EXPECT_EQ(DisplaySize(kMinClientWidth, kMinClientHeight, {640, 480}), (FrameSize{188, 141}));
    EXPECT_EQ(DisplaySize(10, 10, {640, 480}), (FrameSize{1, 1}));
}

TEST(CameraView, LargeFrameInASmallWindowShowsTheReduction) {
    const FrameSize hd{1280, 720};
    EXPECT_EQ(InitialDisplaySize(hd), (FrameSize{640, 360}));
    EXPECT_EQ(InitialDisplaySize({320, 240}), (FrameSize{320, 240}));
    const FrameSize shown = DisplaySize(640 + 132, 420, hd);
    EXPECT_EQ(shown, (FrameSize{640, 360}));
    EXPECT_EQ(TitleText(0, hd, shown, 0.00001, 0.1),
              "Camera #0 (1280x720: 50.0%縮小表示)  0.00[%]  (10.00[%])");
    EXPECT_EQ(TitleText(3, {320, 240}, {320, 240}, 0.4567, 1.0),
              "Camera #3 (320x240:等倍表示) 45.67[%]  (100.00[%])");
    EXPECT_EQ(TitleText(1, {640, 480}, {188, 141}, std::nan(""), 0.0001),
              "Camera #1 (640x480: 29.4%縮小表示)   ---[%]  ( 0.01[%])");
}

TEST(CameraView, MeterIsLogarithmicFromOneHundredthPercentToAll) {
    EXPECT_EQ(MeterLevel(1.0, 240), 240);
    EXPECT_EQ(MeterLevel(0.01, 240), 120);
    EXPECT_EQ(MeterLevel(0.0001, 240), 0);
    EXPECT_EQ(MeterLevel(kMotionFloor, 240), 0);  // below the scale: empty
    EXPECT_EQ(MeterLevel(std::nan(""), 240), 0);
    EXPECT_EQ(MeterLevel(0.0, 240), 0);
    EXPECT_EQ(ThresholdLineY(0.1, 240), 60);

    std::array<double, kHistoryLength> his;
    his.fill(kMotionFloor);
    his[0] = 0.5;   // newest, at the right
    his[29] = 0.2;  // oldest, at the left
    const auto bars = MeterBars(his, 0.3, 76, 240);
    EXPECT_EQ(bars[0].rect.x + bars[0].rect.width, 76);
    EXPECT_EQ(bars[0].rect.x, 76 - 76 / 30);
    EXPECT_EQ(bars[0].rect.height, MeterLevel(0.5, 240));
    EXPECT_EQ(bars[0].rect.y + bars[0].rect.height, 240);  // rises from the bottom
    EXPECT_TRUE(bars[0].over);
    EXPECT_EQ(bars[29].rect.x, 0);
    EXPECT_FALSE(bars[29].over);
    EXPECT_EQ(bars[5].rect.height, 0);
    // The bars tile the width without gaps.
    for (int i = 1; i < kHistoryLength; ++i)
        EXPECT_EQ(bars[i].rect.x + bars[i].rect.width, bars[i - 1].rect.x);
}

TEST(CameraView, DetectionRectangleOnTheDisplayAndFromADrag) {
    const FrameSize frame{640, 480}, display{320, 240};
    EXPECT_EQ(DisplayedRect({100, 50, 500, 400}, frame, display), (ViewRect{50, 25, 200, 175}));

    // Drag inside the picture (client coordinates; the picture starts at 8, 44).
    const DetectRect inside = DragToDetectRect(8 + 10, 44 + 20, 8 + 110, 44 + 70, frame, display);
    EXPECT_EQ(inside, (DetectRect{20, 40, 220, 140}));
    // From right to left and bottom to top: the same as the mirror drag.
    EXPECT_EQ(DragToDetectRect(8 + 110, 44 + 70, 8 + 10, 44 + 20, frame, display), inside);
    EXPECT_EQ(DragToDetectRect(8 + 110, 44 + 20, 8 + 10, 44 + 70, frame, display), inside);
    // Starting left of and above the picture: clamped to its corner.
    EXPECT_EQ(DragToDetectRect(2, 10, 8 + 100, 44 + 100, frame, display),
              (DetectRect{0, 0, 200, 200}));
    // Ending beyond the picture: clamped to the frame.
    EXPECT_EQ(DragToDetectRect(8 + 300, 44 + 200, 900, 700, frame, display),
              (DetectRect{600, 400, 640, 480}));
}

TEST(CameraView, FormatLines) {
    EXPECT_EQ(FormatLine(0, 640, 480, "YUY2"), "0:640x480(YUY2)");
    EXPECT_EQ(FormatLine(12, 1920, 1080, "MJPG"), "12:1920x1080(MJPG)");
}

}  // namespace
}  // namespace orvana::camera
