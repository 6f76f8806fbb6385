// Keeps a sensor monitor's device path and finds the device again when it
// goes away. A single failed read stays silent, as before; from the third
// failed read in a row the monitor searches again (from its construction
// index) at most once a minute, reports the loss once (an event line and a
// management notice, ALERT_KANRI), and reports the return once, at the first
// good read after the loss. A meter that is unplugged and plugged back comes
// back under a new device path; without the search it would stay silent
// until the program restarts.
//
// Threads: UI thread; host must outlive the watch.
#pragma once

#include <functional>
#include <string>

#include "core/monitor_host.h"

namespace orvana::sensors {

// Failed reads in a row before the device counts as gone.
inline constexpr int kFailuresBeforeSearch = 3;
// Seconds between two searches while it is gone.
inline constexpr int kSearchIntervalSeconds = 60;

// The texts of a loss and a return for a device called `name`.
struct DeviceWatchTexts {
    std::string lossLine, lossSubject, lossBody;
    std::string returnLine, returnSubject, returnBody;
    static DeviceWatchTexts forDevice(const std::string& name);
};

class DeviceWatch {
  public:
    // search: FindUSB from the construction index; "" when nothing is found.
    DeviceWatch(MonitorHost& host, DeviceWatchTexts texts, std::function<std::string()> search);

    // The device path in use; "" when none was found.
    const std::string& path() const { return path_; }
    // The first search, at opening. Silent.
    void find();

    // A read succeeded: the failure count starts again, and a reported loss
    // is followed by the return notice.
    void readSucceeded();
    // A read failed, or there is no device path. Returns true when a search
    // ran and gave a device path (then path()); the caller may read again.
    bool readFailed();

    bool lost() const { return lossReported_; }
    int failuresInARow() const { return failures_; }

  private:
    MonitorHost& host_;
    DeviceWatchTexts texts_;
    std::function<std::string()> search_;
    std::string path_;
    int failures_ = 0;
    bool lossReported_ = false;
    bool searched_ = false;
    TimeT lastSearch_ = 0;
};

}  // namespace orvana::sensors
