// The two drawn controls of the camera window: the live picture (1043),
// composed by the window's timer into an image of the display size, and the
// motion meter (1044). Neither takes mouse input: a drag anywhere in the
// window belongs to the window. UI thread.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>

#include "camera/motion/camera_view.h"

namespace orvana::camera {

class CCameraPicture : public QWidget {
    Q_OBJECT

  public:
    explicit CCameraPicture(QWidget* parent = nullptr);

    // Draws `frame` (width x height BGRx) scaled to `display` by dropping
    // lines, the detection rectangle with its 3-pixel (255, 128, 128) pen,
    // and, while the stream is lost, a note that the camera is reconnecting.
    // Nothing is allocated when the display size stays the same.
    void compose(const std::uint8_t* frame, FrameSize size, FrameSize display, DetectRect detect,
                 bool reconnecting);
    // What compose made (also what paintEvent shows).
    const QImage& image() const { return image_; }

    static QString reconnectingText();

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    QImage image_;
};

class CCameraMeter : public QWidget {
    Q_OBJECT

  public:
    explicit CCameraMeter(QWidget* parent = nullptr);
    // The last 30 ratios (newest first) and the threshold to show.
    void setValues(const std::array<double, kHistoryLength>& his, double threshold);
    // The meter as drawn, for the size given (tests).
    QImage render(int w, int h) const;

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    void paint(QPainter& p, int w, int h) const;
    std::array<double, kHistoryLength> his_{};
    double threshold_ = 0.1;
};

}  // namespace orvana::camera
