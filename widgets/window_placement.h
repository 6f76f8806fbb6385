// Where a window opens: at its stored rectangle when that is on a display,
// otherwise at the top right of the primary work area.
#pragma once

#include <QRect>
#include <QSize>
#include <vector>

#include "core/app_settings.h"

class QWidget;

namespace orvana {

// Pure geometry. stored: the saved normal rectangle (right/bottom exclusive,
// -10000 each when never saved); size: the dialog's own size; screens: every
// display's geometry; workArea: the primary display's available area;
// shift: pixels the fallback moves right and down (8 per camera number).
// Returns the rectangle to use (QRect with inclusive right/bottom as Qt has it).
QRect placeWindowRect(const Placement& stored, QSize size, const std::vector<QRect>& screens,
                      const QRect& workArea, int shift = 0);

// Applies placeWindowRect to w with the real screens. UI thread.
void placeWindow(QWidget& w, const Placement& stored, int shift = 0);

// The normal (restored) rectangle of w as it is stored. UI thread.
Placement placementOf(const QWidget& w);

}  // namespace orvana
