// The demo's settings: mail and every notice on, recipients for every kind of
// notice, the attachments as they come, every monitor switched on, and limits
// that the simulated devices cross during their episodes (demo_schedule.h).
#pragma once

#include <string>
#include <vector>

#include "core/app_settings.h"
#include "core/settings_store.h"

namespace orvana::demo {

// The limits the schedule's episodes cross.
inline constexpr int kSoundThresholdSlider = 500;    // -15 dB
inline constexpr double kTemperatureLimit = 30.0;    // °C, hysteresis 1
inline constexpr double kRadiationLimit = 120.0;     // counts a minute, hysteresis 20
inline constexpr double kPowerLimit = 2.0;           // kW, hysteresis 0.2
inline constexpr int kCameraSensitivitySlider = 60;  // 0.1 % of the pixels

// The recipients: the owner gets every kind, the guard abnormal notices only.
inline constexpr const char* kOwnerAddress = "owner@example.com";
inline constexpr const char* kGuardAddress = "guard@example.com";
inline constexpr const char* kKeepAliveAddress = "keepalive@example.com";
inline constexpr const char* kDemoFrom = "orvana-demo@example.com";
inline constexpr const char* kDemoSubject = "orvanaデモ";

// The two cameras: a ball moving over a still background, and still colour
// bars (the camera list's syntax, camera/camera_source.h), at 320 x 240
// (a test source would offer 160 x 120 first).
inline constexpr const char* kDemoCameras =
    "videotestsrc is-live=true pattern=ball background-color=0xff203040"
    " ! video/x-raw,width=320,height=240 ; "
    "videotestsrc is-live=true pattern=smpte75 ! video/x-raw,width=320,height=240";

// Writes every section into `store` and syncs it. dataDir: "DATA_DIR".
// smtp: empty for the Maildir delivery (the maker's account, which the
// Maildir client never contacts), else host:port of the own server, used
// without login and TLS. False when the store could not be written. UI
// thread (or before the application exists).
bool writeDemoSettings(SettingsStore& store, const std::string& dataDir, const std::string& smtp);

// Where the demo's windows open on a display: the main window down the left
// of the work area, the monitor windows in a grid of two columns and three
// rows beside it (sound, temperature, radiation, power, then the two
// cameras), so that a person sees every window at once. Left alone, every
// window would open at the top right, one on top of the other. Each entry is
// a settings section and its rectangle (right and bottom exclusive), inside
// the work area; windows smaller than their least size may overlap on small
// screens. Pure.
struct WindowPlace {
    const char* section;
    Placement rect;
};
std::vector<WindowPlace> demoWindowPlaces(int left, int top, int width, int height);

// Writes demoWindowPlaces into the sections' "left", "top", "right" and
// "bottom". UI thread.
void writeDemoWindowPlaces(SettingsStore& store, int left, int top, int width, int height);

}  // namespace orvana::demo
