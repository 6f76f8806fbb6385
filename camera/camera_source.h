// Where the camera list comes from: the platform facility behind the
// capture layer. Production (app/platform.cpp) picks one of
//   - the ";"-separated source list of ORVANA_CAMERAS,
//   - else the same list from the settings file (section "Cameras", key
//     "Sources"), so that network cameras need no environment,
//   - else the system's GStreamer device monitor ("Video/Source").
// Tests give a listed source of videotestsrc descriptions or RTSP URLs.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace orvana::camera {

// One camera of the list.
struct CameraEntry {
    std::string name;         // friendly name, shown and reported; never holds a password
    std::string description;  // device class ("Video/Source"), or what kind of listed source
    std::string path;         // device node or id; for a listed source its text as given
    // What the capture layer opens: a gst-launch description whose last
    // element delivers video, e.g. "v4l2src device=/dev/video0",
    // "videotestsrc is-live=true pattern=ball", "rtspsrc location=rtsp://…".
    std::string source;
};

class CameraSource {
  public:
    virtual ~CameraSource() = default;

    // The cameras in enumeration order (the device index of EWC_Open counts
    // in this order). Empty when there are none. May take a moment (device
    // probing). Any thread: the capture layer also asks from a camera's
    // watch thread, to find a lost device again.
    virtual std::vector<CameraEntry> cameras() = 0;
};

// Parses a ";"-separated list, one camera per item; blanks around items are
// dropped and empty items skipped (a description therefore cannot contain
// ";"). An item that is a URL is turned into its source:
//   rtsp://… or rtsps://…   → rtspsrc (200 ms latency, 5 s TCP time-out)
//   http://… or https://…   → souphttpsrc ! multipartdemux (MJPEG over
//                              HTTP as multipart/x-mixed-replace, 10 s time-out)
// Anything else is used as a gst-launch description as it stands. Names
// are the item with any "user:password@" of a URL removed.
std::vector<CameraEntry> parseCameraList(const std::string& list);

// A fixed list (parseCameraList). Never null. Thread-safe.
std::unique_ptr<CameraSource> makeListedCameraSource(const std::string& list);

// The GStreamer device monitor, class "Video/Source". Never null.
std::unique_ptr<CameraSource> makeDeviceCameraSource();

// The production choice: `environmentList` (ORVANA_CAMERAS) when not blank,
// else `settingsList` ("Cameras"/"Sources") when not blank, else the device
// monitor. Never null.
std::unique_ptr<CameraSource> makeSystemCameraSource(const std::string& environmentList,
                                                     const std::string& settingsList);

}  // namespace orvana::camera
