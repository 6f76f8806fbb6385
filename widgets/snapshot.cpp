#include "widgets/snapshot.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "core/snapshot_name.h"

namespace orvana {
namespace {

void keepOnTop(QWidget& w) {
    if (w.windowFlags() & Qt::WindowStaysOnTopHint) {
        w.raise();
        return;
    }
    const bool visible = w.isVisible();
    w.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (visible)
        w.show();  // changing the flags hides a shown window
    w.raise();
}

bool offscreen() {
    const QString p = QGuiApplication::platformName();
    return p == QLatin1String("offscreen") || p == QLatin1String("minimal");
}

bool saveJpeg(const QImage& img, const std::string& path) {
    if (img.isNull())
        return false;
    return img.save(QString::fromStdString(path), "JPG");
}

QImage clientPicture(QWidget& w) {
    // Painted into an image filled with the window's background colour
    // first, so areas a child leaves unpainted do not come out black.
    QImage img(w.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    img.fill(w.palette().color(w.backgroundRole()));
    QPainter painter(&img);
    w.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren | QWidget::DrawWindowBackground);
    return img;
}

}  // namespace

std::string SaveClientBitmap(QWidget& w, const SettingsStore& store, TimeT now,
                             const std::string& suffix, bool makeTopmost) {
    const std::string path = snapshotFileName(store, now, suffix);
    if (makeTopmost)
        keepOnTop(w);
    saveJpeg(clientPicture(w), path);
    return path;
}

std::string SaveDesktopBitmap(QWidget& mainWindow, const SettingsStore& store, TimeT now) {
    const std::string path = snapshotFileName(store, now, "#win.jpg");
    keepOnTop(mainWindow);
    QImage img;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && !offscreen())
        img = screen->grabWindow(0).toImage();
    if (img.isNull())
        img = clientPicture(mainWindow);
    saveJpeg(img, path);
    return path;
}

}  // namespace orvana
