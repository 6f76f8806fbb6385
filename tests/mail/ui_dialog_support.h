// Shared pieces of the dialog tests: a scripted dialog runner and the
// doubles the settings dialog needs.
#pragma once

#include <QDialog>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mail/ui/dlg_setting.h"
#include "sound/process_runner.h"
#include "tests/mail/mail_test_support.h"
#include "tests/support/recording_prompt.h"

namespace orvana::testing {

// Plays one scripted step per dialog it is asked to run; with no step left
// the dialog is cancelled. Records every title.
class ScriptedRunner {
  public:
    using Step = std::function<int(QDialog&)>;
    void then(Step s) { steps_.push_back(std::move(s)); }
    int operator()(QDialog& d) {
        titles.push_back(d.windowTitle().toStdString());
        if (steps_.empty())
            return QDialog::Rejected;
        Step s = std::move(steps_.front());
        steps_.pop_front();
        return s(d);
    }
    std::size_t pending() const { return steps_.size(); }
    std::vector<std::string> titles;

  private:
    std::deque<Step> steps_;
};

class NoConverter final : public sound::ProcessRunner {
  public:
    sound::RunResult Run(const std::string&, const std::vector<std::string>&, const std::string&,
                         std::chrono::milliseconds) override {
        return {};
    }
};

}  // namespace orvana::testing
