#include "sound/ui/picture_static.h"

#include <QPainter>

namespace orvana::sound {

CPictureStatic::CPictureStatic(LevelGraph& graph, QWidget* parent)
    : QWidget(parent), graph_(graph) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted
}

void CPictureStatic::paintEvent(QPaintEvent*) {
    CBufDC buf(size(), palette().color(backgroundRole()));
    graph_.Paint(buf.surface());
    QPainter p(this);
    buf.DrawDC(p);
}

}  // namespace orvana::sound
