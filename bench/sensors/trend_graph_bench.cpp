// One repaint of the power window's graphs at their heaviest: a 30-day long
// graph over 43,200 minute records with both moving-average curves (1 hour
// and 24 hours), the 1-hour short graph, and the axis texts the window draws
// itself. Goal: at most 20 ms per repaint.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>

#include "sensors/graph/trend_graph.h"

namespace orvana::sensors {
namespace {

constexpr int kRecords = 43200;
constexpr TimeT kNow = 1796083200;  // 2026-12-01 00:00 UTC

COwlRecordArray monthOfPower() {
    COwlRecordArray s;
    s.reserve(kRecords);
    for (int a = kRecords - 1; a >= 0; --a) {
        const double day = std::sin(a * 2 * M_PI / 1440.0);
        const unsigned h = static_cast<unsigned>(a) * 2654435761u;
        s.AddRecord(kNow - TimeT{a} * 60, 0.6 + 0.4 * day + (h % 1000) / 1000.0);
    }
    return s;
}

void BM_PowerWindowRepaint(benchmark::State& state) {
    COwlRecordArray s = monthOfPower();
    OwlGraphInput in;
    in.periodL = 5;  // 30 days
    in.maL1 = 4;     // 60 minutes, grey
    in.maL2 = 8;     // 24 hours, red
    in.periodR = 0;  // 1 hour
    in.hi = {true, 2.0};
    in.lo = {true, 0.1};
    GraphStyle style;
    // An 800 x 480 window: the frames of its layout.
    const int cx = 800, cy = 480, g = (cx - 64) / 2;
    const QRect longFrame(52, 52, g, cy - 82), shortFrame(g + 52, 52, g, cy - 82);
    QImage window(cx, cy, QImage::Format_RGB32);
    for (auto _ : state) {
        const OwlPanes p =
            PaintOwlPanes(s, in, shortFrame.size(), longFrame.size(), kNow + 30, style);
        window.fill(Qt::white);
        QPainter painter(&window);
        DrawOwlAxisTexts(painter, shortFrame, longFrame, p.scale, spanS(in.periodR),
                         spanL(in.periodL), style.font, Qt::black, 28);
        painter.drawImage(shortFrame.topLeft(), p.shortPane);
        painter.drawImage(longFrame.topLeft(), p.longPane);
        benchmark::DoNotOptimize(window.constBits());
    }
}
BENCHMARK(BM_PowerWindowRepaint)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvana::sensors

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
