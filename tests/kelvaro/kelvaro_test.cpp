// libkelvaro against the simulated meter at the hidapi boundary. The library
// is loaded by file name and bound by plain names, as the program does.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kelvaro/kelvaro.h"
#include "tests/devices/find_usb_walk.h"
#include "tests/devices/loaded_library.h"
#include "tests/devices/simhid.h"

extern "C" unsigned orvana_c_string_length(const char* text);

namespace {

using orvana::test::LoadedLibrary;
using Bytes = std::vector<unsigned char>;

constexpr unsigned short kVendor = 0x1774;
constexpr unsigned short kMeter = 0x1001;
constexpr unsigned short kCounter = 0x1002;

simhid_counters counters() {
    simhid_counters c{};
    simhid_get_counters(&c);
    return c;
}

Bytes lastWritten(int id) {
    Bytes b(64);
    b.resize(simhid_last_written(id, b.data(), b.size()));
    return b;
}

Bytes lastFeature(int id) {
    Bytes b(64);
    b.resize(simhid_last_feature(id, b.data(), b.size()));
    return b;
}

void setRaw(int id, unsigned traw, unsigned hraw) {
    const unsigned char reply[8] = {0,
                                    static_cast<unsigned char>(hraw >> 8),
                                    static_cast<unsigned char>(hraw & 0xFF),
                                    static_cast<unsigned char>(traw >> 8),
                                    static_cast<unsigned char>(traw & 0xFF),
                                    0,
                                    0,
                                    0};
    simhid_set_reply(id, reply);
}

class Kelvaro : public ::testing::Test {
  protected:
    void SetUp() override {
        simhid_reset();
        lib_ = std::make_unique<LoadedLibrary>("libkelvaro.so");
        ASSERT_TRUE(lib_->loaded());
        findUsb = lib_->fn<char*(int*)>("FindUSB");
        getVers = lib_->fn<char*(const char*)>("GetVers");
        getTempHumid = lib_->fn<int(const char*, double*, double*)>("GetTempHumid");
        getTempHumidTrue = lib_->fn<int(const char*, double*, double*)>("GetTempHumidTrue");
        controlIo = lib_->fn<int(const char*, int, int)>("ControlIO");
        setHeater = lib_->fn<int(const char*, int)>("SetHeater");
        freeString = lib_->fn<void(char*)>("FreeString");
    }

    void TearDown() override {
        // Nothing may stay open or unfreed between calls.
        const simhid_counters c = counters();
        EXPECT_EQ(c.open_handles, 0);
        EXPECT_EQ(c.bad_closes, 0);
        EXPECT_EQ(c.enumerations_live, 0);
        EXPECT_EQ(c.opens, c.closes);
    }

    // Takes ownership of a returned system string and checks its layout.
    std::string take(char* s) {
        EXPECT_NE(s, nullptr);
        if (s == nullptr) {
            return "<null>";
        }
        std::string text(s);
        EXPECT_EQ(kelvaro_string_length(s), text.size());
        freeString(s);
        return text;
    }

    std::unique_ptr<LoadedLibrary> lib_;
    char* (*findUsb)(int*) = nullptr;
    char* (*getVers)(const char*) = nullptr;
    int (*getTempHumid)(const char*, double*, double*) = nullptr;
    int (*getTempHumidTrue)(const char*, double*, double*) = nullptr;
    int (*controlIo)(const char*, int, int) = nullptr;
    int (*setHeater)(const char*, int) = nullptr;
    void (*freeString)(char*) = nullptr;
};

TEST_F(Kelvaro, ExportsOnlyItsCFunctions) {
    for (const char* name : {"FindUSB", "GetVers", "GetTempHumid", "GetTempHumidTrue", "ControlIO",
                             "SetHeater", "FreeString"}) {
        EXPECT_NE(lib_->raw(name), nullptr) << name;
    }
    EXPECT_EQ(lib_->raw("_ZN6orvana3hid9hidapiBusEv"), nullptr);
    EXPECT_EQ(lib_->raw("GetCountTime"), nullptr);
}

TEST_F(Kelvaro, ConvertsRawValues) {
    const int id = simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    double t = -1;
    double h = -1;

    setRaw(id, 6500, 1000);
    ASSERT_EQ(getTempHumid("/dev/hidraw1", &t, &h), 0);
    EXPECT_DOUBLE_EQ(t, 25.0);
    EXPECT_DOUBLE_EQ(h, 33.7);
    ASSERT_EQ(getTempHumidTrue("/dev/hidraw1", &t, &h), 0);
    EXPECT_DOUBLE_EQ(t, 25.0);
    EXPECT_DOUBLE_EQ(h, 33.7);

    // Away from 25 degrees the compensation shows: RHlin 65.8, RHtrue 67.5.
    setRaw(id, 7500, 2000);
    ASSERT_EQ(getTempHumid("/dev/hidraw1", &t, &h), 0);
    EXPECT_DOUBLE_EQ(t, 35.0);
    EXPECT_DOUBLE_EQ(h, 65.8);
    ASSERT_EQ(getTempHumidTrue("/dev/hidraw1", &t, &h), 0);
    EXPECT_DOUBLE_EQ(t, 35.0);
    EXPECT_DOUBLE_EQ(h, 67.5);

    // High bytes above 0x7F are unsigned, not sign-extended.
    setRaw(id, 0xFFFF, 0);
    ASSERT_EQ(getTempHumid("/dev/hidraw1", &t, &h), 0);
    EXPECT_DOUBLE_EQ(t, 615.35);
    EXPECT_DOUBLE_EQ(h, -4.0);
}

TEST_F(Kelvaro, MeasurementRequestIsOneUnnumberedReportWithOneSecondWait) {
    const int id = simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    double t = 0;
    double h = 0;
    ASSERT_EQ(getTempHumidTrue("/dev/hidraw1", &t, &h), 0);
    EXPECT_EQ(lastWritten(id), Bytes(8, 0));
    EXPECT_EQ(simhid_last_timeout(id), 1000);
    const simhid_counters c = counters();
    EXPECT_EQ(c.opens, 1);
    EXPECT_EQ(c.writes, 1);
    EXPECT_EQ(c.reads, 1);
}

TEST_F(Kelvaro, FailedMeasurementsGiveMinusOneAndZeroes) {
    const int id = simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    auto expectFailure = [&](const char* what, const char* path = "/dev/hidraw1",
                             int expected = -1) {
        for (auto* read : {getTempHumid, getTempHumidTrue}) {
            double t = 12.5;
            double h = 47.0;
            EXPECT_EQ(read(path, &t, &h), expected) << what;
            EXPECT_EQ(t, 0.0) << what;
            EXPECT_EQ(h, 0.0) << what;
        }
    };

    simhid_set_no_reply(id, 1);
    expectFailure("no reply");
    EXPECT_EQ(simhid_last_timeout(id), 1000);
    simhid_set_no_reply(id, 0);

    simhid_set_reply_length(id, 3);
    expectFailure("reply without the temperature low byte");
    simhid_set_reply_length(id, 7);

    simhid_set_read_error(id, EIO);
    expectFailure("read error");
    simhid_set_read_error(id, 0);

    expectFailure("unknown path", "/dev/hidraw9");
    expectFailure("null path", nullptr);

    simhid_set_write_result(id, 5, 0);
    expectFailure("short write");
    simhid_set_write_result(id, -1, EPIPE);
    expectFailure("refused write", "/dev/hidraw1", -EPIPE);
    simhid_set_write_result(id, -1, 0);
    expectFailure("refused write without errno", "/dev/hidraw1", -EIO);

    simhid_set_open_fails(id, 1);
    expectFailure("open fails");

    double t = 3.0;
    EXPECT_EQ(getTempHumidTrue("/dev/hidraw1", &t, nullptr), -1);
    EXPECT_EQ(t, 0.0);
}

TEST_F(Kelvaro, FindsMetersInTurnThroughTheIndex) {
    simhid_add_device(0x1234, kMeter, "/dev/hidraw0");  // other vendor
    simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    simhid_add_device(kVendor, kCounter, "/dev/hidraw2");
    simhid_add_device(kVendor, kMeter, "/dev/hidraw3");

    int index = 0;
    EXPECT_EQ(take(findUsb(&index)), "/dev/hidraw1");
    EXPECT_EQ(index, 2);
    EXPECT_EQ(take(findUsb(&index)), "/dev/hidraw3");
    EXPECT_EQ(index, 4);
    EXPECT_EQ(take(findUsb(&index)), "");
    EXPECT_EQ(index, 0);

    index = 3;  // the member found last counts
    EXPECT_EQ(take(findUsb(&index)), "/dev/hidraw3");
    EXPECT_EQ(index, 4);
    index = -5;
    EXPECT_EQ(take(findUsb(&index)), "/dev/hidraw1");
    EXPECT_EQ(index, 2);

    EXPECT_EQ(counters().opens, 0);  // enumeration alone, nothing opened
}

TEST_F(Kelvaro, MeterListedOncePerUsageIsOneMember) {
    // hidraw repeats a device for each usage of its report descriptor.
    simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    simhid_add_device(kVendor, kMeter, "/dev/hidraw3");
    simhid_add_device(kVendor, kMeter, "/dev/hidraw3");

    int index = 0;
    EXPECT_EQ(take(findUsb(&index)), "/dev/hidraw1");
    EXPECT_EQ(index, 1);
    EXPECT_EQ(take(findUsb(&index)), "/dev/hidraw3");
    EXPECT_EQ(index, 2);
    EXPECT_EQ(take(findUsb(&index)), "");
    EXPECT_EQ(index, 0);
}

TEST_F(Kelvaro, MemberWithoutPathIsNoMeter) {
    orvana::test::expectMembersWithoutPathSkipped(kVendor, kMeter, "/dev/hidraw1",
                                                  [&](int* index) { return take(findUsb(index)); });
}

TEST_F(Kelvaro, NoMeterGivesEmptyStringAndIndexZero) {
    simhid_add_device(kVendor, kCounter, "/dev/hidraw2");
    int index = 0;
    char* s = findUsb(&index);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(kelvaro_string_length(s), 0u);
    EXPECT_STREQ(s, "");
    freeString(s);
    EXPECT_EQ(index, 0);

    EXPECT_EQ(take(findUsb(nullptr)), "");
    freeString(nullptr);
    EXPECT_EQ(orvana_c_string_length(nullptr), 0u);
}

TEST_F(Kelvaro, SystemStringCarriesItsLengthBeforeTheBytes) {
    simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    int index = 0;
    char* s = findUsb(&index);
    ASSERT_NE(s, nullptr);
    std::uint32_t stored = 0;
    std::memcpy(&stored, s - sizeof stored, sizeof stored);
    EXPECT_EQ(stored, 12u);
    EXPECT_EQ(s[12], '\0');
    EXPECT_EQ(orvana_c_string_length(s), 12u);
    freeString(s);
}

TEST_F(Kelvaro, ControlIoSendsSwitchCommands) {
    const int id = simhid_add_device(kVendor, kMeter, "/dev/hidraw1");

    for (int bad : {2, -1, 3}) {
        EXPECT_EQ(controlIo("/dev/hidraw1", bad, 1), -1);
    }
    EXPECT_EQ(counters().opens + counters().failed_opens, 0);

    EXPECT_EQ(controlIo("/dev/hidraw1", 0, 1), 0);
    EXPECT_EQ(lastFeature(id), (Bytes{0, 3, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(controlIo("/dev/hidraw1", 1, 0), 0);
    EXPECT_EQ(lastFeature(id), (Bytes{0, 4, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(controlIo("/dev/hidraw1", 1, 7), 0);
    EXPECT_EQ(lastFeature(id), (Bytes{0, 4, 1, 0, 0, 0, 0, 0}));

    simhid_set_feature_errors(id, EPIPE, 0);
    EXPECT_EQ(controlIo("/dev/hidraw1", 0, 1), -EPIPE);
    simhid_set_feature_errors(id, 0, 0);
    EXPECT_EQ(controlIo("/dev/hidraw9", 0, 1), -1);
    EXPECT_EQ(controlIo(nullptr, 0, 1), -1);
}

TEST_F(Kelvaro, SetHeaterSendsHeaterCommand) {
    const int id = simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    EXPECT_EQ(setHeater("/dev/hidraw1", 1), 0);
    EXPECT_EQ(lastFeature(id), (Bytes{0, 1, 4, 0, 0, 0, 0, 0}));
    EXPECT_EQ(setHeater("/dev/hidraw1", 0), 0);
    EXPECT_EQ(lastFeature(id), (Bytes{0, 1, 0, 0, 0, 0, 0, 0}));

    simhid_set_feature_errors(id, EACCES, 0);
    EXPECT_EQ(setHeater("/dev/hidraw1", 1), -EACCES);
    simhid_set_open_fails(id, 1);
    EXPECT_EQ(setHeater("/dev/hidraw1", 1), -1);
}

TEST_F(Kelvaro, RefusalWithoutErrnoStillFails) {
    const int id = simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    simhid_set_feature_errors(id, -1, -1);  // -1 with errno left at 0
    EXPECT_EQ(setHeater("/dev/hidraw1", 1), -EIO);
    EXPECT_EQ(controlIo("/dev/hidraw1", 1, 1), -EIO);
    EXPECT_EQ(take(getVers("/dev/hidraw1")), "");
}

TEST_F(Kelvaro, GetVersFormatsTheVersionReport) {
    const int id = simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    EXPECT_EQ(take(getVers("/dev/hidraw1")), "01/02/03");

    const unsigned char wide[8] = {0, 10, 0, 255, 9, 9, 9, 9};
    simhid_set_feature_reply(id, wide);
    EXPECT_EQ(take(getVers("/dev/hidraw1")), "10/00/255");

    simhid_set_feature_errors(id, 0, EPIPE);
    EXPECT_EQ(take(getVers("/dev/hidraw1")), "");
    EXPECT_EQ(take(getVers("/dev/hidraw9")), "");
    EXPECT_EQ(take(getVers(nullptr)), "");
}

TEST_F(Kelvaro, InitialisesHidapiOnceAndExitsAtUnload) {
    simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    int index = 0;
    take(findUsb(&index));
    double t = 0;
    double h = 0;
    getTempHumidTrue("/dev/hidraw1", &t, &h);
    EXPECT_EQ(counters().inits, 1);
    EXPECT_EQ(counters().exits, 0);
    lib_.reset();
    EXPECT_EQ(counters().exits, 1);
}

TEST_F(Kelvaro, OverlappingCallersDoNotCorruptEachOther) {
    const int a = simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    const int b = simhid_add_device(kVendor, kMeter, "/dev/hidraw2");
    setRaw(a, 6500, 1000);
    setRaw(b, 7500, 2000);
    auto poll = [&](const char* path, double expected, int& good) {
        for (int i = 0; i < 200; ++i) {
            double t = 0;
            double h = 0;
            if (getTempHumid(path, &t, &h) == 0 && t == expected) {
                ++good;
            }
        }
    };
    int goodA = 0;
    int goodB = 0;
    {
        std::jthread first(poll, "/dev/hidraw1", 25.0, std::ref(goodA));
        std::jthread second(poll, "/dev/hidraw2", 35.0, std::ref(goodB));
    }
    EXPECT_EQ(goodA, 200);
    EXPECT_EQ(goodB, 200);
}

}  // namespace
