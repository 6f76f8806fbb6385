// The level graph: bars of recent levels scrolling right to left, the alarm
// threshold as a line (or a band), and with the dynamic threshold in use the
// 60-s average and the dynamic threshold as curves. Values are fractions of
// the display scale: 0 = -36 dB (bottom), 1 = +6 dB (top). Painted into a
// QImage, so it needs QtGui but no widgets. Not thread-safe: one owner.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <deque>

class QPainter;

namespace orvana::sound {

// A double-buffering surface: an off-screen image of the client size,
// pre-filled with the background colour; DrawDC copies it out in one block.
class CBufDC {
  public:
    CBufDC(QSize size, const QColor& background);
    QImage& surface() { return image_; }
    // Copies the whole surface to `target` at `at` (plain copy).
    void DrawDC(QPainter& target, QPoint at = QPoint(0, 0)) const;

  private:
    QImage image_;
};

class LevelGraph {
  public:
    // Inserts at the front and cuts back to the length before the call, so
    // the oldest bar drops off. The length itself is set by painting.
    void AddValue(double fraction);
    // Inserts at the front and cuts to m_maxAverages.
    void AddValueAve(double fraction);

    // Paints the whole of `surface` (its rectangle is the client area): one
    // bar per 3 pixels, newest at the right. Resizes m_values to width / 3
    // and, with curves, sets m_maxAverages.
    void Paint(QImage& surface);

    // The display fraction of a level in dB.
    static double fractionOf(double db) { return (db + 36.0) / 42.0; }

    int m_alarm = 0;
    double m_endThreshold = 0.5;
    double m_startThreshold = 0.5;
    double m_dynamicOffset = -1.0;  // <= 0: no curves
    std::deque<double> m_values;
    std::deque<double> m_averages;
    int m_maxAverages = 0;

    static constexpr QRgb kThresholdLine = 0xFFFFC0C0;  // (255,192,192)
    static constexpr QRgb kThresholdBand = 0xFFE4FFE4;  // (228,255,228)
    static constexpr QRgb kOverOutline = 0xFFFF8080;    // (255,128,128)
    static constexpr QRgb kOverFill = 0xFFFF0000;
    static constexpr QRgb kNormalOutline = 0xFF8080FF;  // (128,128,255)
    static constexpr QRgb kNormalFill = 0xFF0000FF;
    static constexpr QRgb kAverageCurve = 0xFF808080;  // (128,128,128)
    static constexpr QRgb kDynamicCurve = 0xFFC08080;  // (192,128,128)
};

}  // namespace orvana::sound
