// The level graph control of the sound window: paints a LevelGraph through
// an off-screen CBufDC, so it never flickers.
#pragma once

#include <QWidget>

#include "sound/level_graph.h"

namespace orvana::sound {

class CPictureStatic : public QWidget {
    Q_OBJECT

  public:
    // graph: the series and thresholds to show; not owned, must outlive
    // the control. UI thread.
    explicit CPictureStatic(LevelGraph& graph, QWidget* parent = nullptr);
    LevelGraph& graph() { return graph_; }

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    LevelGraph& graph_;
};

}  // namespace orvana::sound
