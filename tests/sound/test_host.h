// A main window stand-in for the sound tests: records reports and mails,
// runs on a virtual clock, and can make the mail's attachments as the
// composer would.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/monitor_host.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_prompt.h"
#include "tests/support/virtual_clock.h"

namespace orvana::sound::testing {

struct SentMail {
    ALERT_MODE kind;
    std::string title;
    std::string text;
    std::vector<std::string> attachments;
};

class TestHost final : public MonitorHost {
  public:
    explicit TestHost(TimeT start = 1700000000) : clock_(start) {}

    void Report(const std::string& text, int stampMode, int = 0) override {
        std::lock_guard lock(mutex_);
        lines.push_back(stampMode == 0 ? text : "[" + std::to_string(stampMode) + "]" + text);
    }
    int RegistMail(ALERT_MODE kind, const std::string& title, const std::string& text,
                   int) override {
        SentMail m{kind, title, text, {}};
        if (attach)
            m.attachments = attach();
        std::lock_guard lock(mutex_);
        mails.push_back(m);
        return 1;
    }
    const AppSettings& settings() const override { return app; }
    SettingsStore& store() override { return store_; }
    Clock& clock() override { return clock_; }
    Prompt& prompt() override { return prompt_; }
    bool headless() const override { return true; }

    std::vector<std::string> Lines() {
        std::lock_guard lock(mutex_);
        return lines;
    }
    std::vector<SentMail> Mails() {
        std::lock_guard lock(mutex_);
        return mails;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        lines.clear();
        mails.clear();
    }

    AppSettings app;
    orvana::testing::VirtualClock clock_;
    orvana::testing::MemorySettingsStore store_;
    orvana::testing::RecordingPrompt prompt_;
    // The composer's callbacks for attachments (e.g. SaveWave).
    std::function<std::vector<std::string>()> attach;

  private:
    std::mutex mutex_;
    std::vector<std::string> lines;
    std::vector<SentMail> mails;
};

}  // namespace orvana::sound::testing
