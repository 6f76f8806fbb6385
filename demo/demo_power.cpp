#include "demo/demo_power.h"

namespace orvana::demo {
namespace {

class DemoPowerSource final : public PowerSource {
  public:
    DemoPowerSource(Schedule schedule, std::function<double()> elapsed)
        : schedule_(schedule), elapsed_(std::move(elapsed)) {}

    PowerStatus read() override {
        const double t = elapsed_();
        PowerStatus s;
        s.acLineStatus = schedule_.onMains(t) ? 1 : 0;
        s.batteryLifePercent = schedule_.batteryPercent(t);
        s.batteryPresent = true;
        return s;
    }

  private:
    Schedule schedule_;
    std::function<double()> elapsed_;
};

}  // namespace

std::unique_ptr<PowerSource> makeDemoPowerSource(Schedule schedule,
                                                 std::function<double()> elapsed) {
    return std::make_unique<DemoPowerSource>(schedule, std::move(elapsed));
}

}  // namespace orvana::demo
