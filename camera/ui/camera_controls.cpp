#include "camera/ui/camera_controls.h"

#include <QPainter>

namespace orvana::camera {

CCameraPicture::CCameraPicture(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QString CCameraPicture::reconnectingText() {
    return QStringLiteral("映像が途絶えました。再接続しています...");
}

void CCameraPicture::compose(const std::uint8_t* frame, FrameSize size, FrameSize display,
                             DetectRect detect, bool reconnecting) {
    if (image_.width() != display.width || image_.height() != display.height)
        image_ = QImage(display.width, display.height, QImage::Format_RGB32);
    if (image_.isNull())
        return;
    // Bytes blue, green, red, x: QImage's 32-bit RGB in memory order. The
    // view shares the frame's memory.
    const QImage view(frame, size.width, size.height, size.width * 4, QImage::Format_RGB32);
    QPainter p(&image_);
    // Without smoothing: lines that do not fit are dropped.
    p.drawImage(QRect(0, 0, display.width, display.height), view);
    const ViewRect r = DisplayedRect(detect, size, display);
    p.setPen(QPen(QColor(255, 128, 128), 3, Qt::SolidLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.x, r.y, r.width, r.height);
    if (reconnecting) {
        p.fillRect(0, 0, display.width, 24, QColor(0, 0, 0, 160));
        p.setPen(Qt::white);
        p.drawText(QRect(4, 0, display.width - 8, 24), Qt::AlignVCenter | Qt::AlignLeft,
                   reconnectingText());
    }
    update();
}

void CCameraPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (image_.isNull())
        p.fillRect(rect(), Qt::black);
    else
        p.drawImage(0, 0, image_);
}

CCameraMeter::CCameraMeter(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    his_.fill(kMotionFloor);
}

void CCameraMeter::setValues(const std::array<double, kHistoryLength>& his, double threshold) {
    his_ = his;
    threshold_ = threshold;
    update();
}

QImage CCameraMeter::render(int w, int h) const {
    QImage img(w + 1, h + 1, QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    paint(p, w, h);
    return img;
}

void CCameraMeter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, width(), height());
}

void CCameraMeter::paint(QPainter& p, int w, int h) const {
    // The client rectangle moved by one pixel right and down.
    p.fillRect(1, 1, w, h, Qt::white);
    for (const MeterBar& b : MeterBars(his_, threshold_, w, h)) {
        if (b.rect.height <= 0)
            continue;
        p.setPen(b.over ? QColor(255, 128, 128) : QColor(128, 128, 255));
        p.setBrush(b.over ? QColor(255, 0, 0) : QColor(0, 0, 255));
        p.drawRect(b.rect.x, b.rect.y, b.rect.width, b.rect.height);
    }
    const int y = ThresholdLineY(threshold_, h);
    p.setPen(QPen(QColor(255, 128, 128), 1, Qt::DotLine));
    p.drawLine(0, y, w, y);
}

}  // namespace orvana::camera
