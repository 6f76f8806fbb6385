// libruvasko against the simulated counter at the hidapi boundary. The
// library is loaded by file name and bound by plain names, as the program does.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ruvasko/ruvasko.h"
#include "tests/devices/find_usb_walk.h"
#include "tests/devices/loaded_library.h"
#include "tests/devices/simhid.h"

namespace {

using orvana::test::LoadedLibrary;
using Bytes = std::vector<unsigned char>;

constexpr unsigned short kVendor = 0x1774;
constexpr unsigned short kMeter = 0x1001;
constexpr unsigned short kCounter = 0x1002;
constexpr const char* kPath = "/dev/hidraw4";

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

class Ruvasko : public ::testing::Test {
  protected:
    void SetUp() override {
        simhid_reset();
        lib_ = std::make_unique<LoadedLibrary>("libruvasko.so");
        ASSERT_TRUE(lib_->loaded());
        findUsb = lib_->fn<char*(int*)>("FindUSB");
        getVers = lib_->fn<char*(const char*)>("GetVers");
        getCountTime = lib_->fn<int(const char*, std::uint32_t*, std::uint32_t*)>("GetCountTime");
        clear = lib_->fn<int(const char*)>("Clear");
        freeString = lib_->fn<void(char*)>("FreeString");
    }

    void TearDown() override {
        const simhid_counters c = counters();
        EXPECT_EQ(c.open_handles, 0);
        EXPECT_EQ(c.bad_closes, 0);
        EXPECT_EQ(c.enumerations_live, 0);
        EXPECT_EQ(c.opens, c.closes);
    }

    std::string take(char* s) {
        EXPECT_NE(s, nullptr);
        if (s == nullptr) {
            return "<null>";
        }
        std::string text(s);
        EXPECT_EQ(ruvasko_string_length(s), text.size());
        freeString(s);
        return text;
    }

    std::unique_ptr<LoadedLibrary> lib_;
    char* (*findUsb)(int*) = nullptr;
    char* (*getVers)(const char*) = nullptr;
    int (*getCountTime)(const char*, std::uint32_t*, std::uint32_t*) = nullptr;
    int (*clear)(const char*) = nullptr;
    void (*freeString)(char*) = nullptr;
};

TEST_F(Ruvasko, ExportsOnlyItsCFunctions) {
    for (const char* name : {"FindUSB", "GetVers", "GetCountTime", "Clear", "FreeString"}) {
        EXPECT_NE(lib_->raw(name), nullptr) << name;
    }
    EXPECT_EQ(lib_->raw("GetTempHumidTrue"), nullptr);
    EXPECT_EQ(lib_->raw("_ZN6orvana3hid8exchangeERNS0_3BusERKNSt7__cxx1112basic_stringIcSt11char_"
                        "traitsIcESaIcEEERKSt5arrayIhLm8EERSD_m"),
              nullptr);
}

TEST_F(Ruvasko, ReadsCountAndTimeLeastSignificantByteFirst) {
    const int id = simhid_add_device(kVendor, kCounter, kPath);
    std::uint32_t count = 0;
    std::uint32_t time = 0;
    const unsigned char reply[8] = {0, 0x10, 0x27, 0x00, 0x00, 0x3C, 0x00, 0x00};
    simhid_set_reply(id, reply);
    ASSERT_EQ(getCountTime(kPath, &count, &time), 0);
    EXPECT_EQ(count, 10000u);
    EXPECT_EQ(time, 60u);
    EXPECT_EQ(lastWritten(id), Bytes(8, 0));
    EXPECT_EQ(simhid_last_timeout(id), 1000);

    const unsigned char full[8] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    simhid_set_reply(id, full);
    ASSERT_EQ(getCountTime(kPath, &count, &time), 0);
    EXPECT_EQ(count, 0xFFFFFFFFu);
    EXPECT_EQ(time, 0xFFFFFFu);

    const unsigned char mixed[8] = {0, 0x01, 0x02, 0x03, 0x84, 0x05, 0x06, 0x87};
    simhid_set_reply(id, mixed);
    ASSERT_EQ(getCountTime(kPath, &count, &time), 0);
    EXPECT_EQ(count, 0x84030201u);
    EXPECT_EQ(time, 0x870605u);
}

TEST_F(Ruvasko, FailedReadLeavesOutputsUnchanged) {
    const int id = simhid_add_device(kVendor, kCounter, kPath);
    auto expectFailure = [&](int expected, const char* what, const char* path = kPath) {
        std::uint32_t count = 1234;
        std::uint32_t time = 5678;
        EXPECT_EQ(getCountTime(path, &count, &time), expected) << what;
        EXPECT_EQ(count, 1234u) << what;
        EXPECT_EQ(time, 5678u) << what;
    };

    simhid_set_no_reply(id, 1);
    expectFailure(-1, "no reply");
    EXPECT_EQ(simhid_last_timeout(id), 1000);
    simhid_set_no_reply(id, 0);

    simhid_set_reply_length(id, 6);
    expectFailure(-1, "reply without the time's high byte");
    simhid_set_reply_length(id, 7);

    simhid_set_read_error(id, ENODEV);
    expectFailure(-1, "read error");
    simhid_set_read_error(id, 0);

    expectFailure(-1, "unknown path", "/dev/hidraw9");
    expectFailure(-1, "null path", nullptr);

    simhid_set_write_result(id, 7, 0);
    expectFailure(-1, "short write");
    simhid_set_write_result(id, -1, EPIPE);
    expectFailure(-EPIPE, "refused write");
    simhid_set_write_result(id, -1, 0);
    expectFailure(-EIO, "refused write without errno");

    std::uint32_t count = 1;
    EXPECT_EQ(getCountTime(kPath, &count, nullptr), -1);
    EXPECT_EQ(count, 1u);
}

TEST_F(Ruvasko, ClearSendsClearRequestAndCountRestarts) {
    const int id = simhid_add_device(kVendor, kCounter, kPath);
    EXPECT_EQ(clear(kPath), 0);
    EXPECT_EQ(lastWritten(id), (Bytes{0, 0xAA, 0, 0, 0, 0, 0, 0}));
    std::uint32_t count = 99;
    std::uint32_t time = 0;
    ASSERT_EQ(getCountTime(kPath, &count, &time), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(time, 60u);

    simhid_set_no_reply(id, 1);
    EXPECT_EQ(clear(kPath), -1);
    simhid_set_no_reply(id, 0);
    simhid_set_write_result(id, -1, EACCES);
    EXPECT_EQ(clear(kPath), -EACCES);
    EXPECT_EQ(clear("/dev/hidraw9"), -1);
}

TEST_F(Ruvasko, FindsCountersOnly) {
    simhid_add_device(kVendor, kMeter, "/dev/hidraw1");
    int index = 0;
    EXPECT_EQ(take(findUsb(&index)), "");
    EXPECT_EQ(index, 0);

    simhid_add_device(kVendor, kCounter, kPath);
    simhid_add_device(0x1775, kCounter, "/dev/hidraw5");
    EXPECT_EQ(take(findUsb(&index)), kPath);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(take(findUsb(&index)), "");
    EXPECT_EQ(index, 0);
    EXPECT_EQ(counters().opens, 0);
}

TEST_F(Ruvasko, MemberWithoutPathIsNoCounter) {
    orvana::test::expectMembersWithoutPathSkipped(kVendor, kCounter, "/dev/hidraw4",
                                                  [&](int* index) { return take(findUsb(index)); });
}

TEST_F(Ruvasko, GetVersFormatsTheVersionReport) {
    const int id = simhid_add_device(kVendor, kCounter, kPath);
    EXPECT_EQ(take(getVers(kPath)), "01/02/03");
    simhid_set_feature_errors(id, 0, EIO);
    EXPECT_EQ(take(getVers(kPath)), "");
    EXPECT_EQ(take(getVers("/dev/hidraw9")), "");
}

}  // namespace
