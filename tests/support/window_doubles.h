// Doubles for the facilities the main window is given, for tests that build
// the whole window: nothing reaches the real machine, network or power.
// Header only: the test target links the subsystems these interfaces are in.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "supervision/power_status.h"
#include "core/settings_store.h"
#include "supervision/shutdown_control.h"
#include "mail/http_client.h"

namespace orvana::testing {

// The window owns its store; this one lets the test read it afterwards.
class ForwardingStore final : public SettingsStore {
  public:
    explicit ForwardingStore(SettingsStore& to) : to_(to) {}
    int getInt(const std::string& s, const std::string& k, int d) const override {
        return to_.getInt(s, k, d);
    }
    std::string getString(const std::string& s, const std::string& k,
                          const std::string& d) const override {
        return to_.getString(s, k, d);
    }
    void writeInt(const std::string& s, const std::string& k, int v) override {
        to_.writeInt(s, k, v);
    }
    void writeString(const std::string& s, const std::string& k, const std::string& v) override {
        to_.writeString(s, k, v);
    }
    bool contains(const std::string& s, const std::string& k) const override {
        return to_.contains(s, k);
    }
    bool sync() override { return to_.sync(); }

  private:
    SettingsStore& to_;
};

// A WAN page that never answers.
class NoHttp final : public HttpClient {
  public:
    std::optional<std::string> get(const std::string&, std::chrono::milliseconds) override {
        return std::nullopt;
    }
};

// A laptop on mains power with a full battery.
class OnMains final : public PowerSource {
  public:
    PowerStatus read() override { return {1, 100, true}; }
};

// Counts shutdown requests instead of carrying them out.
class NoShutdown final : public ShutdownControl {
  public:
    bool ShutdownWindows(int, int) override {
        ++calls;
        return true;
    }
    int calls = 0;
};

}  // namespace orvana::testing
