#include "sound/level_graph.h"

#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <algorithm>
#include <cmath>

namespace orvana::sound {
namespace {

// ⌊h × f⌋ truncated toward zero; huge or broken values are held far outside
// the control so the cast stays defined and the drawing is clipped.
int scaled(int h, double f) {
    double v = h * f;
    if (std::isnan(v))
        v = 0;
    v = std::clamp(v, -1e6, 1e6);
    return static_cast<int>(v);
}

}  // namespace

CBufDC::CBufDC(QSize size, const QColor& background)
    : image_(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32) {
    image_.fill(background);
}

void CBufDC::DrawDC(QPainter& target, QPoint at) const {
    target.drawImage(at, image_);
}

void LevelGraph::AddValue(double fraction) {
    const std::size_t len = m_values.size();
    m_values.push_front(fraction);
    m_values.resize(len);
}

void LevelGraph::AddValueAve(double fraction) {
    m_averages.push_front(fraction);
    if (static_cast<int>(m_averages.size()) > m_maxAverages)
        m_averages.resize(static_cast<std::size_t>(std::max(0, m_maxAverages)));
}

void LevelGraph::Paint(QImage& surface) {
    // Client rectangle with exclusive right and bottom, as the bars use it.
    const int W = surface.width(), H = surface.height();
    const int right = W, bottom = H, left = 0;
    const int n = W / 3;
    if (static_cast<int>(m_values.size()) != n)
        m_values.resize(static_cast<std::size_t>(n), 0.0);

    QPainter p(&surface);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(0, 0, W, H), QColor(255, 255, 255));

    // Thresholds: y = bottom - ⌊H f⌋ - 1.
    const int ys = bottom - scaled(H, m_startThreshold) - 1;
    const int ye = bottom - scaled(H, m_endThreshold) - 1;
    const int lineLeft = left + 2;
    if (m_startThreshold == m_endThreshold) {
        // A 2-pixel line: rows y - 1 and y.
        p.fillRect(QRect(QPoint(lineLeft, ys - 1), QPoint(right - 1, ys)), QColor(kThresholdLine));
    } else {
        // The band and both its edges, all in one colour.
        p.fillRect(QRect(QPoint(lineLeft, std::min(ys, ye)), QPoint(right - 1, std::max(ys, ye))),
                   QColor(kThresholdBand));
    }

    // Bars: (right - 3i - 3, bottom - ⌊H v⌋) to (right - 3i, bottom), outline
    // one pixel inside the rectangle, fill in the interior.
    for (int i = 0; i < n; ++i) {
        const double v = m_values[static_cast<std::size_t>(i)];
        const bool over = m_alarm ? v > m_endThreshold : v > m_startThreshold;
        const int x0 = right - 3 * i - 3, x1 = right - 3 * i;
        int top = bottom - scaled(H, v), bot = bottom;
        if (top > bot)
            std::swap(top, bot);
        if (top == bot)
            continue;
        const QRect outer(x0, top, x1 - x0, bot - top);
        p.fillRect(outer, QColor(over ? kOverOutline : kNormalOutline));
        if (outer.width() > 2 && outer.height() > 2)
            p.fillRect(outer.adjusted(1, 1, -1, -1), QColor(over ? kOverFill : kNormalFill));
    }

    if (m_dynamicOffset > 0) {
        m_maxAverages = n;
        if (static_cast<int>(m_averages.size()) > n)
            m_averages.resize(static_cast<std::size_t>(n));
        QPolygon average, threshold;
        for (std::size_t i = 0; i < m_averages.size(); ++i) {
            const int x = right - 3 * static_cast<int>(i) - 3;
            average << QPoint(x, bottom - scaled(H, m_averages[i]));
            threshold << QPoint(x, bottom - scaled(H, m_averages[i] + m_dynamicOffset));
        }
        if (average.size() >= 2) {
            p.setPen(QPen(QColor(kAverageCurve), 1, Qt::SolidLine));
            p.drawPolyline(average);
            p.setPen(QPen(QColor(kDynamicCurve), 2, Qt::SolidLine));
            p.drawPolyline(threshold);
        }
    }
}

}  // namespace orvana::sound
