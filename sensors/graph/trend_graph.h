// The trend graphs of the three sensor monitors: the Y scale (manual or
// automatic), the time grid with its labels, the curves, the alarm limit
// lines and the value texts, painted into off-screen images that a window
// copies onto its two graph frames in one block each.
//
// Widget-free: everything is painted with QPainter on QImage, so it needs a
// QGuiApplication only for the fonts of the texts. The inputs are plain
// structs, filled by each window from its monitor's settings.
//
// Threads: UI thread (the series belong to their monitor and are read on the
// UI thread). The radiation and power series are not const here: their
// moving averages are precomputed into the records' cache before drawing.
// Nothing throws; broken numbers (a zero division, an empty range, NaN) are
// drawn as described with each function instead of failing.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <string>
#include <vector>

#include "core/clock.h"
#include "sensors/sensor_records.h"

class QPainter;

namespace orvana {

// Graph spans in minutes: short (right) graphs "1H" .. "24H", long (left)
// graphs "1日" .. "30日". The settings store their index.
inline constexpr std::array<int, 5> TimeSpanS = {60, 180, 360, 720, 1440};
inline constexpr std::array<int, 6> TimeSpanL = {1440, 2880, 4320, 10080, 20160, 43200};

// Picks a scale with a simple step for the values a..b in n divisions. With
// margin set the range first grows by 0.1 % of its width at both ends. The
// step factors 0.5, 1, 2, 2.5, 5, 10, 20, 25 times the power of ten below
// (b - a) / n are tried in this order; the first one whose
// bottom = floor(a / d) * d, top = bottom + n * d reaches b is kept and 1 is
// returned. When none reaches b the last factor's values are kept and 0 is
// returned. A range without width (b <= a, or not finite) or n <= 0 has no
// scale: 0 is returned and the outputs are left alone.
int AutoScale(double a, double b, int n, double* bottom, double* top, double* division, int margin);

namespace sensors {

// The span of a settings index; an index outside the table (a hand-edited
// store) takes the nearest end of the table.
int spanS(int index);
int spanL(int index);
// The same for the moving-average window tables.
int windowS(int index);
int windowL(int index);

// Bottom value, top value and division of a Y axis.
struct GraphScale {
    double bottom = 0.0;
    double top = 1.0;
    double division = 1.0;
};

// A scale that can be drawn: a division that is not above 0 (or not finite)
// becomes 1, and a top not above the bottom becomes bottom + division (the
// power dialog accepts Ymin = Ymax). Applied to every scale before drawing.
GraphScale drawable(GraphScale s);

// The minimum and maximum of some values; `set` is false until one was seen.
struct DataRange {
    double min = 0.0;
    double max = 0.0;
    bool set = false;
    void include(double v);
    void unite(const DataRange& r);
};

// The data range over a span: from the newest record backwards over at most
// span + 1 records, never the oldest record of the series (index 0); so a
// series of fewer than two records gives no range.
// Temperature: raw temperatures and humidities separately.
void CheckDataArea(const CTempRecordArray& s, int span, DataRange* temp, DataRange* humid);
// Radiation: raw counts.
DataRange CheckDataArea(const CGeigerRecordArray& s, int span);
// Power: the moving averages of both windows (precomputed here over the
// span), in one range.
DataRange CheckDataArea(COwlRecordArray& s, int span, int window1, int window2);

// An alarm limit and whether its alarm is switched on.
struct AlarmLimit {
    bool on = false;
    double value = 0.0;
};

struct GraphColours {
    QColor background{255, 255, 255};
    QColor lightGrey{223, 223, 223};  // grid
    QColor grey{128, 128, 128};       // dark grid lines, the zero line
    QColor silver{192, 192, 192};     // the grey moving-average curve and its text
    QColor red{255, 0, 0};
    QColor blue{0, 0, 255};
    QColor text{0, 0, 0};  // time labels, the power window's axis texts
};

// What every pane is painted with: the dialog font and the colours.
struct GraphStyle {
    QFont font;
    GraphColours colours;
};

// The temperature/humidity monitor's graph settings.
struct TempGraphInput {
    bool tempAuto = true;
    double tempMin = -10.0;
    double tempDiv = 10.0;
    AlarmLimit tempLo{false, 0.0};
    AlarmLimit tempHi{false, 35.0};
    bool humidAuto = true;
    double humidMin = 0.0;
    double humidDiv = 20.0;
    AlarmLimit humidLo{false, 20.0};
    AlarmLimit humidHi{false, 80.0};
    int periodS = 0;  // index into TimeSpanS
    int periodL = 2;  // index into TimeSpanL
};

// The radiation monitor's graph settings; the curves' windows are indexes
// into TimeMaS (short graph) and TimeMaL (long graph).
struct GeigerGraphInput {
    bool autoScale = true;
    double cpmMin = 0.0;
    double cpmDiv = 40.0;
    AlarmLimit cpmHi{true, 120.0};
    int periodS = 0;
    int periodL = 2;
    int maS1 = 0, maS2 = 3;  // grey and red curve of the short graph
    int maL1 = 4, maL2 = 8;  // grey and red curve of the long graph
};

// The power monitor's graph settings.
struct OwlGraphInput {
    bool autoScale = true;
    double ymin = 0.0;
    double ymax = 4.0;
    double ystep = 1.0;
    AlarmLimit lo{false, 3.0};
    AlarmLimit hi{false, 0.2};
    double costPerKW = 25.0;  // yen per kWh
    int periodR = 0;          // short graph span, index into TimeSpanS
    int periodL = 2;
    int maR1 = 0, maR2 = 3;
    int maL1 = 4, maL2 = 8;
};

struct TempScales {
    GraphScale temp;
    GraphScale humid;
};

// The scales used for painting. Automatic scaling takes the data range of
// both spans, widened by every alarm limit that is on, in 5 divisions
// (radiation and temperature without margin, power with). Where there is
// nothing to scale - fewer than two records, or flat data with no limit on
// (a constant 0 kW) - the manual scale is used. Always drawable().
TempScales TempScalesFor(const CTempRecordArray& s, const TempGraphInput& in);
GraphScale GeigerScaleFor(const CGeigerRecordArray& s, const GeigerGraphInput& in);
GraphScale OwlScaleFor(COwlRecordArray& s, const OwlGraphInput& in);

// "%g" of a scale value; a value within a billionth of a division of 0 is
// printed as 0 (bottom + k * division leaves such crumbs).
QString axisText(double v, double division);
// The six axis labels of a scale, bottom to top.
std::array<QString, 6> axisLabels(const GraphScale& s);
// "-- %d [Hour] --" with span / 60 and "-- %d [Day] --" with span / 60 / 24.
QString shortSpanText(int span);
QString longSpanText(int span);

// One vertical line of the time grid of a pane W pixels wide.
struct TimeGridLine {
    int x = 0;
    bool dark = false;  // grey instead of light grey
    bool label = false;
    std::string text;  // the label, when label is set
};

// The time grid of a span (a TimeSpanS or TimeSpanL value; another span has
// no grid): for each minute k = 0 .. span - 1 back from now (seconds as now),
// at x = W - W * k / span, a line where the local time falls on the span's
// grid interval, dark and labelled by its dark and label intervals (the
// week interval means Monday 00:00). Labels use the span's strftime pattern
// in the current LC_TIME, without a leading 0. Newest first.
std::vector<TimeGridLine> TimeGrid(TimeT now, int span, int W);

// One line of a pane's value texts, top to bottom.
struct ValueText {
    QString text;
    QColor colour;
};

// "温度：%5.1f[℃] " and "湿度：%5.1f[%] " of the newest record; none for an
// empty series.
std::vector<ValueText> TempValueTexts(const CTempRecordArray& s, const GraphColours& c);
// The moving averages of both windows at the newest record, grey then red;
// none for an empty series.
std::vector<ValueText> GeigerValueTexts(const CGeigerRecordArray& s, int window1, int window2,
                                        const GraphColours& c);
// The same for power, then the estimated cost of the span in blue.
std::vector<ValueText> OwlValueTexts(const COwlRecordArray& s, int window1, int window2, int span,
                                     double costPerKW, const GraphColours& c);
// CostPerKW times the average power of the newest `span` records times the
// span in hours; 0 for an empty series.
double EstimatedCost(const COwlRecordArray& s, int span, double costPerKW);

// What one pane's painting did, for tests and benchmarks.
struct PaneStats {
    int recordsVisited = 0;  // per curve: the records inside the span + the one leaving it
};

// One pane (DrawGraph), painted over the whole of `image` (its size is the
// frame's client size): white, horizontal grid, time grid and labels,
// curves, limit lines, value texts. `now` is the right edge.
// Temperature: value texts only when span is the short span of `in`.
PaneStats DrawTempGraph(QImage& image, const CTempRecordArray& s, const TempGraphInput& in,
                        const TempScales& scales, int span, TimeT now, const GraphStyle& style);
PaneStats DrawGeigerGraph(QImage& image, CGeigerRecordArray& s, const GeigerGraphInput& in,
                          const GraphScale& scale, int span, int window1, int window2, TimeT now,
                          const GraphStyle& style);
PaneStats DrawOwlGraph(QImage& image, COwlRecordArray& s, const OwlGraphInput& in,
                       const GraphScale& scale, int span, int window1, int window2, TimeT now,
                       const GraphStyle& style);

// Both panes of a window and the texts its labels show.
struct TrendPanes {
    QImage shortPane;   // right frame
    QImage longPane;    // left frame
    QString shortSpan;  // "-- 1 [Hour] --"
    QString longSpan;   // "-- 3 [Day] --"
};

struct TempPanes : TrendPanes {
    TempScales scales;
    std::array<QString, 6> tempAxis;   // right-hand labels, bottom to top
    std::array<QString, 6> humidAxis;  // left-hand labels
};

struct GeigerPanes : TrendPanes {
    GraphScale scale;
    std::array<QString, 6> cpmAxis;  // left-hand labels
};

struct OwlPanes : TrendPanes {
    GraphScale scale;  // the window draws its axis texts with DrawOwlAxisTexts
};

// A window's whole paint: the scales, the labels' texts, then the short
// pane and the long pane (sizes of their frames' client areas; an empty size
// gives a 1 x 1 image).
TempPanes PaintTempPanes(const CTempRecordArray& s, const TempGraphInput& in, QSize shortSize,
                         QSize longSize, TimeT now, const GraphStyle& style);
GeigerPanes PaintGeigerPanes(CGeigerRecordArray& s, const GeigerGraphInput& in, QSize shortSize,
                             QSize longSize, TimeT now, const GraphStyle& style);
OwlPanes PaintOwlPanes(COwlRecordArray& s, const OwlGraphInput& in, QSize shortSize, QSize longSize,
                       TimeT now, const GraphStyle& style);

// The power window's own axis texts, drawn with `p` (window coordinates) in
// the dialog font, black, transparent: the span texts centred 2 pixels below
// each frame; "%g" of bottom, bottom + division, ... up to the top,
// right-aligned 4 pixels left of the long frame, bottom-aligned at the
// height of the value and shifted down by a quarter of the check box
// height; "[kW]" at the same x at the frame's middle, shifted the same way.
// Frames are the graph frames' rectangles in window coordinates.
void DrawOwlAxisTexts(QPainter& p, const QRect& shortFrame, const QRect& longFrame,
                      const GraphScale& scale, int shortSpan, int longSpan, const QFont& font,
                      const QColor& colour, int checkBoxHeight);

}  // namespace sensors
}  // namespace orvana
