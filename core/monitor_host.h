// What a monitor and its windows see of the main window. The main window
// implements it; monitor tests implement it without widgets.
#pragma once

#include <string>

#include "core/alert_mode.h"
#include "core/app_settings.h"
#include "core/clock.h"
#include "core/prompt.h"
#include "core/settings_store.h"

namespace orvana {

class MonitorHost {
  public:
    virtual ~MonitorHost() = default;

    // The event report (see EventLog::Report). Any thread.
    virtual void Report(const std::string& text, int stampMode, int extra = 0) = 0;

    // Composes one notice and queues it for the sender. Returns 0 when the
    // own-server settings are incomplete (reported as "Error : ..."), else 1,
    // also when nothing was queued. UI thread.
    virtual int RegistMail(ALERT_MODE kind, const std::string& title, const std::string& text,
                           int timeFormat) = 0;

    // The main window's current settings. UI thread; the reference stays
    // valid for the host's lifetime, the values change on settings OK.
    virtual const AppSettings& settings() const = 0;

    virtual SettingsStore& store() = 0;
    virtual Clock& clock() = 0;
    virtual Prompt& prompt() = 0;

    // True when the program runs without a visible display.
    virtual bool headless() const = 0;
};

}  // namespace orvana
