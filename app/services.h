// The platform facilities the main window works with, each behind a small
// interface. The program fills this with the production backends
// (app/platform.cpp, the one place that picks them); tests fill it with
// doubles (tests/support/window_doubles.h). The main window never makes a
// backend itself: a required facility that is missing is an error at
// construction.
#pragma once

#include <QDBusConnection>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/backends.h"
#include "core/clock.h"
#include "core/event_log.h"
#include "core/overrides.h"
#include "core/prompt.h"
#include "core/settings_store.h"
#include "mail/http_client.h"
#include "mail/network_state.h"
#include "mail/smtp_client.h"
#include "supervision/cleanup_thread.h"
#include "supervision/power_status.h"
#include "supervision/session_guard.h"
#include "supervision/shutdown_control.h"
#include "widgets/monitor_context.h"

class QWidget;

namespace orvana {

struct Services {
    // Required.
    std::unique_ptr<Clock> clock;
    std::unique_ptr<SettingsStore> store;
    // The prompt: either given, or made once the window exists (headless:
    // event-list lines through `log`; else boxes with `window` as parent).
    std::unique_ptr<Prompt> prompt;
    std::function<std::unique_ptr<Prompt>(EventLog& log, QWidget* window)> makePrompt;
    // Power status, power-off and reboot, the shutdown/sleep delay lock,
    // file creation times for housekeeping. Required.
    std::unique_ptr<PowerSource> power;
    std::unique_ptr<ShutdownControl> shutdown;
    std::unique_ptr<InhibitorLock> inhibitor;
    std::unique_ptr<FileTimes> fileTimes;
    // The bus that carries logind's PrepareForShutdown/PrepareForSleep;
    // null: only the desktop session's end is watched.
    std::function<QDBusConnection()> systemBus;
    // Mail: the sender's SMTP client, a maker of further clients (the
    // settings dialog's test mail), the WAN page client and the network
    // gate. Required.
    std::unique_ptr<SmtpClient> smtp;
    std::function<std::unique_ptr<SmtpClient>()> newSmtpClient;
    std::unique_ptr<HttpClient> http;
    std::unique_ptr<NetworkState> network;
    // The folder of the durable outbox (mail/outbox.h); empty: queued mail
    // lives in memory only and is lost with the program.
    std::string outboxDir;
    // What the monitor kinds use (sound input, converter runner, camera
    // source, device-library loader, vendor database). A kind without its
    // backend cannot run.
    Backends backends;
    // Adds the monitor kinds; null: every kind this build has
    // (registerMonitorKinds).
    MonitorRegistration registerMonitors;

    // Said in the event list (and a notice box) right after the banner: what
    // start-up found before the window existed (a damaged settings file).
    std::vector<std::string> startupWarnings;
    // Where the daily log goes while the data folder cannot be written.
    std::string fallbackLogDir;

    Overrides overrides;
    bool headless = false;      // offscreen platform
    bool echoToStdout = false;  // write every event-list line to stdout
    std::string desktopDir;     // where an empty "DATA_DIR" is put
    std::string manualPath;     // the manual opened by "マニュアル表示"
    // Opens a document with the desktop's default handler; false on
    // failure. Null: QDesktopServices.
    std::function<bool(const std::string& path)> openDocument;
};

// Throws std::invalid_argument naming every required facility that is
// missing (everything above marked required, and a prompt or its maker).
void requireFacilities(const Services& s);

}  // namespace orvana
