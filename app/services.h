// The platform facilities the main window works with. The program fills
// this with the real backends (app/main/platform.cpp, the one place that
// picks implementations); tests fill it with doubles.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/clock.h"
#include "core/overrides.h"
#include "supervision/power_status.h"
#include "core/prompt.h"
#include "supervision/session_guard.h"
#include "core/settings_store.h"
#include "supervision/shutdown_control.h"
#include "mail/http_client.h"
#include "mail/network_state.h"
#include "mail/smtp_client.h"
#include "sound/wave_input.h"

namespace orvana {

struct Services {
    std::unique_ptr<Clock> clock;          // required
    std::unique_ptr<SettingsStore> store;  // required
    // Null: message boxes on the display, or event-list lines when headless.
    std::unique_ptr<Prompt> prompt;
    Overrides overrides;
    bool headless = false;      // offscreen platform: also echo lines to stdout
    bool echoToStdout = false;  // write every event-list line to stdout
    std::string desktopDir;     // where an empty "DATA_DIR" is put
    std::string manualPath;     // the manual opened by "マニュアル表示"
    // Opens a document with the desktop's default handler; false on failure.
    std::function<bool(const std::string& path)> openDocument;

    // Facilities of later subsystems are added below, each as a unique_ptr
    // to its interface (null = the main window makes the real one).

    // Power status; null = <sysfs root>/class/power_supply.
    std::unique_ptr<PowerSource> power;
    // Power-off and reboot; null = systemctl or ORVANA_*_COMMAND. Tests
    // should always give a double here.
    std::unique_ptr<ShutdownControl> shutdown;
    // The shutdown/sleep delay lock; null = logind on the system bus when
    // there is one.
    std::unique_ptr<InhibitorLock> inhibitor;
    // Mail: SMTP client and WAN page client; null = libcurl.
    std::unique_ptr<SmtpClient> smtp;
    std::unique_ptr<HttpClient> http;
    // "Is the network up" for the mail sender; null = <sysfs root>/class/net.
    std::unique_ptr<NetworkState> network;
    // The sound monitor's input; null = GStreamer on the default input, or
    // on overrides.audioSource (ORVANA_AUDIO_SOURCE).
    std::unique_ptr<sound::WaveInputFactory> waveInputs;
};

}  // namespace orvana
