// The level graph's pixels, painted into a QImage.
#include <gtest/gtest.h>

#include <QImage>

#include "sound/level_graph.h"

namespace orvana::sound {
namespace {

int countBars(const QImage& img) {
    int bars = 0;
    const int y = img.height() - 1;  // the bottom row holds every non-empty bar
    for (int x = 0; x < img.width(); ++x) {
        const QRgb c = img.pixel(x, y);
        const bool bar = c == LevelGraph::kNormalOutline || c == LevelGraph::kOverOutline;
        const bool prev = x > 0 && (img.pixel(x - 1, y) == LevelGraph::kNormalOutline ||
                                    img.pixel(x - 1, y) == LevelGraph::kOverOutline);
        // Adjacent bars touch; count each one by its 3-pixel cell.
        if (bar && (!prev || (img.width() - x) % 3 == 0))
            ++bars;
    }
    return bars;
}

TEST(LevelGraph, ControlThreeKWideShowsKBarsAndWideningAddsEmptyOnes) {
    LevelGraph g;
    QImage img(30, 50, QImage::Format_RGB32);
    g.Paint(img);
    EXPECT_EQ(g.m_values.size(), 10u);
    for (int i = 0; i < 10; ++i)
        g.AddValue(0.3);
    EXPECT_EQ(g.m_values.size(), 10u);
    g.Paint(img);
    EXPECT_EQ(countBars(img), 10);
    // A bar: 3 pixels wide, outline one pixel, fill inside, from the bottom.
    const int top = 50 - static_cast<int>(50 * 0.3);
    EXPECT_EQ(img.pixel(29, top), LevelGraph::kNormalOutline);
    EXPECT_EQ(img.pixel(28, top + 1), LevelGraph::kNormalFill);
    EXPECT_EQ(img.pixel(28, top - 1), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(27, 49), LevelGraph::kNormalOutline);

    QImage wide(33, 50, QImage::Format_RGB32);  // 31, 32 pixels: still 10 bars
    g.Paint(wide);
    EXPECT_EQ(g.m_values.size(), 11u);
    EXPECT_EQ(countBars(wide), 10);  // the new, oldest bar has no height
    EXPECT_DOUBLE_EQ(g.m_values.back(), 0.0);
    QImage narrow(32, 50, QImage::Format_RGB32);
    g.Paint(narrow);
    EXPECT_EQ(g.m_values.size(), 10u);
}

TEST(LevelGraph, LevelAtTheThresholdIsBlueOneStepAboveRed) {
    LevelGraph g;
    const double t = LevelGraph::fractionOf(-15.0);
    g.m_startThreshold = g.m_endThreshold = t;
    QImage img(6, 84, QImage::Format_RGB32);
    g.Paint(img);
    g.AddValue(t);
    g.AddValue(LevelGraph::fractionOf(-15.0 + 0.1));  // newest, at the right
    g.Paint(img);
    EXPECT_EQ(img.pixel(4, 82), LevelGraph::kOverFill);
    EXPECT_EQ(img.pixel(1, 82), LevelGraph::kNormalFill);
    // In an alarm the end threshold decides, with the same rule.
    g.m_alarm = 1;
    g.m_endThreshold = LevelGraph::fractionOf(-14.0);
    g.Paint(img);
    EXPECT_EQ(img.pixel(4, 82), LevelGraph::kNormalFill);
}

TEST(LevelGraph, ThresholdIsATwoPixelLineOrABand) {
    LevelGraph g;
    g.m_startThreshold = g.m_endThreshold = 0.5;
    QImage img(30, 40, QImage::Format_RGB32);
    g.Paint(img);
    const int y = 40 - 20 - 1;
    EXPECT_EQ(img.pixel(10, y), LevelGraph::kThresholdLine);
    EXPECT_EQ(img.pixel(10, y - 1), LevelGraph::kThresholdLine);
    EXPECT_EQ(img.pixel(10, y + 1), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(10, y - 2), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(1, y), qRgb(255, 255, 255));  // starts at x = left + 2
    EXPECT_EQ(img.pixel(2, y), LevelGraph::kThresholdLine);

    g.m_startThreshold = 0.75;
    g.Paint(img);
    for (int row = 40 - 30 - 1; row <= y; ++row)
        EXPECT_EQ(img.pixel(10, row), LevelGraph::kThresholdBand);
    EXPECT_EQ(img.pixel(10, y + 1), qRgb(255, 255, 255));
}

TEST(LevelGraph, NoCurvesWhenTheDynamicThresholdIsOff) {
    LevelGraph g;
    QImage img(30, 42, QImage::Format_RGB32);
    g.Paint(img);
    for (int i = 0; i < 10; ++i)
        g.AddValueAve(0.2);
    EXPECT_TRUE(g.m_averages.empty());  // no limit set yet
    g.m_dynamicOffset = -1;
    g.Paint(img);
    auto count = [&](QRgb c) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += img.pixel(x, y) == c;
        return n;
    };
    EXPECT_EQ(count(LevelGraph::kAverageCurve), 0);
    EXPECT_EQ(count(LevelGraph::kDynamicCurve), 0);

    g.m_dynamicOffset = 10.0 / 42;
    g.Paint(img);
    EXPECT_EQ(g.m_maxAverages, 10);
    for (int i = 0; i < 15; ++i)
        g.AddValueAve(0.2);
    EXPECT_EQ(g.m_averages.size(), 10u);
    g.Paint(img);
    EXPECT_GT(count(LevelGraph::kAverageCurve), 20);
    EXPECT_GT(count(LevelGraph::kDynamicCurve), 20);
    const int ya = 42 - static_cast<int>(42 * 0.2);
    EXPECT_EQ(img.pixel(15, ya), LevelGraph::kAverageCurve);

    // Switched off again: no curves, and the series stops at its last limit.
    g.m_dynamicOffset = -1;
    g.Paint(img);
    EXPECT_EQ(count(LevelGraph::kAverageCurve), 0);
    g.AddValueAve(0.4);
    EXPECT_EQ(g.m_averages.size(), 10u);
}

TEST(LevelGraph, OutOfScaleValuesAreClipped) {
    LevelGraph g;
    QImage img(6, 20, QImage::Format_RGB32);
    g.Paint(img);
    g.AddValue(-0.5);
    g.AddValue(3.0);
    g.Paint(img);
    EXPECT_EQ(img.pixel(3, 0), LevelGraph::kOverOutline);  // the top row, clipped
    EXPECT_EQ(img.pixel(4, 0), LevelGraph::kOverFill);
    EXPECT_EQ(img.pixel(1, 19), qRgb(255, 255, 255));  // below the bottom: nothing
}

}  // namespace
}  // namespace orvana::sound
