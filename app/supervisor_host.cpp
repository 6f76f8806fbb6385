#include "app/supervisor_host.h"

#include "app/tarnwick_dlg.h"
#include "core/status_text.h"

namespace orvana {
namespace {

class WindowSupervisorHost final : public SupervisorHost {
  public:
    explicit WindowSupervisorHost(CTarnwickDlg& dlg) : dlg_(dlg) {}
    void Report(const std::string& text, int stampMode, int extra) override {
        dlg_.Report(text, stampMode, extra);
    }
    int RegistMail(ALERT_MODE kind, const std::string& title, const std::string& text,
                   int timeFormat) override {
        return dlg_.RegistMail(kind, title, text, timeFormat);
    }
    void WaitAllMailSend() override { dlg_.WaitAllMailSend(); }
    void WhenMailSent(std::function<void()> then) override { dlg_.WhenMailSent(std::move(then)); }
    void UpdateData() override { dlg_.UpdateData(); }
    const AppSettings& settings() const override { return dlg_.settings(); }
    SettingsStore& store() override { return dlg_.store(); }
    void setReportingEnabled(bool on) override { dlg_.eventLog().setEnabled(on); }
    // The supervisor saves at the end of the session.
    void SaveSettingBeforeClose() override { dlg_.OnEndSession(); }
    std::string StatusText() override { return BuildStatusText(dlg_.monitors()); }

  private:
    CTarnwickDlg& dlg_;
};

}  // namespace

std::unique_ptr<SupervisorHost> makeWindowSupervisorHost(CTarnwickDlg& dlg) {
    return std::make_unique<WindowSupervisorHost>(dlg);
}

}  // namespace orvana
