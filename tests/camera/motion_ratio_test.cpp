// The motion ratio: the fast version against the plain formula on random
// frames and rectangles, and the cases the ratio must get right — an empty
// rectangle, a scene that brightens as a whole, dark parts of a brightening
// scene, and the two ends of the sensitivity slider.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "camera/motion/camera_motion.h"
#include "camera/motion/motion_detect.h"

namespace orvana::camera {
namespace {

// A BGRx frame.
struct Frame {
    Frame(int w, int h, std::uint8_t fill = 0) : width(w), height(h), px(w * h * 4, fill) {}
    void set(int x, int y, int b, int g, int r) {
        std::uint8_t* p = &px[(static_cast<std::size_t>(y) * width + x) * 4];
        p[0] = static_cast<std::uint8_t>(b);
        p[1] = static_cast<std::uint8_t>(g);
        p[2] = static_cast<std::uint8_t>(r);
    }
    void grey(int x, int y, int v) { set(x, y, v, v, v); }
    int width, height;
    std::vector<std::uint8_t> px;
};

Frame randomFrame(std::mt19937& rng, int w, int h) {
    Frame f(w, h);
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& b : f.px)
        b = static_cast<std::uint8_t>(byte(rng));
    return f;
}

// A frame that differs from `base` by a brightness shift and local changes:
// ratios anywhere between the floor and 1, with corrections of both signs
// and bytes pushed against 0 and 255.
Frame derivedFrame(std::mt19937& rng, const Frame& base) {
    Frame f = base;
    std::uniform_int_distribution<int> shift(-90, 90), noise(-60, 60), pct(0, 99);
    const int s = shift(rng);
    const int changedPct = pct(rng);
    for (std::size_t i = 0; i < f.px.size(); ++i) {
        int v = base.px[i] + s;
        if (pct(rng) < changedPct)
            v += noise(rng);
        f.px[i] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
    }
    return f;
}

double fast(const Frame& cur, const Frame& ref, DetectRect r) {
    MotionScratch scratch;
    scratch.reserve(static_cast<std::size_t>(cur.width) * cur.height);
    return MotionRatio(cur.px.data(), ref.px.data(), cur.width, cur.height, r, scratch);
}
double plain(const Frame& cur, const Frame& ref, DetectRect r) {
    return MotionRatioReference(cur.px.data(), ref.px.data(), cur.width, cur.height, r);
}

TEST(MotionRatio, BitExactAgainstThePlainFormulaOnRandomFramesAndRectangles) {
    std::mt19937 rng(20240611);
    const std::vector<std::pair<int, int>> sizes = {{640, 480}, {1280, 720}, {37, 23},
                                                    {33, 1},    {1, 1},      {160, 120}};
    int compared = 0;
    for (auto [w, h] : sizes) {
        const Frame ref = randomFrame(rng, w, h);
        for (int round = 0; round < 6; ++round) {
            const Frame cur = derivedFrame(rng, ref);
            std::uniform_int_distribution<int> xs(-20, w + 20), ys(-20, h + 20);
            std::vector<DetectRect> rects = {
                {0, 0, w, h},                          // whole frame: one long span
                {-5, -5, 10000, 10000},                // the stored default, clamped
                {xs(rng), ys(rng), xs(rng), ys(rng)},  // anywhere, maybe inverted
                {1, 0, w, h},                          // rows that are not contiguous
                {0, 0, std::min(w, 31), h},            // shorter than one wide block
            };
            for (const DetectRect& r : rects) {
                const double a = fast(cur, ref, r);
                const double b = plain(cur, ref, r);
                if (std::isnan(b)) {
                    EXPECT_TRUE(std::isnan(a));
                } else {
                    // Bit for bit, not approximately.
                    EXPECT_EQ(a, b) << w << "x" << h << " rect " << r.left << "," << r.top << ","
                                    << r.right << "," << r.bottom;
                    ++compared;
                }
            }
        }
    }
    EXPECT_GT(compared, 120);
}

TEST(MotionRatio, BrightnessIsTheExactFloorOfTheWeightedSum) {
    // Every grey keeps its value (a floating-point sum gives v - 1 for some),
    // and colours just below and on a whole value.
    EXPECT_EQ(Brightness(255, 255, 255), 255);
    for (int v = 0; v < 256; ++v)
        ASSERT_EQ(Brightness(v, v, v), v) << v;
    EXPECT_EQ(Brightness(0, 0, 9), 1);   // 1.026
    EXPECT_EQ(Brightness(0, 0, 8), 0);   // 0.912
    EXPECT_EQ(Brightness(10, 0, 0), 2);  // 2.99: byte 0 has the weight 0.299
    EXPECT_EQ(Brightness(0, 0, 10), 1);  // 1.14: byte 2 has the weight 0.114

    // The same through the wide path: a frame of every grey against black,
    // corrected by the mean, changes exactly where the plain formula says.
    Frame cur(256, 64), ref(256, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x)
            cur.grey(x, y, x);
    EXPECT_EQ(fast(cur, ref, {0, 0, 256, 64}), plain(cur, ref, {0, 0, 256, 64}));
}

TEST(MotionRatio, ByteZeroCarriesTheWeightPointTwoNineNine) {
    // Four of 128 black pixels get 200 in one byte: in byte 0 that is a
    // brightness of 59 (changed), in byte 2 only 22 (not changed).
    Frame ref(64, 2), cur0(64, 2), cur2(64, 2);
    for (int x = 0; x < 4; ++x) {
        cur0.set(x, 0, 200, 0, 0);
        cur2.set(x, 0, 0, 0, 200);
    }
    EXPECT_EQ(fast(cur0, ref, {0, 0, 64, 2}), 4.0 / 128);
    EXPECT_EQ(fast(cur2, ref, {0, 0, 64, 2}), kMotionFloor);
}

TEST(MotionRatio, EmptyRectangleHasNoRatioAndNeverAnEvent) {
    std::mt19937 rng(7);
    const Frame ref = randomFrame(rng, 64, 48);
    const Frame cur = randomFrame(rng, 64, 48);
    for (const DetectRect r : {DetectRect{10, 10, 10, 40}, DetectRect{10, 10, 40, 10},
                               DetectRect{30, 30, 20, 20}, DetectRect{100, 0, 200, 48}}) {
        EXPECT_TRUE(std::isnan(fast(cur, ref, r)));
        EXPECT_TRUE(std::isnan(plain(cur, ref, r)));
        // Not above any threshold, the most sensitive included.
        EXPECT_FALSE(fast(cur, ref, r) > SensitivityThreshold(kSliderMax));
    }
}

TEST(MotionRatio, UniformBrighteningStaysLowUnevenChangeDoesNot) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> byte(20, 150);
    Frame ref(320, 240), lit(320, 240), uneven(320, 240);
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            const int b = byte(rng), g = byte(rng), r = byte(rng);
            ref.set(x, y, b, g, r);
            lit.set(x, y, b + 60, g + 60, r + 60);  // lights on
            // Only the left quarter brightened, by 100.
            const int add = x < 80 ? 100 : 0;
            uneven.set(x, y, b + add, g + add, r + add);
        }
    }
    const DetectRect all{0, 0, 320, 240};
    EXPECT_EQ(fast(lit, ref, all), kMotionFloor);
    EXPECT_EQ(fast(uneven, ref, all), plain(uneven, ref, all));
    EXPECT_EQ(fast(uneven, ref, all), 0.25);
}

TEST(MotionRatio, BlackPartsOfABrighteningSceneAreNotChanged) {
    // The left quarter stays black while the rest brightens by 80: the
    // corrected brightness of the black pixels is below 0 and counts as 0.
    Frame ref(128, 64), cur(128, 64);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 128; ++x) {
            const int v = x < 32 ? 0 : 100;
            ref.grey(x, y, v);
            cur.grey(x, y, x < 32 ? 0 : v + 80);
        }
    }
    const DetectRect all{0, 0, 128, 64};
    // Mean difference -60: the bright part corrects to 120, 20 above the
    // reference; the black part to 0 (wrapped it would be 196).
    EXPECT_EQ(fast(cur, ref, all), kMotionFloor);
    EXPECT_EQ(plain(cur, ref, all), kMotionFloor);
    EXPECT_EQ(CorrectedBrightness(0, -60.0), 0);
    EXPECT_EQ(CorrectedBrightness(10, -10.5), 0);
    EXPECT_EQ(CorrectedBrightness(10, -9.5), 0);  // floor(0.5)
    EXPECT_EQ(CorrectedBrightness(10, -8.5), 1);
    // Above 255 it wraps.
    EXPECT_EQ(CorrectedBrightness(250, 10.2), 4);
    EXPECT_EQ(CorrectedBrightness(255, 0.999), 255);
}

TEST(MotionRatio, SliderEndsNeverAndNearlyAlways) {
    EXPECT_EQ(SensitivityThreshold(0), 1.0);
    EXPECT_DOUBLE_EQ(SensitivityThreshold(20), 0.1);
    EXPECT_DOUBLE_EQ(SensitivityThreshold(40), 0.01);
    EXPECT_DOUBLE_EQ(SensitivityThreshold(80), 0.0001);

    // Every pixel changed: ratio 1, which is not above 100 %.
    Frame ref(64, 64), all(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            ref.grey(x, y, (x + y) % 2 ? 0 : 255);
            all.grey(x, y, (x + y) % 2 ? 255 : 0);
        }
    const double everything = fast(all, ref, {0, 0, 64, 64});
    EXPECT_EQ(everything, 1.0);
    EXPECT_FALSE(everything > SensitivityThreshold(0));

    // 62 pixels of 640 x 480 changed (0.02 %): seen at 80, not at 60.
    Frame quiet(640, 480, 90), spot = quiet;
    for (int i = 0; i < 62; ++i)
        spot.grey(300 + i % 8, 200 + i / 8, 250);
    const double small = fast(spot, quiet, {0, 0, 640, 480});
    EXPECT_DOUBLE_EQ(small, 62.0 / (640 * 480));
    EXPECT_TRUE(small > SensitivityThreshold(80));
    EXPECT_FALSE(small > SensitivityThreshold(60));
}

}  // namespace
}  // namespace orvana::camera
