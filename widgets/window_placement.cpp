#include "widgets/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace orvana {
namespace {

bool onSomeScreen(int x, int y, const std::vector<QRect>& screens) {
    for (const QRect& s : screens) {
        // A stored right/bottom edge is exclusive, so the edge itself counts.
        if (x >= s.left() && x <= s.left() + s.width() && y >= s.top() && y <= s.top() + s.height())
            return true;
    }
    return false;
}

}  // namespace

QRect placeWindowRect(const Placement& p, QSize size, const std::vector<QRect>& screens,
                      const QRect& workArea, int shift) {
    if (onSomeScreen(p.left, p.top, screens) && onSomeScreen(p.right, p.bottom, screens) &&
        p.right > p.left && p.bottom > p.top) {
        return QRect(p.left, p.top, p.right - p.left, p.bottom - p.top);
    }
    const int left = workArea.left() + workArea.width() - size.width() - 10 + shift;
    const int top = 10 + shift;
    const int bottom = std::min(workArea.height(), size.height()) + shift;
    return QRect(left, top, size.width(), std::max(1, bottom - top));
}

void placeWindow(QWidget& w, const Placement& stored, int shift) {
    std::vector<QRect> screens;
    for (QScreen* s : QGuiApplication::screens())
        screens.push_back(s->geometry());
    QScreen* primary = QGuiApplication::primaryScreen();
    const QRect work = primary ? primary->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect r = placeWindowRect(stored, w.size(), screens, work, shift);
    w.resize(r.size());
    w.move(r.topLeft());
}

Placement placementOf(const QWidget& w) {
    const QRect r = w.isMaximized() || w.isMinimized() ? w.normalGeometry() : w.frameGeometry();
    const QRect g = r.isValid() ? r : w.geometry();
    Placement p;
    p.left = g.left();
    p.top = g.top();
    p.right = g.left() + g.width();
    p.bottom = g.top() + g.height();
    return p;
}

}  // namespace orvana
