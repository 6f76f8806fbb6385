// Window and desktop pictures written as JPEG files into the data folder.
#pragma once

#include <string>

#include "core/clock.h"
#include "core/settings_store.h"

class QWidget;

namespace orvana {

// A picture of w's client area, saved as snapshotFileName(store, now, suffix).
// makeTopmost raises w above other windows first and leaves it so (the
// sensor windows do this, the sound window does not). Returns the path, also
// when the file could not be written. Never blocks on the display. UI thread.
std::string SaveClientBitmap(QWidget& w, const SettingsStore& store, TimeT now,
                             const std::string& suffix, bool makeTopmost);

// A picture of the primary screen with mainWindow kept on top, saved with
// the suffix "#win.jpg". Without a desktop to capture (offscreen platform)
// the picture is mainWindow's own. Returns the path. UI thread.
std::string SaveDesktopBitmap(QWidget& mainWindow, const SettingsStore& store, TimeT now);

}  // namespace orvana
