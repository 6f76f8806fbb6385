// A prompt that records what was asked and answers from a script.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "core/prompt.h"

namespace orvana::testing {

class RecordingPrompt final : public Prompt {
  public:
    void notify(const std::string& text) override {
        std::lock_guard lock(mutex);
        notices.push_back(text);
    }
    void message(const std::string& text) override {
        std::lock_guard lock(mutex);
        messages.push_back(text);
    }
    bool askOkCancel(const std::string& text) override {
        std::lock_guard lock(mutex);
        questions.push_back(text);
        if (answers.empty())
            return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }

    std::mutex mutex;
    std::vector<std::string> notices;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;  // next answers of askOkCancel; Cancel when empty
};

}  // namespace orvana::testing
