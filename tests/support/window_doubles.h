// Doubles for the facilities the main window is given, for tests that build
// the whole window: nothing reaches the real machine, network, power or the
// session's logind lock. Header only: the test target links orvana_app.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "core/settings_store.h"
#include "mail/http_client.h"
#include "supervision/power_status.h"
#include "supervision/shutdown_control.h"

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

// The network is up.
class UpNetwork final : public NetworkState {
  public:
    bool isConnected() override { return true; }
};

// A mail server that is never reached.
class UnreachableSmtp final : public SmtpClient {
  public:
    SmtpResult send(const SmtpParams&, const std::string&, const std::vector<std::string>&,
                    const std::string&, const std::atomic<bool>*) override {
        SmtpResult r;
        r.error = "no mail server in tests";
        return r;
    }
};

// Fills every facility the test has not given with a double: mains power,
// no shutdown, no logind lock or bus, an up network, an unreachable mail
// server, a WAN page that never answers, and the real file-time reader
// (tests use real files). Monitor backends stay empty: a kind the test does
// not give one cannot run.
inline void fillWindowDoubles(Services& s) {
    if (!s.power)
        s.power = std::make_unique<OnMains>();
    if (!s.shutdown)
        s.shutdown = std::make_unique<NoShutdown>();
    if (!s.inhibitor)
        s.inhibitor = makeNoInhibitor();  // never the desktop's real logind lock
    if (!s.fileTimes)
        s.fileTimes = makeStatxFileTimes();
    if (!s.smtp)
        s.smtp = std::make_unique<UnreachableSmtp>();
    if (!s.newSmtpClient)
        s.newSmtpClient = [] { return std::make_unique<UnreachableSmtp>(); };
    if (!s.http)
        s.http = std::make_unique<NoHttp>();
    if (!s.network)
        s.network = std::make_unique<UpNetwork>();
}

}  // namespace orvana::testing
