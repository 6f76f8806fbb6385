// What mail composition needs of the main window. The main window implements
// it; tests implement it without widgets.
#pragma once

#include <string>

#include "core/app_settings.h"
#include "core/clock.h"
#include "core/monitor_registry.h"

namespace orvana {

class MailHost {
  public:
    virtual ~MailHost() = default;

    // The main window's current settings, recipient list included. UI thread.
    virtual const AppSettings& settings() const = 0;
    virtual Clock& clock() = 0;
    // The event report (stamp mode 0, 1 or 2). Any thread.
    virtual void Report(const std::string& text, int stampMode, int extra = 0) = 0;

    // The monitor kinds; the running ones give the files of their
    // attachment column. UI thread.
    virtual MonitorRegistry& monitors() = 0;
    // Writes a desktop picture now and returns its path (also when the file
    // could not be written). UI thread.
    virtual std::string SaveDesktopBitmap() = 0;
    // The WAN address text; empty when the page could not be fetched. UI thread.
    virtual std::string GetIpAddress() = 0;
};

}  // namespace orvana
