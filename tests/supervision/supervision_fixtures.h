// Doubles and helpers shared by the supervision and housekeeping tests.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/event_log.h"
#include "supervision/session_guard.h"
#include "supervision/supervisor.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/virtual_clock.h"

namespace orvana::testing {

// A folder removed with its contents when the test ends.
class ScratchDir {
  public:
    ScratchDir() {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "orvana-super-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A power_supply tree of real files, the way the kernel lays it out.
class FakeSysfs {
  public:
    std::string root() const { return dir_.path(); }
    std::string supply(const std::string& name) const {
        return dir_.path() + "/class/power_supply/" + name;
    }
    void set(const std::string& name, const std::string& attr, const std::string& value) {
        writeFile(supply(name) + "/" + attr, value + "\n");
    }
    void remove(const std::string& name, const std::string& attr) {
        std::filesystem::remove(supply(name) + "/" + attr);
    }
    // A laptop: mains adapter "AC" and battery "BAT0".
    void laptop(int online, int capacity, const std::string& status = "Charging") {
        set("AC", "type", "Mains");
        set("AC", "online", std::to_string(online));
        set("BAT0", "type", "Battery");
        set("BAT0", "status", status);
        set("BAT0", "capacity", std::to_string(capacity));
    }
    void plug(int online) { set("AC", "online", std::to_string(online)); }
    void capacity(int c) { set("BAT0", "capacity", std::to_string(c)); }

  private:
    ScratchDir dir_;
};

// The main window as the supervisor sees it. Every call is also written to
// `events` in order, so sequences can be checked.
class TestHost final : public SupervisorHost {
  public:
    explicit TestHost(Clock& clock) : log(clock) {
        // Daily log files go to a scratch folder, never the current one.
        log.setDataDir(logDir.path());
        log.addSink([this](const std::string& line) { lines.push_back(line); });
    }

    void Report(const std::string& text, int stampMode, int extra = 0) override {
        const bool on = log.enabled();
        log.Report(text, stampMode, extra);
        if (on) {
            reports.push_back({text, stampMode});
            events.push_back("report:" + text);
        }
    }
    int RegistMail(ALERT_MODE kind, const std::string& title, const std::string& text,
                   int timeFormat) override {
        mails.push_back({kind, title, text, timeFormat});
        events.push_back("mail:" + std::to_string(kind) + ":" + title);
        return 1;
    }
    void WaitAllMailSend() override {
        ++waits;
        events.push_back("wait");
    }
    // Runs `then` at once unless a test holds it back.
    void WhenMailSent(std::function<void()> then) override {
        ++waits;
        events.push_back("wait");
        if (holdMailSent)
            held.push_back(std::move(then));
        else
            then();
    }
    bool holdMailSent = false;
    std::vector<std::function<void()>> held;
    void UpdateData() override { ++updates; }
    const AppSettings& settings() const override { return s; }
    SettingsStore& store() override { return otherStore ? *otherStore : st; }
    void setReportingEnabled(bool on) override {
        log.setEnabled(on);
        events.push_back(on ? "reporting:on" : "reporting:off");
    }
    void SaveSettingBeforeClose() override {
        ++saves;
        events.push_back("save");
    }
    std::string StatusText() override { return BuildStatusText(sources); }

    struct Line {
        std::string text;
        int stampMode;
    };
    struct Mail {
        ALERT_MODE kind;
        std::string title, text;
        int timeFormat;
    };
    ScratchDir logDir;
    EventLog log;
    AppSettings s;
    MemorySettingsStore st;
    SettingsStore* otherStore = nullptr;  // used instead of st when set
    StatusSources sources;
    std::vector<std::string> lines;
    std::vector<Line> reports;
    std::vector<Mail> mails;
    std::vector<std::string> events;
    int waits = 0, updates = 0, saves = 0;
};

// Records each request with the "REBOOT" marker as it was at that moment.
class RecordingShutdown final : public ShutdownControl {
  public:
    RecordingShutdown(SettingsStore& store, std::vector<std::string>* events = nullptr)
        : store_(store), events_(events) {}
    bool ShutdownWindows(int reboot, int force) override {
        calls.push_back({reboot, force, store_.getInt("Setting", "REBOOT", -1)});
        if (events_)
            events_->push_back(reboot ? "reboot" : "poweroff");
        return true;
    }
    struct Call {
        int reboot, force, markerAtCall;
    };
    std::vector<Call> calls;

  private:
    SettingsStore& store_;
    std::vector<std::string>* events_;
};

class FixedPower final : public PowerSource {
  public:
    PowerStatus read() override { return status; }
    PowerStatus status{1, 100, true};
};

class RecordingLock final : public InhibitorLock {
  public:
    explicit RecordingLock(std::vector<std::string>* events = nullptr) : events_(events) {}
    bool acquire() override {
        ++acquires;
        held_ = available;
        if (events_)
            events_->push_back("lock:acquire");
        return held_;
    }
    void release() override {
        if (held_ && events_)
            events_->push_back("lock:release");
        held_ = false;
    }
    bool held() const override { return held_; }
    bool available = true;
    int acquires = 0;

  private:
    std::vector<std::string>* events_;
    bool held_ = false;
};

}  // namespace orvana::testing
