// A main window stand-in for monitor tests: records reports and mails in
// order, runs on a virtual clock, keeps its settings in memory and can make a
// mail's attachments as the composer would. Every member may be called from
// any thread; the recorded lines and mails are guarded by one lock.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/monitor_host.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_prompt.h"
#include "tests/support/virtual_clock.h"

namespace orvana::testing {

struct SentMail {
    ALERT_MODE kind;
    std::string title;
    std::string text;
    std::vector<std::string> attachments;
};

template <class Store = MemorySettingsStore>
class TestMonitorHost : public MonitorHost {
  public:
    explicit TestMonitorHost(TimeT start = 1700000000) : clock_(start) {}

    // Lines as "[stamp mode]text"; separators (mode 0) as they are.
    void Report(const std::string& text, int stampMode, int = 0) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(stampMode == 0 ? text : "[" + std::to_string(stampMode) + "]" + text);
    }
    // Management notices never carry attachments, as in the composer.
    int RegistMail(ALERT_MODE kind, const std::string& title, const std::string& text,
                   int timeFormat) override {
        if (expectedTimeFormat) {
            EXPECT_EQ(timeFormat, *expectedTimeFormat) << title;
        }
        SentMail m{kind, title, text, {}};
        if (attach && kind != ALERT_KANRI)
            m.attachments = attach();
        std::lock_guard lock(mutex_);
        mails_.push_back(std::move(m));
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
    // Lines and mails since the previous take.
    std::vector<std::string> takeLines() {
        std::lock_guard lock(mutex_);
        return std::exchange(lines_, {});
    }
    std::vector<SentMail> takeMails() {
        std::lock_guard lock(mutex_);
        return std::exchange(mails_, {});
    }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
        mails_.clear();
    }

    AppSettings app;
    // Windows draw their pictures only when not headless.
    bool headlessMode = true;
    // When set, every mail must ask for this time format.
    std::optional<int> expectedTimeFormat;
    VirtualClock clock_;
    Store store_;
    RecordingPrompt prompt_;
    // The composer's callback for attachments (SaveWave, every SaveImage(0), …).
    std::function<std::vector<std::string>()> attach;

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<SentMail> mails_;
};

}  // namespace orvana::testing
