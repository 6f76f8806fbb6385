// GStreamer pieces shared by the sound input and the cameras: start-up of
// the library, pipelines from gst-launch descriptions, the device list, and
// a bus watch for pipelines that nobody runs a main loop for.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct _GstElement;

namespace orvana::gst {

// Initialises GStreamer once for the process. False when it cannot start;
// everything below then fails cleanly. Any thread.
bool ensureGstreamer();

// Drops one reference of a GstObject.
struct ObjectUnref {
    void operator()(void* object) const;
};
using ElementPtr = std::unique_ptr<_GstElement, ObjectUnref>;

// Builds a pipeline from a gst-launch description. Returns null and sets
// *error (when not null) to GStreamer's message when the description does
// not parse or names a missing element. The caller owns the result; release
// it with `release` so its streaming threads are joined first. Any thread.
ElementPtr parsePipeline(const std::string& description, std::string* error);

// Stops a pipeline (state NULL joins its streaming threads, so no callback
// runs afterwards), detaches any bus handler and drops the reference.
// Null is allowed. The thread that owns the pipeline.
void release(ElementPtr pipeline);

// One device of the system's device monitor.
struct DeviceEntry {
    std::string name;         // display name, e.g. "Integrated Camera"
    std::string description;  // device class, e.g. "Video/Source"
    std::string path;         // device node or id; empty when none is known
    // A gst-launch description of the element that opens this device, e.g.
    // "v4l2src device=/dev/video0"; filled only when asked for.
    std::string source;
};

// The devices of one class ("Audio/Source", "Video/Source"), in the order
// the monitor gives them. Empty when there are none or GStreamer does not
// start. With `withSource`, each entry's `source` is filled (the device's
// element is made once to read it). May take a moment (device probing); UI
// thread or a worker.
std::vector<DeviceEntry> listDevices(const char* deviceClass, bool withSource = false);

// Notes the errors and the end of stream a pipeline posts and drops every
// bus message, so a pipeline that runs for weeks without a main loop piles
// nothing up. Attach before the pipeline runs, detach (or `release`) before
// this object goes. failed(), ended() and error() may be called from any
// thread.
class BusErrors {
  public:
    // Called on the posting (streaming) thread after an error or the end
    // of stream was noted, so a watcher can wake at once instead of
    // polling. Set before attach; must be short and must not stop the
    // pipeline itself. May be null.
    void setListener(std::function<void()> listener);

    void attach(_GstElement* pipeline);
    void detach(_GstElement* pipeline);
    // True once an error was posted since the last clear().
    bool failed() const;
    // True once the pipeline posted its end of stream since the last clear().
    bool ended() const;
    // The last error's message; empty when none.
    std::string error() const;
    void clear();

    // Record an error or the end of stream; the bus handler calls them on a
    // streaming thread.
    void noteError(std::string message);
    void noteEnd();

  private:
    mutable std::mutex mutex_;
    bool failed_ = false;
    bool ended_ = false;
    std::string error_;
    std::function<void()> listener_;
};

}  // namespace orvana::gst
