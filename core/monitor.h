// One widget-free interface that every monitor kind implements (sound,
// cameras, temperature/humidity, radiation, power). The main window, the
// mail composer and the periodic notice walk a MonitorRegistry of these and
// never ask which kind a monitor is.
#pragma once

#include <string>
#include <vector>

#include "core/alert_mode.h"
#include "core/app_settings.h"

namespace orvana {

// What a kind is, fixed for the program's life.
struct MonitorKind {
    // Short lower-case name for logs and tests ("sound", "camera", ...).
    const char* name;
    // The kind of the notices it raises.
    ALERT_MODE alertMode;
    // Its check box in the main window and that box's "USE_*" key.
    MonitorSwitch box;
    // The attachment-matrix column it fills (COL_VOL .. COL_OWL), or -1.
    int attachColumn;
    // Probes and starts run in ascending order, and the periodic notice
    // lists the blocks in it: sound 10, cameras 20, temperature 30,
    // radiation 40, power 50.
    int startOrder;
};

// A monitor kind and, while it runs, its window(s). Every member is called
// on the UI thread only; none may block for long (the UI thread runs every
// monitor and the power watch). The registry owns the object for the main
// window's life; the windows it opens are its own.
class Monitor {
  public:
    virtual ~Monitor() = default;

    virtual const MonitorKind& kind() const = 0;

    // What StartXxxWindow(0) does: ends a running monitor (its window saves
    // its own section as it closes), then checks whether the device or data
    // source is present. Returns 1 when the monitor can run, 0 when it cannot
    // (its box is then disabled). Leaves nothing running.
    virtual int probe() = 0;

    // What StartXxxWindow(1) does: as probe(), then, when the monitor can
    // run, opens and shows its window(s). Returns the probe's result.
    virtual int start() = 0;

    // Closes the window(s); each saves its own section as it goes. Nothing
    // happens when the monitor is not running.
    virtual void stop() = 0;

    // True while its window (the first one, for cameras) exists.
    virtual bool running() const = 0;

    // The files for its attachment column: writes them now and returns
    // their full paths in mail order (for example the window picture, then
    // the recording). A path is returned even when its file could not be
    // written; the sender skips missing files. Empty when not running.
    virtual std::vector<std::string> attachments() = 0;

    // Its block of the periodic status notice (ending in "\r\n\r\n"), or
    // empty when it has none or is not running. May restart what it
    // accumulates for the next notice.
    virtual std::string statusBlock() = 0;

    // The main window is closing: writes its own section(s) now. Nothing
    // when not running.
    virtual void SaveSettingBeforeClose() = 0;

    // The session ends (logout, shutdown, SIGTERM): writes its section(s)
    // and data files now, as the process may end without destructors.
    // Nothing when not running.
    virtual void OnEndSession() { SaveSettingBeforeClose(); }
};

}  // namespace orvana
