#include "core/overrides.h"

#include <cstdlib>

namespace orvana {
namespace {
std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}
}  // namespace

const OverrideInfo kOverrideInfo[12] = {
    {"ORVANA_CONFIG", "path of the settings file used instead of the per-user store"},
    {"ORVANA_SYSFS", "folder used instead of /sys for class/power_supply and class/net"},
    {"ORVANA_POWEROFF_COMMAND", "command line run instead of powering off"},
    {"ORVANA_REBOOT_COMMAND", "command line run instead of rebooting"},
    {"ORVANA_AUDIO_SOURCE", "GStreamer source description used instead of the default sound input"},
    {"ORVANA_CAMERAS", "';'-separated GStreamer source descriptions used instead of the cameras"},
    {"ORVANA_OWL_DB", "path of the power monitor's database"},
    {"ORVANA_GIP_URL", "URL of the WAN address page"},
    {"ORVANA_MAKER_SMTP", "host[:port] used for the maker's mail account"},
    {"ORVANA_SMTP_CAFILE", "extra CA certificates trusted for STARTTLS"},
    {"ORVANA_STALL_LOG", "file that gets, at exit, the longest time the window thread was held"},
    {"ORVANA_OUTBOX",
     "folder of the durable outbox (default $XDG_STATE_HOME/Quellor/orvana/outbox,\n"
     "                           or ~/.local/state/Quellor/orvana/outbox without it)"},
};

Overrides readOverrides() {
    Overrides o;
    o.config = env("ORVANA_CONFIG");
    o.sysfs = env("ORVANA_SYSFS");
    o.poweroffCommand = env("ORVANA_POWEROFF_COMMAND");
    o.rebootCommand = env("ORVANA_REBOOT_COMMAND");
    o.audioSource = env("ORVANA_AUDIO_SOURCE");
    o.cameras = env("ORVANA_CAMERAS");
    o.owlDb = env("ORVANA_OWL_DB");
    o.gipUrl = env("ORVANA_GIP_URL");
    o.makerSmtp = env("ORVANA_MAKER_SMTP");
    o.smtpCafile = env("ORVANA_SMTP_CAFILE");
    o.stallLog = env("ORVANA_STALL_LOG");
    o.outbox = env("ORVANA_OUTBOX");
    return o;
}

}  // namespace orvana
