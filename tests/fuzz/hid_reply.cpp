// The device libraries (libkelvaro.so, libruvasko.so, loaded as the program
// loads them) over the simulated hidapi (tests/devices/simhid.h): devices
// that answer anything, answer short, refuse, fail or vanish, and the
// measuring calls made on them.
//
// Input: a device count (1 + low two bits of byte 0), then 14 bytes per
// device: its flags (kind, present, open fails, never answers, path), the
// length of its replies, a failure mode and its parameter, 7 reply bytes and
// 3 version bytes; then pairs of bytes, each one call and its argument.
//
// Promises, from the libraries' headers, against a model of the devices:
//  - every call returns what its header says for the device's behaviour:
//    0, -1, or the negated error number of a refused request;
//  - a measurement converts the reply bytes by the documented formulas; a
//    failed one sets the meter's outputs to 0.0 and leaves the counter's;
//  - a clear request zeroes the counter; the version reads "NN/NN/NN";
//    FindUSB walks the devices present in order, once per path;
//  - no call leaves a device open, closes one twice or keeps an enumeration.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devlib/device_library.h"
#include "tests/devices/simhid.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using orvana::DeviceLibrary;

struct Meter {
    std::unique_ptr<DeviceLibrary> lib;
    char* (*findUsb)(int*) = nullptr;
    char* (*getVers)(const char*) = nullptr;
    int (*getTempHumid)(const char*, double*, double*) = nullptr;
    int (*getTempHumidTrue)(const char*, double*, double*) = nullptr;
    int (*controlIo)(const char*, int, int) = nullptr;
    int (*setHeater)(const char*, int) = nullptr;
    void (*freeString)(char*) = nullptr;
};

struct Counter {
    std::unique_ptr<DeviceLibrary> lib;
    char* (*findUsb)(int*) = nullptr;
    char* (*getVers)(const char*) = nullptr;
    int (*getCountTime)(const char*, std::uint32_t*, std::uint32_t*) = nullptr;
    int (*clear)(const char*) = nullptr;
    void (*freeString)(char*) = nullptr;
};

Meter meter;
Counter counter;

template <class F>
void bind(const DeviceLibrary& lib, F*& f, const char* name) {
    f = lib.function<F>(name);
    FUZZ_CHECK(f != nullptr, std::string("missing export ") + name);
}

// One simulated device as the input describes it.
struct Device {
    unsigned short vendor = 0x1774, product = 0x1001;
    bool present = true, openFails = false, noReply = false;
    std::string path;
    int replyLength = 7;
    int mode = 0;  // 0-3 normal, 4 short write, 5 refused write, 6 read error, 7 feature errors
    int param = 0;
    unsigned char reply[8] = {};  // byte 0 is the report ID
    unsigned char feature[8] = {};
};

std::vector<Device> devices;

std::string pathOf(int k) {
    return "/dev/sim/hid" + std::to_string(k);
}

// The device hid_open_path opens for a path, or null.
Device* opened(const char* path) {
    if (path == nullptr)
        return nullptr;
    for (auto& d : devices)
        if (d.path == path && d.present && !d.openFails)
            return &d;
    return nullptr;
}

int refusal(int err) {
    return err > 0 ? -err : -EIO;
}

// The simulated device's id: devices are added in this order.
int idOf(const Device* d) {
    return static_cast<int>(d - devices.data());
}

// The last feature report a successful request sent is (0, command, value,
// zeros).
void checkFeature(const char* path, int command, int value, const std::string& call) {
    unsigned char sent[16] = {};
    const std::size_t n = simhid_last_feature(idOf(opened(path)), sent, sizeof sent);
    FUZZ_CHECK(n == 8 && sent[0] == 0 && sent[1] == command && sent[2] == value && sent[3] == 0 &&
                   sent[7] == 0,
               call + " sent " + std::to_string(sent[1]) + "," + std::to_string(sent[2]));
}

// The result of one request with a reply of at least minBytes; fills reply.
int exchange(const char* path, unsigned char command, std::size_t minBytes, unsigned char* reply) {
    Device* d = opened(path);
    if (d == nullptr)
        return -1;
    if (d->mode == 4)
        return -1;  // short write
    if (d->mode == 5)
        return refusal(d->param);
    if (d->product == 0x1002 && command == 0xAA)
        for (int i = 1; i <= 4; ++i)
            d->reply[i] = 0;
    if ((d->mode == 6 && d->param != 0) || d->noReply)
        return -1;
    const int got = d->replyLength < 0 ? 0 : (d->replyLength > 7 ? 7 : d->replyLength);
    if (got <= 0 || static_cast<std::size_t>(got) < minBytes)
        return -1;
    for (int i = 0; i < 8; ++i)
        reply[i] = i <= got ? d->reply[i] : 0;
    reply[0] = 0;
    return 0;
}

int featureSend(const char* path) {
    Device* d = opened(path);
    if (d == nullptr)
        return -1;
    if (d->mode == 7 && d->param != 0)
        return refusal(static_cast<signed char>(d->param));
    return 0;
}

std::string version(const char* path) {
    Device* d = opened(path);
    if (d == nullptr || (d->mode == 7 && d->param != 0))
        return "";
    std::string v;
    for (int i = 1; i <= 3; ++i) {
        const std::string n = std::to_string(d->feature[i]);
        v += (i > 1 ? "/" : "") + std::string(n.size() < 2 ? 2 - n.size() : 0, '0') + n;
    }
    return v;
}

std::string find(unsigned short product, int& index) {
    std::vector<const Device*> members;
    for (const auto& d : devices) {
        bool seen = !d.present;
        for (const Device* m : members)
            seen = seen || m->path == d.path;
        if (!seen)
            members.push_back(&d);
    }
    for (std::size_t k = index > 0 ? static_cast<std::size_t>(index) : 0; k < members.size(); ++k)
        if (members[k]->vendor == 0x1774 && members[k]->product == product) {
            index = static_cast<int>(k + 1);
            return members[k]->path;
        }
    index = 0;
    return "";
}

bool near(double a, long double b) {
    return std::fabs(static_cast<long double>(a) - b) <= 1e-9L * (1 + std::fabs(b));
}

std::string take(char* s, void (*freeString)(char*)) {
    FUZZ_CHECK(s != nullptr, "null system string");
    std::uint32_t length = 0;
    std::memcpy(&length, s - sizeof length, sizeof length);
    const std::string text(s);
    FUZZ_CHECK(length == text.size(), "system string length " + std::to_string(length));
    freeString(s);
    return text;
}

void checkNothingOpen(const std::string& call) {
    simhid_counters c{};
    simhid_get_counters(&c);
    FUZZ_CHECK(
        c.open_handles == 0 && c.bad_closes == 0 && c.enumerations_live == 0 && c.opens == c.closes,
        call + " left " + std::to_string(c.open_handles) + " open, " +
            std::to_string(c.bad_closes) + " bad closes, " + std::to_string(c.enumerations_live) +
            " enumerations");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string error;
    meter.lib = DeviceLibrary::load({ORVANA_FUZZ_KELVARO}, error);
    FUZZ_CHECK(meter.lib != nullptr, error);
    bind(*meter.lib, meter.findUsb, "FindUSB");
    bind(*meter.lib, meter.getVers, "GetVers");
    bind(*meter.lib, meter.getTempHumid, "GetTempHumid");
    bind(*meter.lib, meter.getTempHumidTrue, "GetTempHumidTrue");
    bind(*meter.lib, meter.controlIo, "ControlIO");
    bind(*meter.lib, meter.setHeater, "SetHeater");
    bind(*meter.lib, meter.freeString, "FreeString");
    counter.lib = DeviceLibrary::load({ORVANA_FUZZ_RUVASKO}, error);
    FUZZ_CHECK(counter.lib != nullptr, error);
    bind(*counter.lib, counter.findUsb, "FindUSB");
    bind(*counter.lib, counter.getVers, "GetVers");
    bind(*counter.lib, counter.getCountTime, "GetCountTime");
    bind(*counter.lib, counter.clear, "Clear");
    bind(*counter.lib, counter.freeString, "FreeString");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t pos = 0;
    auto next = [&]() -> unsigned char { return pos < size ? data[pos++] : 0; };

    simhid_reset();
    devices.assign((next() & 3) + 1, Device{});
    for (auto& d : devices) {
        const unsigned char flags = next();
        static const unsigned short kinds[4][2] = {
            {0x1774, 0x1001}, {0x1774, 0x1002}, {0x1775, 0x1001}, {0x1774, 0x1003}};
        d.vendor = kinds[flags & 3][0];
        d.product = kinds[flags & 3][1];
        d.present = !(flags & 4);
        d.openFails = flags & 8;
        d.noReply = flags & 16;
        d.path = pathOf((flags >> 5) & 3);
        d.replyLength = next() & 15;
        d.mode = next() & 7;
        d.param = next();
        for (int i = 1; i <= 7; ++i)
            d.reply[i] = next();
        for (int i = 1; i <= 3; ++i)
            d.feature[i] = next();

        const int id = simhid_add_device(d.vendor, d.product, d.path.c_str());
        simhid_set_present(id, d.present);
        simhid_set_open_fails(id, d.openFails);
        simhid_set_no_reply(id, d.noReply);
        simhid_set_reply_length(id, d.replyLength);
        simhid_set_reply(id, d.reply);
        simhid_set_feature_reply(id, d.feature);
        if (d.mode == 4)
            simhid_set_write_result(id, d.param & 7, 0);
        else if (d.mode == 5)
            simhid_set_write_result(id, -1, d.param);
        else if (d.mode == 6)
            simhid_set_read_error(id, d.param);
        else if (d.mode == 7)
            simhid_set_feature_errors(id, static_cast<signed char>(d.param),
                                      static_cast<signed char>(d.param));
    }

    for (int calls = 0; calls < 32 && pos < size; ++calls) {
        const unsigned char op = next();
        const unsigned char arg = next();
        const int which = (op / 10) % 6;
        const std::string p = which == 5 ? std::string("/dev/sim/none") : pathOf(which);
        const char* path = which == 4 ? nullptr : p.c_str();
        const std::string call = "call " + std::to_string(op % 10) + " on " +
                                 (path ? std::string(path) : std::string("null"));
        unsigned char reply[8] = {};
        switch (op % 10) {
            case 0:
            case 1: {
                const bool compensated = op % 10 == 1;
                double t = -1, h = -1;
                const int r =
                    (compensated ? meter.getTempHumidTrue : meter.getTempHumid)(path, &t, &h);
                const int expected = exchange(path, 0, 4, reply);
                FUZZ_CHECK(r == expected, call + " gave " + std::to_string(r) + ", not " +
                                              std::to_string(expected));
                if (r != 0) {
                    FUZZ_CHECK(t == 0.0 && h == 0.0, call + ": outputs not cleared");
                    break;
                }
                const long double hraw = reply[1] * 256 + reply[2];
                const long double traw = reply[3] * 256 + reply[4];
                const long double temp = traw / 100 - 40;
                const long double linear = -2.8e-6L * hraw * hraw + 0.0405L * hraw - 4;
                const long double humid =
                    compensated ? (temp - 25) * (0.01L + 0.00008L * hraw) + linear : linear;
                FUZZ_CHECK(near(t, temp) && near(h, humid),
                           call + ": " + std::to_string(t) + " C, " + std::to_string(h) + " %");
                break;
            }
            case 2: {
                std::uint32_t count = 0xDEADBEEF, time = 0xFEEDFACE;
                const int r = counter.getCountTime(path, &count, &time);
                const int expected = exchange(path, 0, 7, reply);
                FUZZ_CHECK(r == expected, call + " gave " + std::to_string(r) + ", not " +
                                              std::to_string(expected));
                if (r != 0) {
                    FUZZ_CHECK(count == 0xDEADBEEF && time == 0xFEEDFACE,
                               call + ": outputs changed");
                    break;
                }
                const std::uint32_t c = reply[1] + (reply[2] << 8) + (reply[3] << 16) +
                                        (static_cast<std::uint32_t>(reply[4]) << 24);
                const std::uint32_t s = reply[5] + (reply[6] << 8) + (reply[7] << 16);
                FUZZ_CHECK(count == c && time == s,
                           call + ": " + std::to_string(count) + ", " + std::to_string(time));
                FUZZ_CHECK(counter.getCountTime(path, nullptr, &time) == -1 &&
                               counter.getCountTime(path, &count, nullptr) == -1,
                           "null output accepted");
                break;
            }
            case 3: {
                const int r = counter.clear(path);
                const int expected = exchange(path, 0xAA, 0, reply);
                FUZZ_CHECK(r == expected, call + " gave " + std::to_string(r) + ", not " +
                                              std::to_string(expected));
                break;
            }
            case 4:
            case 5: {
                const bool ofMeter = op % 10 == 4;
                const std::string v = take((ofMeter ? meter.getVers : counter.getVers)(path),
                                           ofMeter ? meter.freeString : counter.freeString);
                FUZZ_CHECK(v == version(path), call + " read " + v);
                break;
            }
            case 6:
            case 7: {
                const bool ofMeter = op % 10 == 6;
                int index = static_cast<signed char>(arg);
                int expectedIndex = index;
                const std::string expected = find(ofMeter ? 0x1001 : 0x1002, expectedIndex);
                const std::string got = take((ofMeter ? meter.findUsb : counter.findUsb)(&index),
                                             ofMeter ? meter.freeString : counter.freeString);
                FUZZ_CHECK(got == expected && index == expectedIndex,
                           "FindUSB found " + got + " at " + std::to_string(index) + ", not " +
                               expected + " at " + std::to_string(expectedIndex));
                FUZZ_CHECK(take((ofMeter ? meter.findUsb : counter.findUsb)(nullptr),
                                ofMeter ? meter.freeString : counter.freeString)
                               .empty(),
                           "FindUSB without an index");
                break;
            }
            case 8: {
                const int output = static_cast<signed char>(arg) % 3;
                const int on = arg & 0x40;
                simhid_counters before{};
                simhid_get_counters(&before);
                const int r = meter.controlIo(path, output, on);
                const int expected = output == 0 || output == 1 ? featureSend(path) : -1;
                FUZZ_CHECK(r == expected, call + " output " + std::to_string(output) + " gave " +
                                              std::to_string(r));
                if (r == 0)
                    checkFeature(path, output == 0 ? 3 : 4, on ? 1 : 0, call);
                if (output != 0 && output != 1) {
                    simhid_counters after{};
                    simhid_get_counters(&after);
                    FUZZ_CHECK(
                        after.opens + after.failed_opens == before.opens + before.failed_opens,
                        "a bad output opened the device");
                }
                break;
            }
            case 9: {
                const int r = meter.setHeater(path, arg & 1);
                FUZZ_CHECK(r == featureSend(path), call + " gave " + std::to_string(r));
                if (r == 0)
                    checkFeature(path, 1, arg & 1 ? 4 : 0, call);
                break;
            }
        }
        checkNothingOpen(call);
    }
    return 0;
}
