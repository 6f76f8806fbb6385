// The motion ratio of one frame against a reference frame: the fraction of
// the pixels inside the detection rectangle whose brightness changed by more
// than 40 after the global brightness change is taken out.
//
// Frames are width x height pixels of 4 bytes, rows top-down, bytes 0, 1, 2
// of each pixel blue, green and red (the capture layer's BGRx). The
// brightness of a pixel is Y = floor(0.299 b0 + 0.587 b1 + 0.114 b2),
// computed exactly (the weights are whole thousandths, so it is
// (299 b0 + 587 b1 + 114 b2) div 1000; a floating-point sum would turn some
// greys v, v, v into v - 1).
//
// Correction: Yc = floor(Ycur + mean_ref - mean_cur) with both sums starting
// at 1.0. A Yc above 255 wraps modulo 256; a Yc below 0 counts as 0 (black):
// when the whole scene brightens, the parts that stay black are then not
// counted as changed, where wrapping them to near-white would count every
// one of them.
//
// Every function is reentrant; a MotionScratch belongs to one caller at a
// time. Nothing here allocates except MotionScratch::reserve.
#pragma once

#include <cstdint>
#include <vector>

namespace orvana::camera {

// The floor of a motion ratio: the meter's empty bar and the ratio reported
// while the stored frames are not complete.
inline constexpr double kMotionFloor = 0.00001;
// A brightness difference above this counts as a change.
inline constexpr int kChangeLevel = 40;

// A rectangle in frame pixels; left and top inclusive, right and bottom
// exclusive.
struct DetectRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const DetectRect&, const DetectRect&) = default;
};

// Working memory of MotionRatio: two brightness planes. Reserve once per
// frame size; MotionRatio then never allocates.
class MotionScratch {
  public:
    // Makes room for `pixels` pixels (the frame's width x height).
    void reserve(std::size_t pixels);
    std::size_t capacity() const { return cur_.size(); }

  private:
    friend double MotionRatio(const std::uint8_t*, const std::uint8_t*, int, int, DetectRect,
                              MotionScratch&);
    // Padded by one vector so the wide loops may store a whole block.
    std::vector<std::uint8_t> cur_, ref_;
};

// The motion ratio of `cur` against `ref` inside `rect` (clipped to the
// frame): changed / n, raised to kMotionFloor when smaller. Returns NaN
// when the clipped rectangle holds no pixel (the ratio cannot be computed;
// NaN is never above a threshold). Frames of width x height x 4 bytes.
// `scratch` must have room for the frame (reserve(width * height));
// otherwise it is grown here. Uses AVX2 where the processor has it; the
// result is the same on every path.
double MotionRatio(const std::uint8_t* cur, const std::uint8_t* ref, int width, int height,
                   DetectRect rect, MotionScratch& scratch);

// The same ratio computed the plain way, pixel by pixel in two passes,
// exactly as the formula reads. For tests and benchmarks.
double MotionRatioReference(const std::uint8_t* cur, const std::uint8_t* ref, int width, int height,
                            DetectRect rect);

// The brightness of one pixel (bytes b0, b1, b2).
inline int Brightness(int b0, int b1, int b2) {
    return (299 * b0 + 587 * b1 + 114 * b2) / 1000;
}

// The corrected brightness of a current brightness y for the mean
// difference d = mean_ref - mean_cur, in 0..255 (see above).
int CorrectedBrightness(int y, double d);

}  // namespace orvana::camera
