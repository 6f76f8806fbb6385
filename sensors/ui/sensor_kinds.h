// The three sensor monitors as kinds of the main window's registry:
//   "temperature"  ALERT_TEMP    "温湿度"  COL_TEMP    order 30  CTemperatureDlg
//   "geiger"       ALERT_GEIGER  "放射線"  COL_GEIGER  order 40  CGeigerDlg
//   "owl"          ALERT_OWL     "電力"    COL_OWL     order 50  COwlDlg
// Each probes by constructing its monitor and asking CheckDevice, opens its
// window when started, gives its window picture to the mail composer, its
// block of the periodic notice from the live series, and saves its section
// and data file at closing and at the end of the session.
//
// UI thread only.
#pragma once

#include <functional>
#include <memory>

#include "core/monitor.h"
#include "core/status_text.h"
#include "sensors/ui/sensor_dlg.h"
#include "widgets/monitor_context.h"

namespace orvana::sensors {

extern const MonitorKind kTemperatureKind;
extern const MonitorKind kGeigerKind;
extern const MonitorKind kOwlKind;

// One sensor kind: Logic is its monitor (a SensorMonitor), Window its window
// (a CSensorDlg constructed from host, the monitor and the parent).
template <class Logic, class Window>
class SensorMonitorKind final : public Monitor {
  public:
    // makeLogic constructs the monitor (binding its library); it may return
    // null when the kind has no backend. parent outlives the kind.
    SensorMonitorKind(const MonitorKind& kind, MonitorHost& host,
                      std::function<std::unique_ptr<Logic>()> makeLogic, QWidget* parent)
        : kind_(kind), host_(host), makeLogic_(std::move(makeLogic)), parent_(parent) {}
    ~SensorMonitorKind() override { stop(); }

    const MonitorKind& kind() const override { return kind_; }
    int probe() override { return Start(0); }
    int start() override { return Start(1); }
    void stop() override { window_.reset(); }
    bool running() const override { return window_ != nullptr; }

    std::vector<std::string> attachments() override {
        if (!window_)
            return {};
        return {window_->SaveClientBitmap()};
    }
    std::string statusBlock() override {
        return window_ ? window_->monitor().statusBlock() : std::string();
    }
    void SaveSettingBeforeClose() override {
        if (window_)
            window_->SaveSettingBeforeClose();
    }
    void OnEndSession() override {
        if (window_)
            window_->OnEndSession();
    }

    // StartTemperatureWindow and its siblings: a running window is ended
    // first; the monitor is constructed and asked for its devices; with
    // start = 1 and at least one, its window is created, initialised and
    // shown. Returns 1 when the monitor can run, else 0.
    int Start(int start) {
        window_.reset();
        std::unique_ptr<Logic> logic = makeLogic_ ? makeLogic_() : nullptr;
        if (!logic || logic->CheckDevice() <= 0)
            return 0;
        if (!start)
            return 1;
        window_ = std::make_unique<Window>(host_, std::move(logic), parent_);
        window_->OnInitDialog();
        window_->show();
        window_->raise();
        return 1;
    }

    // The running window; null when the monitor is not running.
    Window* window() const { return window_.get(); }

  private:
    const MonitorKind& kind_;
    MonitorHost& host_;
    std::function<std::unique_ptr<Logic>()> makeLogic_;
    QWidget* parent_;
    std::unique_ptr<Window> window_;
};

using TemperatureKind = SensorMonitorKind<TemperatureMonitor, CTemperatureDlg>;
using GeigerKind = SensorMonitorKind<GeigerMonitor, CGeigerDlg>;
using OwlKind = SensorMonitorKind<OwlMonitor, COwlDlg>;

// Adds the three kinds, with the DeviceLibraryLoader and the vendor
// database of context.backends (a kind whose backend is missing cannot run).
void registerSensorMonitors(MonitorRegistry& registry, MonitorContext& context);

}  // namespace orvana::sensors
