// A main window stand-in for the sensor monitor tests: records reports and
// mails in order, runs on a virtual clock, keeps its settings in memory.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/monitor_host.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_prompt.h"
#include "tests/support/virtual_clock.h"

namespace orvana::sensors::testing {

// A settings store in memory that also keeps the order of the writes.
class OrderedStore final : public SettingsStore {
  public:
    int getInt(const std::string& s, const std::string& k, int d) const override {
        return mem.getInt(s, k, d);
    }
    std::string getString(const std::string& s, const std::string& k,
                          const std::string& d) const override {
        return mem.getString(s, k, d);
    }
    void writeInt(const std::string& s, const std::string& k, int v) override {
        written.push_back(s + "/" + k);
        mem.writeInt(s, k, v);
    }
    void writeString(const std::string& s, const std::string& k, const std::string& v) override {
        written.push_back(s + "/" + k);
        mem.writeString(s, k, v);
    }
    bool contains(const std::string& s, const std::string& k) const override {
        return mem.contains(s, k);
    }
    bool sync() override { return mem.sync(); }

    orvana::testing::MemorySettingsStore mem;
    std::vector<std::string> written;  // "section/key" in writing order
};

struct SentMail {
    ALERT_MODE kind;
    std::string title;
    std::string text;
};

class SensorTestHost final : public MonitorHost {
  public:
    explicit SensorTestHost(TimeT start) : clock_(start) {}

    // Lines as "[stamp mode]text", separators (mode 0) as they are.
    void Report(const std::string& text, int stampMode, int = 0) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(stampMode == 0 ? text : "[" + std::to_string(stampMode) + "]" + text);
    }
    int RegistMail(ALERT_MODE kind, const std::string& title, const std::string& text,
                   int timeFormat) override {
        std::lock_guard lock(mutex_);
        EXPECT_EQ(timeFormat, 2);
        mails_.push_back({kind, title, text});
        return 1;
    }
    const AppSettings& settings() const override { return app; }
    SettingsStore& store() override { return store_; }
    Clock& clock() override { return clock_; }
    Prompt& prompt() override { return prompt_; }
    bool headless() const override { return true; }

    std::vector<std::string> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::vector<SentMail> mails() {
        std::lock_guard lock(mutex_);
        return mails_;
    }
    // Lines and mails since the previous call.
    std::vector<std::string> takeLines() {
        std::lock_guard lock(mutex_);
        auto out = std::move(lines_);
        lines_.clear();
        return out;
    }
    std::vector<SentMail> takeMails() {
        std::lock_guard lock(mutex_);
        auto out = std::move(mails_);
        mails_.clear();
        return out;
    }

    AppSettings app;
    orvana::testing::VirtualClock clock_;
    OrderedStore store_;
    orvana::testing::RecordingPrompt prompt_;

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<SentMail> mails_;
};

}  // namespace orvana::sensors::testing
