// A main window stand-in for the camera tests: records reports and mails,
// runs on a virtual clock, and can make a mail's attachments as the
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

namespace orvana::camera::testing {

struct SentMail {
    ALERT_MODE kind;
    std::string title;
    std::string text;
    std::vector<std::string> attachments;
};

class CameraTestHost final : public MonitorHost {
  public:
    explicit CameraTestHost(TimeT start = 1700000000) : clock_(start) {}

    // Lines as "[stamp mode]text", stamp mode 0 without the prefix.
    void Report(const std::string& text, int stampMode, int = 0) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(stampMode == 0 ? text : "[" + std::to_string(stampMode) + "]" + text);
    }
    int RegistMail(ALERT_MODE kind, const std::string& title, const std::string& text,
                   int) override {
        SentMail m{kind, title, text, {}};
        if (attach && kind != ALERT_KANRI)
            m.attachments = attach();
        std::lock_guard lock(mutex_);
        mails_.push_back(m);
        return 1;
    }
    const AppSettings& settings() const override { return app; }
    SettingsStore& store() override { return store_; }
    Clock& clock() override { return clock_; }
    Prompt& prompt() override { return prompt_; }
    bool headless() const override { return headlessMode; }

    std::vector<std::string> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::vector<SentMail> mails() {
        std::lock_guard lock(mutex_);
        return mails_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
        mails_.clear();
    }

    AppSettings app;
    // Windows draw their pictures only when not headless.
    bool headlessMode = false;
    orvana::testing::VirtualClock clock_;
    orvana::testing::MemorySettingsStore store_;
    orvana::testing::RecordingPrompt prompt_;
    // The composer's callback for attachments (e.g. every SaveImage(0)).
    std::function<std::vector<std::string>()> attach;

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<SentMail> mails_;
};

}  // namespace orvana::camera::testing
