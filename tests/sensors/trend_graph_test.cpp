// The trend-graph painter: scales, the time grid, the texts, and probes of
// the painted pixels at coordinates computed from the values.
#include <gtest/gtest.h>

#include <QColor>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <clocale>
#include <cmath>
#include <string>

#include "sensors/graph/trend_graph.h"
#include "tests/sensors/test_dirs.h"

namespace orvana::sensors {
namespace {

using orvana::testing::ScopedTz;

const QColor kWhite(255, 255, 255);
const QColor kLightGrey(223, 223, 223);
const QColor kGrey(128, 128, 128);
const QColor kSilver(192, 192, 192);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

class ScopedTimeLocale {
  public:
    explicit ScopedTimeLocale(const char* name) : old_(std::setlocale(LC_TIME, nullptr)) {
        std::setlocale(LC_TIME, name);
    }
    ~ScopedTimeLocale() { std::setlocale(LC_TIME, old_.c_str()); }

  private:
    std::string old_;
};

GraphStyle style() {
    GraphStyle s;
    s.font.setPixelSize(12);
    return s;
}

QColor at(const QImage& img, int x, int y) {
    return QColor(img.pixel(x, y));
}

// Whether the colour is found within one pixel of (x, y): wide pens centre
// their stroke on the point, so the point or a neighbour carries it.
bool near(const QImage& img, int x, int y, const QColor& c) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int px = x + dx, py = y + dy;
            if (px >= 0 && py >= 0 && px < img.width() && py < img.height() && at(img, px, py) == c)
                return true;
        }
    return false;
}

int countInRect(const QImage& img, const QRect& r, const QColor& c) {
    int n = 0;
    for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x)
            n += at(img, x, y) == c;
    return n;
}

bool isText(const QColor& c) {
    return c.red() < 100 && c.green() < 100 && c.blue() < 100;
}

// The pixel coordinates of an age in minutes and of a value.
int xAt(int ageMinutes, int span, int W) {
    return W - W * ageMinutes / span;
}
int yAt(double v, const GraphScale& s, int H) {
    return static_cast<int>(H - (v - s.bottom) * H / (s.top - s.bottom));
}

// ---- AutoScale and the scales ----

TEST(AutoScale, PicksTheFirstStepFactorThatReachesTheTop) {
    double bottom = 0, top = 0, div = 0;
    EXPECT_EQ(AutoScale(18.3, 24.9, 5, &bottom, &top, &div, 0), 1);
    EXPECT_DOUBLE_EQ(div, 2);
    EXPECT_DOUBLE_EQ(bottom, 18);
    EXPECT_DOUBLE_EQ(top, 28);

    EXPECT_EQ(AutoScale(18.3, 35, 5, &bottom, &top, &div, 0), 1);
    EXPECT_DOUBLE_EQ(div, 5);
    EXPECT_DOUBLE_EQ(bottom, 15);
    EXPECT_DOUBLE_EQ(top, 40);

    // 2.5 comes before 5.
    EXPECT_EQ(AutoScale(0, 12, 5, &bottom, &top, &div, 0), 1);
    EXPECT_DOUBLE_EQ(div, 2.5);
    EXPECT_DOUBLE_EQ(top, 12.5);

    // A small range: the power of ten goes below 1.
    EXPECT_EQ(AutoScale(0.12, 0.31, 5, &bottom, &top, &div, 0), 1);
    EXPECT_NEAR(div, 0.05, 1e-12);
    EXPECT_NEAR(bottom, 0.1, 1e-12);
    EXPECT_NEAR(top, 0.35, 1e-12);
}

TEST(AutoScale, TheMarginWidensBothEndsByATenthOfAPercent) {
    double bottom = 0, top = 0, div = 0;
    AutoScale(0, 10, 5, &bottom, &top, &div, 0);
    EXPECT_DOUBLE_EQ(div, 2);
    EXPECT_DOUBLE_EQ(bottom, 0);
    EXPECT_DOUBLE_EQ(top, 10);
    // -0.01 .. 10.01 no longer fits 0..10 or -2.5..10.
    AutoScale(0, 10, 5, &bottom, &top, &div, 1);
    EXPECT_DOUBLE_EQ(div, 5);
    EXPECT_DOUBLE_EQ(bottom, -5);
    EXPECT_DOUBLE_EQ(top, 20);
}

TEST(AutoScale, ARangeWithoutWidthHasNoScaleAndLeavesTheOutputs) {
    double bottom = 7, top = 8, div = 9;
    EXPECT_EQ(AutoScale(3, 3, 5, &bottom, &top, &div, 1), 0);
    EXPECT_EQ(AutoScale(4, 3, 5, &bottom, &top, &div, 0), 0);
    EXPECT_EQ(AutoScale(NAN, 3, 5, &bottom, &top, &div, 0), 0);
    EXPECT_EQ(bottom, 7);
    EXPECT_EQ(top, 8);
    EXPECT_EQ(div, 9);
}

// Temperatures 18.3 .. 24.9 over the last hours, humidity 40 .. 60.
CTempRecordArray tempSeries(TimeT now, int minutes) {
    CTempRecordArray s;
    for (int a = minutes - 1; a >= 0; --a) {
        const double f = (a % 67) / 66.0;
        s.AddKeyedRecord(now - a * 60, 18.3 + 6.6 * f, 40 + 20 * f);
    }
    return s;
}

TEST(TrendScales, TemperatureAutoScaleFollowsTheDataAndTheLimitsThatAreOn) {
    ScopedTz tz("Asia/Tokyo");
    const TimeT now = fromLocal(2016, 5, 4, 14, 27, 30);
    CTempRecordArray s = tempSeries(now, 300);
    TempGraphInput in;
    TempScales sc = TempScalesFor(s, in);
    EXPECT_DOUBLE_EQ(sc.temp.division, 2);
    EXPECT_DOUBLE_EQ(sc.temp.bottom, 18);
    EXPECT_DOUBLE_EQ(sc.temp.top, 28);
    EXPECT_DOUBLE_EQ(sc.humid.bottom, 40);
    EXPECT_DOUBLE_EQ(sc.humid.top, 65);

    // A limit that is off does not count; one that is on widens the range.
    in.tempHi = {false, 35};
    EXPECT_DOUBLE_EQ(TempScalesFor(s, in).temp.top, 28);
    in.tempHi = {true, 35};
    sc = TempScalesFor(s, in);
    EXPECT_DOUBLE_EQ(sc.temp.division, 5);
    EXPECT_DOUBLE_EQ(sc.temp.bottom, 15);
    EXPECT_DOUBLE_EQ(sc.temp.top, 40);
    // The humidity scale is its own.
    in.humidLo = {true, 0};
    sc = TempScalesFor(s, in);
    EXPECT_DOUBLE_EQ(sc.humid.bottom, 0);
    EXPECT_DOUBLE_EQ(sc.humid.top, 100);

    // Automatic scaling off: TempMin .. TempMin + 5 divisions.
    in.tempAuto = false;
    in.tempMin = -10;
    in.tempDiv = 10;
    sc = TempScalesFor(s, in);
    EXPECT_DOUBLE_EQ(sc.temp.bottom, -10);
    EXPECT_DOUBLE_EQ(sc.temp.top, 40);
    EXPECT_DOUBLE_EQ(sc.temp.division, 10);
}

TEST(TrendScales, DataRangeSkipsTheOldestRecordAndLooksBackSpanPlusOneRecords) {
    CTempRecordArray s;
    const TimeT now = 1'500'000'000;
    for (int i = 0; i < 200; ++i)
        s.AddKeyedRecord(now - (199 - i) * 60, 20, 50);
    DataRange t, h;
    CheckDataArea(s, 60, &t, &h);
    EXPECT_DOUBLE_EQ(t.min, 20);
    EXPECT_DOUBLE_EQ(t.max, 20);

    // The 61st newest record is inside the walk, the 62nd is not.
    s[static_cast<std::size_t>(200 - 61)].m_Temp = 30;
    s[static_cast<std::size_t>(200 - 62)].m_Temp = 99;
    t = {};
    h = {};
    CheckDataArea(s, 60, &t, &h);
    EXPECT_DOUBLE_EQ(t.max, 30);

    // Index 0 never counts, even when the span covers the whole series.
    CGeigerRecordArray g;
    g.AddRecord(now - 120, 500);
    g.AddRecord(now - 60, 10);
    g.AddRecord(now, 20);
    const DataRange r = CheckDataArea(g, 1440);
    EXPECT_DOUBLE_EQ(r.min, 10);
    EXPECT_DOUBLE_EQ(r.max, 20);
    // One record: no range at all.
    CGeigerRecordArray one;
    one.AddRecord(now, 5);
    EXPECT_FALSE(CheckDataArea(one, 60).set);
}

TEST(TrendScales, PowerRangeComesFromBothMovingAveragesWithAMargin) {
    const TimeT now = 1'500'000'000;
    COwlRecordArray s;
    for (int a = 100; a >= 0; --a)
        s.AddRecord(now - a * 60, a == 50 ? 10.0 : 1.0);
    // Windows 5 and 15: the spike of 10 is at most (10 + 4) / 5 = 2.8.
    const DataRange r = CheckDataArea(s, 60, 5, 15);
    EXPECT_NEAR(r.min, 1.0, 1e-12);
    EXPECT_NEAR(r.max, 2.8, 1e-12);

    OwlGraphInput in;
    in.maR1 = 1;  // 5
    in.maR2 = 2;  // 15
    in.maL1 = 1;
    in.maL2 = 2;
    GraphScale sc = OwlScaleFor(s, in);
    // 1 .. 2.8 widened by 0.0018 at both ends.
    double b = 0, t = 0, d = 0;
    AutoScale(1.0, 2.8, 5, &b, &t, &d, 1);
    EXPECT_DOUBLE_EQ(sc.bottom, b);
    EXPECT_DOUBLE_EQ(sc.top, t);
    EXPECT_DOUBLE_EQ(sc.division, d);
    EXPECT_DOUBLE_EQ(sc.division, 0.5);
    EXPECT_DOUBLE_EQ(sc.bottom, 0.5);
    // The high limit widens it.
    in.hi = {true, 6.0};
    EXPECT_GE(OwlScaleFor(s, in).top, 6.0);
}

TEST(TrendScales, NothingToScaleFallsBackToTheManualScale) {
    const TimeT now = 1'500'000'000;
    OwlGraphInput in;  // automatic, manual 0 .. 4 step 1
    COwlRecordArray flat;
    for (int a = 30; a >= 0; --a)
        flat.AddRecord(now - a * 60, 0.0);
    GraphScale sc = OwlScaleFor(flat, in);
    EXPECT_DOUBLE_EQ(sc.bottom, 0);
    EXPECT_DOUBLE_EQ(sc.top, 4);
    EXPECT_DOUBLE_EQ(sc.division, 1);
    // A limit that is on gives the flat data a range.
    in.hi = {true, 0.2};
    sc = OwlScaleFor(flat, in);
    EXPECT_LE(sc.bottom, 0.0);
    EXPECT_GE(sc.top, 0.2);
    EXPECT_LT(sc.top, 1.0);

    // Fewer than two records, even with a limit on.
    COwlRecordArray one;
    one.AddRecord(now, 3.0);
    sc = OwlScaleFor(one, in);
    EXPECT_DOUBLE_EQ(sc.top, 4);
    CTempRecordArray none;
    const TempScales ts = TempScalesFor(none, TempGraphInput{});
    EXPECT_DOUBLE_EQ(ts.temp.bottom, -10);
    EXPECT_DOUBLE_EQ(ts.temp.top, 40);
    EXPECT_DOUBLE_EQ(ts.humid.top, 100);
}

TEST(TrendScales, ScalesThatCannotBeDrawnAreMadeDrawable) {
    // Ymin = Ymax passes the dialog; the axis still needs a height.
    OwlGraphInput in;
    in.autoScale = false;
    in.ymin = in.ymax = 2;
    COwlRecordArray s;
    GraphScale sc = OwlScaleFor(s, in);
    EXPECT_DOUBLE_EQ(sc.bottom, 2);
    EXPECT_DOUBLE_EQ(sc.top, 3);
    // A step of 0 from a hand-edited store: no endless grid loop.
    in.ystep = 0;
    sc = OwlScaleFor(s, in);
    EXPECT_DOUBLE_EQ(sc.division, 1);
    s.AddRecord(1000, 2);
    s.AddRecord(1060, 2);
    in.ystep = 1e-12;
    in.ymax = 4;
    const OwlPanes p = PaintOwlPanes(s, in, QSize(100, 80), QSize(100, 80), 1060, style());
    EXPECT_EQ(p.longPane.size(), QSize(100, 80));
}

TEST(TrendScales, AxisLabelsArePrintedWithPercentGAndNoCrumbs) {
    EXPECT_EQ(axisLabels(GraphScale{18, 28, 2}),
              (std::array<QString, 6>{"18", "20", "22", "24", "26", "28"}));
    // A manual scale from -0.3 in steps of 0.1: -0.3 + 3 x 0.1 is not
    // exactly 0, but must read 0.
    ASSERT_NE(-0.3 + 3 * 0.1, 0.0);
    const auto labels = axisLabels(GraphScale{-0.3, 0.2, 0.1});
    EXPECT_EQ(labels[0], "-0.3");
    EXPECT_EQ(labels[3], "0");
    EXPECT_EQ(labels[5], "0.2");
    EXPECT_EQ(axisLabels(GraphScale{0, 0.0005, 0.0001})[1], "0.0001");
    EXPECT_EQ(shortSpanText(180), "-- 3 [Hour] --");
    EXPECT_EQ(longSpanText(10080), "-- 7 [Day] --");
}

// ---- The time grid ----

TEST(TimeGrid, SevenDaysHaveALineEachMidnightWithTheDarkLineAndTheLabelOnMondays) {
    ScopedTz tz("Asia/Tokyo");
    ScopedTimeLocale c("C");
    // Wednesday 2016-05-04 14:27:30; Monday was 2016-05-02.
    const TimeT now = fromLocal(2016, 5, 4, 14, 27, 30);
    const int W = 1008;
    const auto grid = TimeGrid(now, 10080, W);
    ASSERT_EQ(grid.size(), 7u);
    for (int day = 0; day < 7; ++day) {
        const TimeGridLine& g = grid[static_cast<std::size_t>(day)];
        // Midnight `day` days before May 4th.
        const int k = static_cast<int>((now - fromLocal(2016, 5, 4 - day, 0, 0, 0)) / 60);
        EXPECT_EQ(g.x, W - W * k / 10080) << day;
        EXPECT_EQ(g.dark, day == 2) << day;
        EXPECT_EQ(g.label, day == 2) << day;
    }
    EXPECT_EQ(grid[2].text, "2(Mon)");

    // The painted pane: light grey lines, the Monday grey, each label
    // centred on its line above the bottom edge.
    CTempRecordArray none;
    TempGraphInput in;
    in.periodL = 3;
    const int H = 200;
    QImage img(W, H, QImage::Format_RGB32);
    DrawTempGraph(img, none, in, TempScalesFor(none, in), 10080, now, style());
    for (const TimeGridLine& g : grid)
        EXPECT_EQ(at(img, g.x, 100), g.dark ? kGrey : kLightGrey) << g.x;
    EXPECT_EQ(at(img, grid[0].x - 5, 100), kWhite);
    const int mx = grid[2].x;
    int left = W, right = -1, top = H, bottom = -1;
    for (int y = H / 2; y < H; ++y)
        for (int x = mx - 50; x <= mx + 50; ++x)
            if (isText(at(img, x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0);
    EXPECT_NEAR((left + right) / 2.0, mx, 4);
    EXPECT_LE(bottom, H - 3);
    EXPECT_GE(bottom, H - 8);
    // The label's opaque background hides the line behind it.
    EXPECT_EQ(at(img, mx, bottom - 1 - (bottom - top) / 2) == kGrey, false);
}

TEST(TimeGrid, ALabelOnTheRightEdgeStaysWholeInsideThePane) {
    ScopedTz tz("Asia/Tokyo");
    // 18:00:30: the "18:00" label belongs to the right edge.
    const TimeT now = fromLocal(2016, 5, 4, 18, 0, 30);
    CTempRecordArray none;
    TempGraphInput in;
    in.periodS = 4;
    const int W = 400, H = 200;
    QImage img(W, H, QImage::Format_RGB32);
    DrawTempGraph(img, none, in, TempScalesFor(none, in), 1440, now, style());
    const auto grid = TimeGrid(now, 1440, W);
    ASSERT_FALSE(grid.empty());
    EXPECT_EQ(grid[0].x, W);
    EXPECT_EQ(grid[0].text, "18:00");
    QFont f = style().font;
    const int w = QFontMetrics(f).horizontalAdvance("18:00");
    int left = W;
    for (int y = H - 20; y < H; ++y)
        for (int x = W - w - 4; x < W; ++x)
            if (isText(at(img, x, y)))
                left = std::min(left, x);
    // The whole width of the text, not the half left of the edge.
    EXPECT_LE(left, W - w + 3);
}

TEST(TimeGrid, FourteenDaysLabelMondaysWithMonthAndDay) {
    ScopedTz tz("Europe/Berlin");
    ScopedTimeLocale c("C");
    // Thursday 2018-03-08; the Mondays of the span are 02-26 and 03-05.
    const TimeT now = fromLocal(2018, 3, 8, 10, 0, 30);
    const auto grid = TimeGrid(now, 20160, 700);
    EXPECT_EQ(grid.size(), 14u);
    std::vector<std::string> labels;
    for (const TimeGridLine& g : grid) {
        EXPECT_EQ(g.dark, g.label);
        if (g.label)
            labels.push_back(g.text);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"3/05(Mon)", "2/26(Mon)"}));
    // Thirty days: the same weekly labels.
    const auto month = TimeGrid(now, 43200, 700);
    int mondays = 0;
    for (const TimeGridLine& g : month)
        mondays += g.label;
    EXPECT_EQ(month.size(), 30u);
    EXPECT_EQ(mondays, 4);
}

TEST(TimeGrid, HourLabelsLoseTheirLeadingZero) {
    ScopedTz tz("Asia/Tokyo");
    const TimeT now = fromLocal(2016, 5, 4, 10, 30, 0);
    const auto grid = TimeGrid(now, 360, 600);
    std::vector<std::string> labels;
    for (const TimeGridLine& g : grid) {
        labels.push_back(g.text);
        EXPECT_FALSE(g.dark);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"10:00", "9:00", "8:00", "7:00", "6:00", "5:00"}));
    // The minute of now itself is k = 0, at the right edge.
    const auto edge = TimeGrid(fromLocal(2016, 5, 4, 0, 0, 0), 1440, 600);
    ASSERT_FALSE(edge.empty());
    EXPECT_EQ(edge[0].x, 600);
    EXPECT_TRUE(edge[0].dark);
    EXPECT_EQ(edge[0].text, "0:00");
    // The 3-day graph: days with weekday; a span outside the table: no grid.
    const auto three = TimeGrid(now, 4320, 600);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_TRUE(three[0].label);
    EXPECT_TRUE(TimeGrid(now, 100, 600).empty());
}

// ---- Texts ----

TEST(TrendTexts, ShortAndLongPaneOfTheSameSpanBothShowTheTemperature) {
    ScopedTz tz("Asia/Tokyo");
    const TimeT now = fromLocal(2016, 5, 4, 14, 27, 30);
    CTempRecordArray s;
    for (int a = 100; a >= 0; --a)
        s.AddKeyedRecord(now - a * 60, 21.4, 41.25);
    const auto texts = TempValueTexts(s, GraphColours{});
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, QString::fromUtf8("温度： 21.4[℃] "));
    EXPECT_EQ(texts[1].text, QString::fromUtf8("湿度： 41.2[%] "));
    EXPECT_EQ(texts[0].colour, kRed);
    EXPECT_EQ(texts[1].colour, kBlue);
    EXPECT_TRUE(TempValueTexts(CTempRecordArray{}, GraphColours{}).empty());

    // Curves low in the pane, so only the texts reach the top right.
    TempGraphInput in;
    in.tempAuto = in.humidAuto = false;
    in.tempMin = 0;
    in.tempDiv = 100;
    in.humidMin = 0;
    in.humidDiv = 100;
    const QRect topRight(240, 0, 240, 60);
    in.periodS = 4;  // 24H
    in.periodL = 0;  // 1日
    TempPanes p = PaintTempPanes(s, in, QSize(480, 320), QSize(480, 320), now, style());
    EXPECT_GT(countInRect(p.shortPane, topRight, kRed), 20);
    EXPECT_GT(countInRect(p.longPane, topRight, kRed), 20);
    EXPECT_GT(countInRect(p.longPane, topRight, kBlue), 20);
    in.periodL = 2;  // 3日: the long pane has no texts
    p = PaintTempPanes(s, in, QSize(480, 320), QSize(480, 320), now, style());
    EXPECT_GT(countInRect(p.shortPane, topRight, kRed), 20);
    EXPECT_EQ(countInRect(p.longPane, topRight, kRed), 0);
    EXPECT_EQ(countInRect(p.longPane, topRight, kBlue), 0);
    EXPECT_EQ(p.shortSpan, "-- 24 [Hour] --");
    EXPECT_EQ(p.longSpan, "-- 3 [Day] --");
}

TEST(TrendTexts, MovingAverageAndCostLinesNameTheirWindow) {
    const TimeT now = 1'500'000'000;
    COwlRecordArray s;
    for (int a = 1439; a >= 0; --a)
        s.AddRecord(now - a * 60, 0.5);
    const GraphColours c;
    auto texts = OwlValueTexts(s, 1, 15, 1440, 25.0, c);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].text, QString::fromUtf8("瞬時電力(1分計)： 0.500[kW] "));
    EXPECT_EQ(texts[0].colour, kSilver);
    EXPECT_EQ(texts[1].text, QString::fromUtf8("15分平均電力: 0.500[kW] "));
    EXPECT_EQ(texts[1].colour, kRed);
    // 25 yen x 0.5 kW x 24 h.
    EXPECT_EQ(texts[2].text, QString::fromUtf8("概算電力料金(1日間): 300.0[円] "));
    EXPECT_EQ(texts[2].colour, kBlue);
    texts = OwlValueTexts(s, 60, 720, 180, 25.0, c);
    EXPECT_EQ(texts[0].text, QString::fromUtf8("1時間平均電力: 0.500[kW] "));
    EXPECT_EQ(texts[1].text, QString::fromUtf8("12時間平均電力: 0.500[kW] "));
    EXPECT_EQ(texts[2].text, QString::fromUtf8("概算電力料金(3時間):  37.5[円] "));

    CGeigerRecordArray g;
    for (int a = 9; a >= 0; --a)
        g.AddRecord(now - a * 60, a < 5 ? 30 : 10);
    const auto gt = GeigerValueTexts(g, 1, 5, c);
    ASSERT_EQ(gt.size(), 2u);
    EXPECT_EQ(gt[0].text, QString::fromUtf8("1分計：30.000[CPM] "));
    EXPECT_EQ(gt[1].text, QString::fromUtf8("5分平均:30.000[CPM] "));
    EXPECT_EQ(GeigerValueTexts(g, 10, 120, c)[0].text, QString::fromUtf8("10分平均:20.000[CPM] "));
    EXPECT_EQ(GeigerValueTexts(g, 10, 120, c)[1].text, QString::fromUtf8("2時間平均:20.000[CPM] "));
    EXPECT_TRUE(OwlValueTexts(COwlRecordArray{}, 1, 5, 60, 25, c).empty());
}

// ---- Curves, limits, clipping ----

TEST(TrendCurves, TemperatureRedAndHumidityBlueAtTheirValues) {
    ScopedTz tz("Asia/Tokyo");
    const TimeT now = fromLocal(2016, 5, 4, 14, 27, 30);
    CTempRecordArray s;
    for (int a = 59; a >= 0; --a)
        s.AddKeyedRecord(now - 30 - a * 60, a < 30 ? 20.0 : 10.0, a < 30 ? 60.0 : 80.0);
    TempGraphInput in;
    in.tempAuto = in.humidAuto = false;
    in.tempMin = 0;
    in.tempDiv = 10;  // 0 .. 50
    in.humidMin = 0;
    in.humidDiv = 20;  // 0 .. 100
    const TempScales sc = TempScalesFor(s, in);
    const int W = 600, H = 300;
    QImage img(W, H, QImage::Format_RGB32);
    DrawTempGraph(img, s, in, sc, 60, now, style());
    // Ages in whole minutes: the newest record is 30 s old, age 0.
    EXPECT_TRUE(near(img, xAt(15, 60, W), yAt(20, sc.temp, H), kRed));
    EXPECT_TRUE(near(img, xAt(45, 60, W), yAt(10, sc.temp, H), kRed));
    EXPECT_TRUE(near(img, xAt(15, 60, W), yAt(60, sc.humid, H), kBlue));
    EXPECT_TRUE(near(img, xAt(45, 60, W), yAt(80, sc.humid, H), kBlue));
    // Where the temperature was 10 there is no red at its later height.
    EXPECT_FALSE(near(img, xAt(45, 60, W), yAt(20, sc.temp, H), kRed));
    // Two pixels wide: the rows two away from the line are clear.
    const int y = yAt(10, sc.temp, H);
    EXPECT_EQ(countInRect(img, QRect(xAt(50, 60, W), y - 3, 50, 1), kRed), 0);
    EXPECT_EQ(countInRect(img, QRect(xAt(50, 60, W), y + 2, 50, 1), kRed), 0);
}

TEST(TrendCurves, MovingAveragesSilverThenRedFourPixelsWide) {
    const TimeT now = 1'500'000'000;
    CGeigerRecordArray s;
    // 0 for two hours, then 10 for the last hour.
    for (int a = 179; a >= 0; --a)
        s.AddRecord(now - a * 60, a < 60 ? 10.0 : 0.0);
    GeigerGraphInput in;
    in.autoScale = false;
    in.cpmMin = -4;
    in.cpmDiv = 4;  // -4 .. 16
    in.cpmHi.on = false;
    const GraphScale sc = GeigerScaleFor(s, in);
    const int W = 600, H = 400;
    QImage img(W, H, QImage::Format_RGB32);
    // Short graph of 3 hours: raw counts in silver, 60-minute average in red.
    DrawGeigerGraph(img, s, in, sc, 180, 1, 60, now, style());
    // 30 minutes ago the raw value is 10 and the hour's average 31 x 10 / 60.
    const int x = xAt(30, 180, W);
    EXPECT_TRUE(near(img, x, yAt(10, sc, H), kSilver));
    EXPECT_TRUE(near(img, x, yAt(310.0 / 60, sc, H), kRed));
    // Four pixels wide where the red curve runs flat (the old part, 0).
    int redRows = 0;
    for (int y = 0; y < H; ++y)
        redRows += at(img, xAt(120, 180, W), y) == kRed;
    EXPECT_GE(redRows, 3);
    EXPECT_LE(redRows, 5);
    // The red curve was drawn after the silver one: where both lie (old
    // part, value 0), red wins.
    EXPECT_TRUE(near(img, xAt(150, 180, W), yAt(0, sc, H) - 1, kRed));
    EXPECT_FALSE(near(img, xAt(150, 180, W), yAt(0, sc, H) - 1, kSilver));
}

TEST(TrendCurves, LimitLinesDashedLowDottedHighAtTheirHeights) {
    const TimeT now = 1'500'000'000;
    CTempRecordArray s;
    TempGraphInput in;
    in.tempAuto = in.humidAuto = false;
    in.tempMin = 0;
    in.tempDiv = 10;
    in.humidMin = 0;
    in.humidDiv = 20;
    in.tempLo = {true, 5};
    in.tempHi = {true, 40};
    in.humidLo = {true, 30};
    in.humidHi = {false, 90};
    const TempScales sc = TempScalesFor(s, in);
    const int W = 600, H = 300;
    QImage img(W, H, QImage::Format_RGB32);
    DrawTempGraph(img, s, in, sc, 60, now, style());
    auto share = [&](int y, const QColor& c) {
        return countInRect(img, QRect(0, y, W, 1), c) / double(W);
    };
    // Dashed 18 on 6 off, dotted 3 on 3 off.
    EXPECT_NEAR(share(yAt(5, sc.temp, H), kRed), 0.75, 0.06);
    EXPECT_NEAR(share(yAt(40, sc.temp, H), kRed), 0.5, 0.06);
    EXPECT_NEAR(share(yAt(30, sc.humid, H), kBlue), 0.75, 0.06);
    EXPECT_EQ(share(yAt(90, sc.humid, H), kBlue), 0.0);  // off
    EXPECT_EQ(share(yAt(40, sc.temp, H) + 1, kRed), 0.0);
    // The longest red run tells dashes from dots.
    auto longestRun = [&](int y, const QColor& c) {
        int best = 0, run = 0;
        for (int x = 0; x < W; ++x) {
            run = at(img, x, y) == c ? run + 1 : 0;
            best = std::max(best, run);
        }
        return best;
    };
    EXPECT_GE(longestRun(yAt(5, sc.temp, H), kRed), 15);
    EXPECT_LE(longestRun(yAt(40, sc.temp, H), kRed), 4);

    // Power: blue, low dashed and high dotted; the radiation limit red dotted.
    COwlRecordArray owl;
    OwlGraphInput oin;
    oin.autoScale = false;
    oin.lo = {true, 1.0};
    oin.hi = {true, 3.0};
    const GraphScale os = OwlScaleFor(owl, oin);
    QImage op(W, H, QImage::Format_RGB32);
    img = op;
    DrawOwlGraph(img, owl, oin, os, 60, 1, 30, now, style());
    EXPECT_NEAR(share(yAt(1.0, os, H), kBlue), 0.75, 0.06);
    EXPECT_NEAR(share(yAt(3.0, os, H), kBlue), 0.5, 0.06);
    CGeigerRecordArray geiger;
    GeigerGraphInput gin;
    gin.autoScale = false;  // 0 .. 200, limit 120 on by default
    const GraphScale gs = GeigerScaleFor(geiger, gin);
    DrawGeigerGraph(img, geiger, gin, gs, 60, 1, 30, now, style());
    EXPECT_NEAR(share(yAt(120, gs, H), kRed), 0.5, 0.06);
}

TEST(TrendCurves, ValueGridHasAGreyZeroLine) {
    const TimeT now = 1'500'000'000;
    COwlRecordArray s;
    OwlGraphInput in;
    in.autoScale = false;
    in.ymin = -1;
    in.ymax = 3;
    in.ystep = 1;
    const GraphScale sc = OwlScaleFor(s, in);
    const int W = 400, H = 200;
    QImage img(W, H, QImage::Format_RGB32);
    DrawOwlGraph(img, s, in, sc, 60, 1, 5, now, style());
    EXPECT_EQ(at(img, 7, yAt(0, sc, H)), kGrey);
    EXPECT_EQ(at(img, 7, yAt(1, sc, H)), kLightGrey);
    EXPECT_EQ(at(img, 7, yAt(2, sc, H)), kLightGrey);
    EXPECT_EQ(at(img, 7, yAt(2.5, sc, H)), kWhite);

    // The temperature grid: fifths of the height, whatever the scales.
    CTempRecordArray t;
    TempGraphInput tin;
    DrawTempGraph(img, t, tin, TempScalesFor(t, tin), 60, now, style());
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(at(img, 7, i * H / 5), kLightGrey) << i;
    EXPECT_EQ(at(img, 7, H / 5 + 3), kWhite);
}

TEST(TrendCurves, OnlyTheSegmentLeavingTheSpanIsDrawnOfOlderRecords) {
    ScopedTz tz("Asia/Tokyo");
    const TimeT now = fromLocal(2016, 5, 4, 14, 27, 30);
    CTempRecordArray s;
    for (int a : {600, 300, 180, 120})  // older than the hour
        s.AddKeyedRecord(now - 30 - a * 60, 45, 50);
    for (int a = 30; a >= 0; --a)  // the last half hour
        s.AddKeyedRecord(now - 30 - a * 60, 20, 50);
    TempGraphInput in;
    in.tempAuto = in.humidAuto = false;
    in.tempMin = 0;
    in.tempDiv = 10;
    const TempScales sc = TempScalesFor(s, in);
    const int W = 600, H = 300;
    QImage img(W, H, QImage::Format_RGB32);
    const PaneStats st = DrawTempGraph(img, s, in, sc, 60, now, style());
    // 31 records inside, and the first one outside.
    EXPECT_EQ(st.recordsVisited, 32);
    // The leaving segment runs from (age 30, 20) to (age 120, 45): it
    // crosses the left half of the pane.
    const int x0 = xAt(30, 60, W), x1 = xAt(120, 60, W);
    const int y0 = yAt(20, sc.temp, H), y1 = yAt(45, sc.temp, H);
    for (int x : {W / 4, 10}) {
        const int y = y0 + (y1 - y0) * (x - x0) / (x1 - x0);
        EXPECT_TRUE(near(img, x, y, kRed)) << x;
    }
}

TEST(TrendCurves, ManualScaleClipsDataOutsideIt) {
    const TimeT now = 1'500'000'000;
    COwlRecordArray s;
    // 2 kW for the older half hour, then 10 kW.
    for (int a = 59; a >= 0; --a)
        s.AddRecord(now - a * 60, a >= 30 ? 2.0 : 10.0);
    OwlGraphInput in;
    in.autoScale = false;  // 0 .. 4
    const GraphScale sc = OwlScaleFor(s, in);
    EXPECT_DOUBLE_EQ(sc.top, 4);
    const int W = 480, H = 320;
    QImage img(W, H, QImage::Format_RGB32);
    DrawOwlGraph(img, s, in, sc, 60, 1, 1, now, style());
    EXPECT_TRUE(near(img, xAt(45, 60, W), yAt(2, sc, H), kRed));
    // Above the top: nothing of the curve inside the pane below the texts.
    EXPECT_EQ(countInRect(img, QRect(xAt(20, 60, W), 120, 60, H - 160), kRed), 0);
    // The curve leaves through the top edge.
    EXPECT_GT(countInRect(img, QRect(xAt(31, 60, W), 0, xAt(28, 60, W) - xAt(31, 60, W), 3), kRed),
              0);
    // With automatic scaling the same data fit.
    in.autoScale = true;
    const GraphScale autoSc = OwlScaleFor(s, in);
    EXPECT_GE(autoSc.top, 10);
}

TEST(TrendCurves, PowerWindowDrawsItsOwnAxisTexts) {
    QImage img(400, 300, QImage::Format_RGB32);
    img.fill(Qt::white);
    const QRect longFrame(52, 52, 160, 200), shortFrame(216, 52, 160, 200);
    {
        QPainter p(&img);
        QFont f;
        f.setPixelSize(12);
        DrawOwlAxisTexts(p, shortFrame, longFrame, GraphScale{0, 4, 1}, 60, 4320, f,
                         QColor(0, 0, 0), 28);
    }
    // Nothing right of 4 pixels left of the long frame, above the frames' bottom.
    int rightmost = -1;
    for (int y = 0; y < longFrame.bottom(); ++y)
        for (int x = 0; x < 400; ++x)
            if (isText(at(img, x, y)))
                rightmost = std::max(rightmost, x);
    EXPECT_LE(rightmost, longFrame.x() - 5);
    EXPECT_GE(rightmost, longFrame.x() - 12);
    // A value text ends (bottom-aligned) at its height + 28 / 4, for 0 .. 4.
    for (double v : {0.0, 1.0, 2.0, 3.0, 4.0}) {
        const int y = longFrame.y() + yAt(v, GraphScale{0, 4, 1}, longFrame.height()) + 7;
        int dark = 0;
        for (int yy = y - 12; yy < y; ++yy)
            for (int x = 0; x < longFrame.x() - 4; ++x)
                dark += isText(at(img, x, yy));
        EXPECT_GT(dark, 5) << v;
    }
    // The span texts under each frame.
    const int below = longFrame.y() + longFrame.height() + 2;
    for (const QRect& fr : {longFrame, shortFrame}) {
        int dark = 0;
        for (int y = below; y < below + 16; ++y)
            for (int x = fr.left(); x <= fr.right(); ++x)
                dark += isText(at(img, x, y));
        EXPECT_GT(dark, 30);
    }
}

}  // namespace
}  // namespace orvana::sensors
