// Prompts without a display: a notice becomes an event-list line, modal
// questions answer Cancel so nothing changes behind the user's back.
#pragma once

#include "core/event_log.h"
#include "core/prompt.h"

namespace orvana {

class HeadlessPrompt final : public Prompt {
  public:
    explicit HeadlessPrompt(EventLog& log) : log_(log) {}
    void notify(const std::string& text) override { log_.Report(text, 0); }
    void message(const std::string& text) override { log_.Report(text, 0); }
    bool askOkCancel(const std::string& text) override {
        log_.Report(text, 0);
        return false;
    }

  private:
    EventLog& log_;
};

}  // namespace orvana
