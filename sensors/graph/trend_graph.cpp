#include "sensors/graph/trend_graph.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/status_text.h"
#include "sensors/local_time_cache.h"

namespace orvana {

int AutoScale(double a, double b, int n, double* bottom, double* top, double* division,
              int margin) {
    if (n <= 0 || !std::isfinite(a) || !std::isfinite(b) || !(b > a))
        return 0;
    if (margin) {
        const double m = (b - a) * 0.001;
        a -= m;
        b += m;
    }
    const double p = std::pow(10.0, std::floor(std::log10((b - a) / n)));
    static constexpr double kFactors[] = {0.5, 1, 2, 2.5, 5, 10, 20, 25};
    for (double f : kFactors) {
        const double d = f * p;
        *division = d;
        *bottom = std::floor(a / d) * d;
        *top = *bottom + n * d;
        if (b <= *top)
            return 1;
    }
    return 0;
}

namespace sensors {
namespace {

template <std::size_t N>
int pick(const std::array<int, N>& table, int index) {
    return table[static_cast<std::size_t>(std::clamp(index, 0, static_cast<int>(N) - 1))];
}

// Keeps a computed pixel coordinate inside int, far outside any image, so a
// huge or broken value is clipped instead of overflowing.
int toPixel(double v) {
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(v, -1e6, 1e6));
}

int yOf(double v, const GraphScale& s, int H) {
    return toPixel(H - (v - s.bottom) * H / (s.top - s.bottom));
}

int xOfAge(TimeT now, TimeT t, int span, int W) {
    const std::int64_t a = (now - t) / 60;
    const std::int64_t x = W - std::int64_t{W} * a / span;
    return static_cast<int>(std::clamp<std::int64_t>(x, -1000000, 1000000));
}

// The points of a curve, collapsed per pixel column: within a run of points
// on one x only the first, the lowest, the highest and the last matter, and
// the lines between them cover the same pixels as the whole run. A month of
// minutes on a few hundred columns thus costs a few points per column.
class CurvePoints {
  public:
    void add(int x, int y) {
        if (count_ == 0 || x != x_) {
            flush();
            x_ = x;
            first_ = last_ = minY_ = maxY_ = y;
            minSeq_ = maxSeq_ = 0;
            count_ = 1;
            return;
        }
        last_ = y;
        if (y < minY_) {
            minY_ = y;
            minSeq_ = count_;
        }
        if (y > maxY_) {
            maxY_ = y;
            maxSeq_ = count_;
        }
        ++count_;
    }

    const std::vector<QPoint>& finish() {
        flush();
        count_ = 0;
        return points_;
    }

  private:
    void put(int y) {
        if (!points_.empty() && points_.back() == QPoint(x_, y) && runStarted_)
            return;
        points_.emplace_back(x_, y);
        runStarted_ = true;
    }

    void flush() {
        if (count_ == 0)
            return;
        runStarted_ = false;
        put(first_);
        if (minSeq_ < maxSeq_) {
            put(minY_);
            put(maxY_);
        } else {
            put(maxY_);
            put(minY_);
        }
        put(last_);
    }

    std::vector<QPoint> points_;
    int x_ = 0, first_ = 0, last_ = 0, minY_ = 0, maxY_ = 0;
    int minSeq_ = 0, maxSeq_ = 0, count_ = 0;
    bool runStarted_ = false;
};

// Round ends; bevelled joins, which at 4 pixels look the same as round ones
// and halve the cost of a month-long curve.
QPen curvePen(const QColor& c, int width) {
    QPen pen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::BevelJoin);
    return pen;
}

void drawCurve(QPainter& p, const std::vector<QPoint>& pts, const QPen& pen) {
    if (pts.size() < 2)
        return;
    p.setPen(pen);
    p.drawPolyline(pts.data(), static_cast<int>(pts.size()));
}

// Dashed (low limits) and dotted (high limits) 1-pixel lines.
void drawLimit(QPainter& p, const AlarmLimit& l, const GraphScale& s, int W, int H, const QColor& c,
               bool high) {
    if (!l.on)
        return;
    QPen pen(c, 1);
    pen.setCapStyle(Qt::FlatCap);
    pen.setDashPattern(high ? QList<qreal>{3, 3} : QList<qreal>{18, 6});
    p.setPen(pen);
    const int y = yOf(l.value, s, H);
    p.drawLine(0, y, W, y);
}

struct GridParams {
    int span, grid, label, dark;
    const char* format;
};

constexpr GridParams kGrid[] = {
    {60, 15, 15, 60, "%H:%M"},
    {180, 30, 30, 720, "%H:%M"},
    {360, 60, 60, 1440, "%H:%M"},
    {720, 180, 180, 1440, "%H:%M"},
    {1440, 360, 360, 1440, "%H:%M"},
    {2880, 720, 720, 10080, "%H:%M"},
    {4320, 1440, 1440, 10080, "%d(%a)"},
    // A week: a line each midnight, but the date only on Mondays, so the
    // labels of a narrow pane do not run into each other.
    {10080, 1440, 10080, 10080, "%d(%a)"},
    {20160, 1440, 10080, 10080, "%m/%d(%a)"},
    {43200, 1440, 10080, 10080, "%m/%d(%a)"},
};

constexpr int kWeek = 10080;

// Whether the local time falls on an interval; the week means Monday 00:00.
bool onInterval(int interval, const CalendarFields& f) {
    if (interval == kWeek) {
        if (f.hour != 0 || f.minute != 0)
            return false;
        const long long days = daysFromCivil(f.year, f.month, f.day);
        return ((days % 7 + 7 + 4) % 7) == 1;  // 1970-01-01 was a Thursday
    }
    const int m = f.day * 1440 + f.hour * 60 + f.minute;
    return m % interval == 0;
}

// The enlarged font of the value texts and its line pitch.
QFont valueFont(const QFont& base, int W, int H) {
    QFont f = base;
    const double factor = std::min(W / 240.0, H / 160.0);
    if (factor > 1.0) {
        const int px = QFontInfo(base).pixelSize();
        f.setPixelSize(std::max(1, static_cast<int>(std::lround(px * factor))));
    }
    return f;
}

void drawValueTexts(QPainter& p, const std::vector<ValueText>& lines, const QFont& base, int W,
                    int H) {
    if (lines.empty())
        return;
    const QFont f = valueFont(base, W, H);
    p.setFont(f);
    const int fh = QFontInfo(f).pixelSize();
    const QFontMetrics fm(f);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int y = 2 + static_cast<int>(1.2 * fh * static_cast<double>(i));
        p.setPen(lines[i].colour);
        p.drawText(QRect(0, y, W - 2, fm.height() + 2), Qt::AlignRight | Qt::AlignTop,
                   lines[i].text);
    }
}

// Step 3 of a pane, over the horizontal grid: the time grid with labels.
void drawTimeGrid(QPainter& p, int W, int H, int span, TimeT now, const GraphStyle& st) {
    const std::vector<TimeGridLine> grid = TimeGrid(now, span, W);
    for (const TimeGridLine& g : grid) {
        p.setPen(QPen(g.dark ? st.colours.grey : st.colours.lightGrey, 1));
        p.drawLine(g.x, 0, g.x, H);
    }
    // Labels after every line, so no line crosses a label.
    p.setFont(st.font);
    const QFontMetrics fm(st.font);
    for (const TimeGridLine& g : grid) {
        if (!g.label)
            continue;
        const QString text = QString::fromStdString(g.text);
        const int w = fm.horizontalAdvance(text);
        // Centred on its line; a label at an edge (the newest minute sits
        // on the right edge) is kept whole inside the pane.
        const int left = w < W ? std::clamp(g.x - w / 2, 0, W - w) : g.x - w / 2;
        const QRect r(left, H - 2 - fm.height(), w, fm.height());
        p.fillRect(r, st.colours.background);
        p.setPen(st.colours.text);
        p.drawText(r, Qt::AlignCenter, text);
    }
}

// The radiation and power grid: a line at each division, grey at 0.
void drawValueGrid(QPainter& p, const GraphScale& s, int W, int H, const GraphColours& c) {
    // The dialogs allow at most 1000 steps; a hand-edited store may hold more.
    for (int i = 0; i <= 1000; ++i) {
        const double v = s.bottom + i * s.division;
        if (!(v < s.top))
            break;
        const bool zero = std::fabs(v) < s.division * 1e-9;
        p.setPen(QPen(zero ? c.grey : c.lightGrey, 1));
        const int y = yOf(zero ? 0.0 : v, s, H);
        p.drawLine(0, y, W, y);
    }
}

// Step 4 for one moving-average curve: precompute the span, then walk.
template <class Series>
int drawMaCurve(QPainter& p, Series& s, int window, int span, TimeT now, int W, int H,
                const GraphScale& scale, const QPen& pen, void (Series::*precal)(int, int, int),
                double (Series::*ma)(int, int) const) {
    const int size = s.GetSize();
    if (size == 0)
        return 0;
    (s.*precal)(window, size - 1, size - span - 1);
    CurvePoints pts;
    int visited = 0;
    for (int i = size - 1; i >= 0; --i) {
        const TimeT t = s[static_cast<std::size_t>(i)].m_Time;
        pts.add(xOfAge(now, t, span, W), yOf((s.*ma)(i, window), scale, H));
        ++visited;
        if (now - t > TimeT{span} * 60)
            break;
    }
    drawCurve(p, pts.finish(), pen);
    return visited;
}

// Steps 1 to 4 of a radiation or power pane: background, value grid, time
// grid, and the two moving averages (silver, then red on top).
template <class Series>
PaneStats drawAveragedPane(QPainter& p, int W, int H, Series& s, const GraphScale& scale, int span,
                           int window1, int window2, TimeT now, const GraphStyle& style,
                           void (Series::*precal)(int, int, int),
                           double (Series::*ma)(int, int) const) {
    const GraphColours& c = style.colours;
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.fillRect(QRect(0, 0, W, H), c.background);
    drawValueGrid(p, scale, W, H, c);
    drawTimeGrid(p, W, H, span, now, style);
    PaneStats stats;
    stats.recordsVisited =
        drawMaCurve(p, s, window1, span, now, W, H, scale, curvePen(c.silver, 4), precal, ma);
    drawMaCurve(p, s, window2, span, now, W, H, scale, curvePen(c.red, 4), precal, ma);
    return stats;
}

std::string maText(int window, const char* one, const char* minutes, const char* hours,
                   double value) {
    if (window == 1)
        return strprintf(one, value);
    if (window < 60)
        return strprintf(minutes, window, value);
    return strprintf(hours, window / 60, value);
}

QImage newPane(QSize size) {
    QImage img(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    return img;
}

}  // namespace

int spanS(int index) {
    return pick(TimeSpanS, index);
}
int spanL(int index) {
    return pick(TimeSpanL, index);
}
int windowS(int index) {
    return pick(TimeMaS, index);
}
int windowL(int index) {
    return pick(TimeMaL, index);
}

GraphScale drawable(GraphScale s) {
    if (!std::isfinite(s.division) || !(s.division > 0))
        s.division = 1.0;
    if (!std::isfinite(s.bottom))
        s.bottom = 0.0;
    if (!std::isfinite(s.top) || !(s.top > s.bottom))
        s.top = s.bottom + s.division;
    // A division so small next to the bottom that adding it changes nothing.
    if (!(s.top > s.bottom))
        s.top = s.bottom + std::fabs(s.bottom) * 1e-6 + 1.0;
    return s;
}

void DataRange::include(double v) {
    if (!set) {
        min = max = v;
        set = true;
        return;
    }
    min = std::min(min, v);
    max = std::max(max, v);
}

void DataRange::unite(const DataRange& r) {
    if (!r.set)
        return;
    include(r.min);
    include(r.max);
}

namespace {

// The index range of CheckDataArea: the newest record down to `lo`, at most
// span + 1 records and never index 0. Empty (lo > hi) for fewer than two.
void dataIndexes(int size, int span, int* lo, int* hi) {
    *hi = size - 1;
    *lo = std::max(1, *hi - std::max(span, 0));
}

}  // namespace

void CheckDataArea(const CTempRecordArray& s, int span, DataRange* temp, DataRange* humid) {
    int lo = 0, hi = 0;
    dataIndexes(s.GetSize(), span, &lo, &hi);
    for (int i = hi; i >= lo; --i) {
        temp->include(s[static_cast<std::size_t>(i)].m_Temp);
        humid->include(s[static_cast<std::size_t>(i)].m_Humid);
    }
}

DataRange CheckDataArea(const CGeigerRecordArray& s, int span) {
    DataRange r;
    int lo = 0, hi = 0;
    dataIndexes(s.GetSize(), span, &lo, &hi);
    for (int i = hi; i >= lo; --i)
        r.include(s[static_cast<std::size_t>(i)].m_Cpm);
    return r;
}

DataRange CheckDataArea(COwlRecordArray& s, int span, int window1, int window2) {
    DataRange r;
    const int size = s.GetSize();
    if (size == 0)
        return r;
    int lo = 0, hi = 0;
    dataIndexes(size, span, &lo, &hi);
    for (int w : {window1, window2}) {
        s.PrecalPowerMA(w, size - 1, size - span - 1);
        for (int i = hi; i >= lo; --i)
            r.include(s.GetPowerMA(i, w));
    }
    return r;
}

namespace {

// The automatic scale of a data range widened by the limits that are on;
// the manual scale where there is nothing to scale.
GraphScale autoOrManual(DataRange range, std::initializer_list<AlarmLimit> limits,
                        const GraphScale& manual, int margin) {
    if (!range.set)
        return manual;
    for (const AlarmLimit& l : limits)
        if (l.on)
            range.include(l.value);
    GraphScale s;
    if (!(range.max > range.min))
        return manual;
    if (!AutoScale(range.min, range.max, 5, &s.bottom, &s.top, &s.division, margin) &&
        !(s.top > s.bottom))
        return manual;
    return s;
}

}  // namespace

TempScales TempScalesFor(const CTempRecordArray& s, const TempGraphInput& in) {
    TempScales out;
    out.temp = {in.tempMin, in.tempMin + 5 * in.tempDiv, in.tempDiv};
    out.humid = {in.humidMin, in.humidMin + 5 * in.humidDiv, in.humidDiv};
    if (in.tempAuto || in.humidAuto) {
        DataRange t, h;
        CheckDataArea(s, spanS(in.periodS), &t, &h);
        CheckDataArea(s, spanL(in.periodL), &t, &h);
        if (in.tempAuto)
            out.temp = autoOrManual(t, {in.tempHi, in.tempLo}, out.temp, 0);
        if (in.humidAuto)
            out.humid = autoOrManual(h, {in.humidHi, in.humidLo}, out.humid, 0);
    }
    out.temp = drawable(out.temp);
    out.humid = drawable(out.humid);
    return out;
}

GraphScale GeigerScaleFor(const CGeigerRecordArray& s, const GeigerGraphInput& in) {
    GraphScale manual{in.cpmMin, in.cpmMin + 5 * in.cpmDiv, in.cpmDiv};
    if (!in.autoScale)
        return drawable(manual);
    DataRange r = CheckDataArea(s, spanS(in.periodS));
    r.unite(CheckDataArea(s, spanL(in.periodL)));
    return drawable(autoOrManual(r, {in.cpmHi}, manual, 0));
}

GraphScale OwlScaleFor(COwlRecordArray& s, const OwlGraphInput& in) {
    GraphScale manual{in.ymin, in.ymax, in.ystep};
    if (!in.autoScale)
        return drawable(manual);
    DataRange r = CheckDataArea(s, spanS(in.periodR), windowS(in.maR1), windowS(in.maR2));
    r.unite(CheckDataArea(s, spanL(in.periodL), windowL(in.maL1), windowL(in.maL2)));
    return drawable(autoOrManual(r, {in.hi, in.lo}, manual, 1));
}

QString axisText(double v, double division) {
    if (std::fabs(v) < std::fabs(division) * 1e-9)
        v = 0.0;
    return QString::fromStdString(strprintf("%g", v));
}

std::array<QString, 6> axisLabels(const GraphScale& s) {
    std::array<QString, 6> out;
    for (int k = 0; k < 6; ++k)
        out[static_cast<std::size_t>(k)] = axisText(s.bottom + k * s.division, s.division);
    return out;
}

QString shortSpanText(int span) {
    return QString::fromStdString(strprintf("-- %d [Hour] --", span / 60));
}

QString longSpanText(int span) {
    return QString::fromStdString(strprintf("-- %d [Day] --", span / 60 / 24));
}

std::vector<TimeGridLine> TimeGrid(TimeT now, int span, int W) {
    std::vector<TimeGridLine> out;
    const GridParams* g = nullptr;
    for (const GridParams& row : kGrid)
        if (row.span == span)
            g = &row;
    if (!g)
        return out;
    LocalTimeCache cache;
    for (int k = 0; k < span; ++k) {
        const TimeT t = now - TimeT{k} * 60;
        const CalendarFields f = cache.toLocalFields(t);
        const bool line = onInterval(g->grid, f);
        const bool label = onInterval(g->label, f);
        if (!line && !label)
            continue;
        TimeGridLine l;
        l.x = static_cast<int>(W - std::int64_t{W} * k / span);
        l.dark = line && onInterval(g->dark, f);
        l.label = label;
        if (label) {
            l.text = formatLocal(t, g->format);
            if (!l.text.empty() && l.text.front() == '0')
                l.text.erase(0, 1);
        }
        out.push_back(std::move(l));
    }
    return out;
}

std::vector<ValueText> TempValueTexts(const CTempRecordArray& s, const GraphColours& c) {
    if (s.empty())
        return {};
    const CTempRecord& r = s[s.size() - 1];
    return {
        {QString::fromStdString(strprintf("温度：%5.1f[℃] ", r.m_Temp)), c.red},
        {QString::fromStdString(strprintf("湿度：%5.1f[%%] ", r.m_Humid)), c.blue},
    };
}

std::vector<ValueText> GeigerValueTexts(const CGeigerRecordArray& s, int window1, int window2,
                                        const GraphColours& c) {
    if (s.empty())
        return {};
    const int last = s.GetSize() - 1;
    auto line = [&](int w) {
        return QString::fromStdString(maText(w, "1分計：%6.3f[CPM] ", "%d分平均:%6.3f[CPM] ",
                                             "%d時間平均:%6.3f[CPM] ", s.GetCpmMA(last, w)));
    };
    return {{line(window1), c.silver}, {line(window2), c.red}};
}

double EstimatedCost(const COwlRecordArray& s, int span, double costPerKW) {
    if (s.empty())
        return 0.0;
    return costPerKW * s.GetPowerMA(s.GetSize() - 1, span) * span / 60.0;
}

std::vector<ValueText> OwlValueTexts(const COwlRecordArray& s, int window1, int window2, int span,
                                     double costPerKW, const GraphColours& c) {
    if (s.empty())
        return {};
    const int last = s.GetSize() - 1;
    auto line = [&](int w) {
        return QString::fromStdString(maText(w, "瞬時電力(1分計)：%6.3f[kW] ",
                                             "%d分平均電力:%6.3f[kW] ", "%d時間平均電力:%6.3f[kW] ",
                                             s.GetPowerMA(last, w)));
    };
    const double cost = EstimatedCost(s, span, costPerKW);
    const std::string costText =
        span < 1440 ? strprintf("概算電力料金(%d時間):%6.1f[円] ", span / 60, cost)
                    : strprintf("概算電力料金(%d日間):%6.1f[円] ", span / 60 / 24, cost);
    return {{line(window1), c.silver},
            {line(window2), c.red},
            {QString::fromStdString(costText), c.blue}};
}

PaneStats DrawTempGraph(QImage& image, const CTempRecordArray& s, const TempGraphInput& in,
                        const TempScales& scales, int span, TimeT now, const GraphStyle& style) {
    PaneStats stats;
    const int W = image.width(), H = image.height();
    const GraphColours& c = style.colours;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.fillRect(QRect(0, 0, W, H), c.background);
    p.setPen(QPen(c.lightGrey, 1));
    for (int i = 1; i <= 5; ++i)
        p.drawLine(0, i * H / 5, W, i * H / 5);
    drawTimeGrid(p, W, H, span, now, style);

    CurvePoints temp, humid;
    for (int i = s.GetSize() - 1; i >= 0; --i) {
        const CTempRecord& r = s[static_cast<std::size_t>(i)];
        const int x = xOfAge(now, r.m_Time, span, W);
        temp.add(x, yOf(r.m_Temp, scales.temp, H));
        humid.add(x, yOf(r.m_Humid, scales.humid, H));
        ++stats.recordsVisited;
        if (now - r.m_Time > TimeT{span} * 60)
            break;
    }
    drawCurve(p, temp.finish(), curvePen(c.red, 2));
    drawCurve(p, humid.finish(), curvePen(c.blue, 2));

    drawLimit(p, in.tempLo, scales.temp, W, H, c.red, false);
    drawLimit(p, in.tempHi, scales.temp, W, H, c.red, true);
    drawLimit(p, in.humidLo, scales.humid, W, H, c.blue, false);
    drawLimit(p, in.humidHi, scales.humid, W, H, c.blue, true);

    if (span == spanS(in.periodS))
        drawValueTexts(p, TempValueTexts(s, c), style.font, W, H);
    return stats;
}

PaneStats DrawGeigerGraph(QImage& image, CGeigerRecordArray& s, const GeigerGraphInput& in,
                          const GraphScale& scale, int span, int window1, int window2, TimeT now,
                          const GraphStyle& style) {
    QPainter p(&image);
    const GraphColours& c = style.colours;
    const int W = image.width(), H = image.height();
    const PaneStats stats =
        drawAveragedPane(p, W, H, s, scale, span, window1, window2, now, style,
                         &CGeigerRecordArray::PrecalCpmMA, &CGeigerRecordArray::GetCpmMA);
    drawLimit(p, in.cpmHi, scale, W, H, c.red, true);
    drawValueTexts(p, GeigerValueTexts(s, window1, window2, c), style.font, W, H);
    return stats;
}

PaneStats DrawOwlGraph(QImage& image, COwlRecordArray& s, const OwlGraphInput& in,
                       const GraphScale& scale, int span, int window1, int window2, TimeT now,
                       const GraphStyle& style) {
    QPainter p(&image);
    const GraphColours& c = style.colours;
    const int W = image.width(), H = image.height();
    const PaneStats stats =
        drawAveragedPane(p, W, H, s, scale, span, window1, window2, now, style,
                         &COwlRecordArray::PrecalPowerMA, &COwlRecordArray::GetPowerMA);
    drawLimit(p, in.lo, scale, W, H, c.blue, false);
    drawLimit(p, in.hi, scale, W, H, c.blue, true);
    drawValueTexts(p, OwlValueTexts(s, window1, window2, span, in.costPerKW, c), style.font, W, H);
    return stats;
}

TempPanes PaintTempPanes(const CTempRecordArray& s, const TempGraphInput& in, QSize shortSize,
                         QSize longSize, TimeT now, const GraphStyle& style) {
    TempPanes out;
    out.scales = TempScalesFor(s, in);
    const int ss = spanS(in.periodS), ls = spanL(in.periodL);
    out.shortSpan = shortSpanText(ss);
    out.longSpan = longSpanText(ls);
    out.tempAxis = axisLabels(out.scales.temp);
    out.humidAxis = axisLabels(out.scales.humid);
    out.shortPane = newPane(shortSize);
    out.longPane = newPane(longSize);
    DrawTempGraph(out.shortPane, s, in, out.scales, ss, now, style);
    DrawTempGraph(out.longPane, s, in, out.scales, ls, now, style);
    return out;
}

GeigerPanes PaintGeigerPanes(CGeigerRecordArray& s, const GeigerGraphInput& in, QSize shortSize,
                             QSize longSize, TimeT now, const GraphStyle& style) {
    GeigerPanes out;
    out.scale = GeigerScaleFor(s, in);
    const int ss = spanS(in.periodS), ls = spanL(in.periodL);
    out.shortSpan = shortSpanText(ss);
    out.longSpan = longSpanText(ls);
    out.cpmAxis = axisLabels(out.scale);
    out.shortPane = newPane(shortSize);
    out.longPane = newPane(longSize);
    DrawGeigerGraph(out.shortPane, s, in, out.scale, ss, windowS(in.maS1), windowS(in.maS2), now,
                    style);
    DrawGeigerGraph(out.longPane, s, in, out.scale, ls, windowL(in.maL1), windowL(in.maL2), now,
                    style);
    return out;
}

OwlPanes PaintOwlPanes(COwlRecordArray& s, const OwlGraphInput& in, QSize shortSize, QSize longSize,
                       TimeT now, const GraphStyle& style) {
    OwlPanes out;
    out.scale = OwlScaleFor(s, in);
    const int ss = spanS(in.periodR), ls = spanL(in.periodL);
    out.shortSpan = shortSpanText(ss);
    out.longSpan = longSpanText(ls);
    out.shortPane = newPane(shortSize);
    out.longPane = newPane(longSize);
    DrawOwlGraph(out.shortPane, s, in, out.scale, ss, windowS(in.maR1), windowS(in.maR2), now,
                 style);
    DrawOwlGraph(out.longPane, s, in, out.scale, ls, windowL(in.maL1), windowL(in.maL2), now,
                 style);
    return out;
}

void DrawOwlAxisTexts(QPainter& p, const QRect& shortFrame, const QRect& longFrame,
                      const GraphScale& scale, int shortSpan, int longSpan, const QFont& font,
                      const QColor& colour, int checkBoxHeight) {
    const GraphScale s = drawable(scale);
    p.save();
    p.setFont(font);
    p.setPen(colour);
    p.setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics fm(font);
    const int th = fm.height();
    auto below = [&](const QRect& frame, const QString& text) {
        p.drawText(QRect(frame.x(), frame.y() + frame.height() + 2, frame.width(), th),
                   Qt::AlignHCenter | Qt::AlignTop, text);
    };
    below(shortFrame, shortSpanText(shortSpan));
    below(longFrame, longSpanText(longSpan));

    const int right = longFrame.x() - 4;
    const int width = std::max(right, 1);
    const int shift = checkBoxHeight / 4;
    auto at = [&](int y, const QString& text) {
        p.drawText(QRect(right - width, y + shift - th, width, th),
                   Qt::AlignRight | Qt::AlignBottom, text);
    };
    const int H = longFrame.height();
    // Up to the top value; the crumbs of repeated addition must not drop it.
    for (int i = 0; i <= 1000; ++i) {
        const double v = s.bottom + i * s.division;
        if (v > s.top + s.division * 1e-9)
            break;
        at(longFrame.y() + yOf(v, s, H), axisText(v, s.division));
    }
    at(longFrame.y() + H / 2, QStringLiteral("[kW]"));
    p.restore();
}

}  // namespace sensors
}  // namespace orvana
