// The temperature and radiation monitors over the real libkelvaro.so and
// libruvasko.so, bound by file name through the loader as the program binds
// them, talking to the simulated HID devices (tests/devices/simhid): the
// device count, the readings, and a device unplugged and plugged back under
// a new path.
#include <gtest/gtest.h>

#include "sensors/geiger_monitor.h"
#include "sensors/temperature_monitor.h"
#include "tests/devices/simhid.h"
#include "tests/sensors/sensor_test_host.h"
#include "tests/sensors/test_dirs.h"

namespace orvana::sensors {
namespace {

using testing::SensorTestHost;

constexpr unsigned short kVendor = 0x1774;
constexpr unsigned short kMeter = 0x1001;
constexpr unsigned short kCounter = 0x1002;

void setCount(int id, std::uint32_t count) {
    const unsigned char reply[8] = {0,
                                    static_cast<unsigned char>(count & 0xFF),
                                    static_cast<unsigned char>((count >> 8) & 0xFF),
                                    static_cast<unsigned char>((count >> 16) & 0xFF),
                                    static_cast<unsigned char>(count >> 24),
                                    60,
                                    0,
                                    0};
    simhid_set_reply(id, reply);
}

class SimulatedDevices : public ::testing::Test {
  protected:
    SimulatedDevices() : tz_("Asia/Tokyo"), host_(fromLocal(2026, 5, 3, 11, 59, 55)) {
        simhid_reset();
        host_.store_.writeString("Setting", "DATA_DIR", data_.path());
    }
    ~SimulatedDevices() override {
        simhid_counters c{};
        simhid_get_counters(&c);
        EXPECT_EQ(c.open_handles, 0);
        EXPECT_EQ(c.enumerations_live, 0);
    }

    orvana::testing::ScopedTz tz_;
    orvana::testing::TempDir data_;
    FolderLibraryLoader loader_{{ORVANA_KELVARO_DIR, ORVANA_RUVASKO_DIR}, false};
    SensorTestHost host_;
};

TEST_F(SimulatedDevices, MetersAreCountedReadAndFoundAgainAfterReplugging) {
    simhid_add_device(kVendor, kCounter, "/dev/sim/counter0");
    const int meter = simhid_add_device(kVendor, kMeter, "/dev/sim/meter0");
    simhid_add_device(kVendor, kMeter, "/dev/sim/meter1");

    TemperatureMonitor m(host_, &loader_, 0);
    ASSERT_EQ(m.TypeOfSensor(), TEMP_SENSOR_KELVARO) << m.library().binding().error();
    EXPECT_EQ(m.CheckDevice(), 2);
    m.LoadSettings();
    m.Open();
    EXPECT_EQ(m.devicePath(), "/dev/sim/meter0");
    // Traw 6500 and Hraw 1000: 25.00 degrees and 33.7 %RH.
    EXPECT_EQ(m.title(), "温度：25.00[度] 湿度：33.70[%RH]");
    ASSERT_EQ(m.series().GetSize(), 1);

    simhid_set_present(meter, 0);
    for (int i = 0; i < 9; ++i) {
        host_.clock_.advanceSeconds(10);
        EXPECT_EQ(m.DoMeasure(), i >= 2 ? 1 : 0) << i;  // meter1 answers from the search on
    }
    // The search from index 0 found the other meter at once.
    EXPECT_EQ(m.devicePath(), "/dev/sim/meter1");
    simhid_set_present(meter, 1);

    // meter1 unplugged; the first meter comes back under a new path.
    simhid_set_present(2, 0);
    simhid_set_present(meter, 0);
    const int back = simhid_add_device(kVendor, kMeter, "/dev/sim/meter9");
    for (int i = 0; i < 3; ++i) {
        host_.clock_.advanceSeconds(10);
        m.DoMeasure();
    }
    EXPECT_EQ(m.devicePath(), "/dev/sim/meter9");
    const unsigned char reply[8] = {0, 0x03, 0xE8, 0x1B, 0x58, 0, 0, 0};  // Traw 7000: 30 degrees
    simhid_set_reply(back, reply);
    host_.clock_.advanceSeconds(10);
    EXPECT_EQ(m.DoMeasure(), 1);
    EXPECT_EQ(m.title().rfind("温度：30.00[度]", 0), 0u);

    std::vector<std::string> status;
    for (const std::string& l : host_.lines())
        status.push_back(l);
    EXPECT_EQ(status, (std::vector<std::string>{
                          "[2]>>>温湿度計が応答しません<<<", "[2]>>>温湿度計の応答回復<<<",
                          "[2]>>>温湿度計が応答しません<<<", "[2]>>>温湿度計の応答回復<<<"}));
    const auto mails = host_.mails();
    ASSERT_EQ(mails.size(), 4u);
    for (const auto& mail : mails)
        EXPECT_EQ(mail.kind, ALERT_KANRI);
}

TEST_F(SimulatedDevices, ACounterUnpluggedAndPluggedBackGivesOneLossAndOneReturn) {
    simhid_add_device(kVendor, kMeter, "/dev/sim/meter0");
    const int counter = simhid_add_device(kVendor, kCounter, "/dev/sim/counter0");
    setCount(counter, 1000);

    GeigerMonitor m(host_, &loader_, 0);
    ASSERT_EQ(m.TypeOfSensor(), GEIGER_SENSOR_RUVASKO);
    EXPECT_EQ(m.CheckDevice(), 1);
    m.LoadSettings();
    m.Open();
    EXPECT_EQ(m.devicePath(), "/dev/sim/counter0");
    host_.clock_.setNow(fromLocal(2026, 5, 3, 12, 0, 5));
    m.DoMeasure();  // baseline 1000
    setCount(counter, 1042);
    host_.clock_.setNow(fromLocal(2026, 5, 3, 12, 1, 5));
    EXPECT_EQ(m.DoMeasure(), 1);
    EXPECT_EQ(m.series()[0].m_Cpm, 42.0);

    // Unplugged for ten minutes, back as a new device that counts from 0.
    simhid_set_present(counter, 0);
    for (int s = 15; s < 600; s += 10) {
        host_.clock_.setNow(fromLocal(2026, 5, 3, 12, 1, 5) + s);
        EXPECT_EQ(m.DoMeasure(), 0);
    }
    const int back = simhid_add_device(kVendor, kCounter, "/dev/sim/counter3");
    setCount(back, 12);
    for (int s = 600; s < 650; s += 10) {
        host_.clock_.setNow(fromLocal(2026, 5, 3, 12, 1, 5) + s);
        m.DoMeasure();
    }
    setCount(back, 40);
    host_.clock_.setNow(fromLocal(2026, 5, 3, 12, 12, 5));
    EXPECT_EQ(m.DoMeasure(), 1);
    EXPECT_EQ(m.devicePath(), "/dev/sim/counter3");
    ASSERT_EQ(m.series().GetSize(), 2);
    EXPECT_EQ(m.series()[1].m_Cpm, 28.0);  // from the new baseline, not 40 - 0 or 40 - 1042

    EXPECT_EQ(host_.lines(), (std::vector<std::string>{"[2]>>>放射線カウンターが応答しません<<<",
                                                       "[2]>>>放射線カウンターの応答回復<<<"}));
    const auto mails = host_.mails();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].title, "放射線カウンター応答なし");
    EXPECT_EQ(mails[1].title, "放射線カウンター応答回復");
}

TEST_F(SimulatedDevices, ATimedOutReadIsAFailedReadWithNoRecord) {
    const int meter = simhid_add_device(kVendor, kMeter, "/dev/sim/meter0");
    TemperatureMonitor m(host_, &loader_, 0);
    m.LoadSettings();
    m.Open();
    ASSERT_EQ(m.series().GetSize(), 1);
    simhid_set_no_reply(meter, 1);
    host_.clock_.advanceSeconds(60);
    EXPECT_EQ(m.DoMeasure(), 0);
    EXPECT_EQ(m.series().GetSize(), 1);
    EXPECT_EQ(simhid_last_timeout(meter), 1000);
    simhid_set_no_reply(meter, 0);
    host_.clock_.advanceSeconds(60);
    EXPECT_EQ(m.DoMeasure(), 1);
    EXPECT_EQ(m.series().GetSize(), 2);
    EXPECT_TRUE(host_.lines().empty());
}

}  // namespace
}  // namespace orvana::sensors
