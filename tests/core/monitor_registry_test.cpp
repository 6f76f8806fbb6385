// The registry's order decides the order of probes, starts, notice blocks and
// stops.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/monitor_registry.h"
#include "core/status_text.h"

namespace orvana {
namespace {

class Recorded final : public Monitor {
  public:
    Recorded(std::vector<std::string>& events, MonitorKind kind, bool running)
        : events_(events), kind_(kind), running_(running) {}
    const MonitorKind& kind() const override { return kind_; }
    int probe() override { return 1; }
    int start() override { return 1; }
    void stop() override {
        if (running_)
            events_.push_back(std::string("stop ") + kind_.name);
        running_ = false;
    }
    bool running() const override { return running_; }
    std::vector<std::string> attachments() override { return {}; }
    std::string statusBlock() override { return std::string(kind_.name) + ";"; }
    void SaveSettingBeforeClose() override {}

  private:
    std::vector<std::string>& events_;
    MonitorKind kind_;
    bool running_;
};

TEST(MonitorRegistry, StartOrderWhateverTheOrderOfAddingAndStopsInReverse) {
    std::vector<std::string> events;
    {
        MonitorRegistry r;
        auto add = [&](const char* name, MonitorSwitch box, int col, int order, bool running) {
            r.add(std::make_unique<Recorded>(events, MonitorKind{name, ALERT_VOL, box, col, order},
                                             running));
        };
        add("power", MonitorSwitch::Owl, COL_OWL, 50, true);
        add("sound", MonitorSwitch::Sound, COL_VOL, 10, true);
        add("camera", MonitorSwitch::Camera, COL_CAM, 20, false);
        add("radiation", MonitorSwitch::Geiger, COL_GEIGER, 40, true);
        add("second-sound", MonitorSwitch::Sound, COL_VOL, 10, true);  // ties keep adding order
        r.add(nullptr);
        std::vector<std::string> names;
        for (Monitor* m : r.all())
            names.push_back(m->kind().name);
        EXPECT_EQ(names, (std::vector<std::string>{"sound", "second-sound", "camera", "radiation",
                                                   "power"}));
        EXPECT_EQ(r.find(MonitorSwitch::Sound)->kind().name, std::string("sound"));
        EXPECT_EQ(r.find(MonitorSwitch::Temperature), nullptr);
        EXPECT_EQ(r.find("radiation")->kind().box, MonitorSwitch::Geiger);
        EXPECT_TRUE(r.runningFor(COL_OWL));
        EXPECT_FALSE(r.runningFor(COL_CAM)) << "registered but not running";
        EXPECT_FALSE(r.runningFor(COL_TEMP));
        // Only running kinds give a block, in start order.
        EXPECT_EQ(BuildStatusText(r), "sound;second-sound;radiation;power;");
    }
    EXPECT_EQ(events, (std::vector<std::string>{"stop power", "stop radiation", "stop second-sound",
                                                "stop sound"}));
}

}  // namespace
}  // namespace orvana
