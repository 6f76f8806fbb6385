// Environment overrides for tests, demos and unusual set-ups. Read once at
// start-up; an unset variable means "use the real system".
#pragma once

#include <string>

namespace orvana {

struct Overrides {
    std::string config;           // ORVANA_CONFIG: settings INI file
    std::string sysfs;            // ORVANA_SYSFS: folder used instead of /sys
    std::string poweroffCommand;  // ORVANA_POWEROFF_COMMAND
    std::string rebootCommand;    // ORVANA_REBOOT_COMMAND
    std::string audioSource;      // ORVANA_AUDIO_SOURCE: GStreamer source description
    std::string cameras;          // ORVANA_CAMERAS: ";"-separated source descriptions
    std::string owlDb;            // ORVANA_OWL_DB
    std::string gipUrl;           // ORVANA_GIP_URL
    std::string makerSmtp;        // ORVANA_MAKER_SMTP: host[:port]
    std::string smtpCafile;       // ORVANA_SMTP_CAFILE
    std::string stallLog;         // ORVANA_STALL_LOG: gets the longest UI stall, start-up time
    std::string outbox;           // ORVANA_OUTBOX: folder of the durable outbox

    // The sysfs root: ORVANA_SYSFS or "/sys".
    std::string sysfsRoot() const { return sysfs.empty() ? std::string("/sys") : sysfs; }
};

// Reads the variables from the process environment.
Overrides readOverrides();

// Name and meaning of every variable, for --help and the README.
struct OverrideInfo {
    const char* name;
    const char* meaning;
};
extern const OverrideInfo kOverrideInfo[12];

}  // namespace orvana
