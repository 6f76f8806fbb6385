// Simulated hidapi: see simhid.h for the model.
#include "tests/devices/simhid.h"

#include <hidapi.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

struct hid_device_ {
    int id;
};

namespace {

using Report = std::array<unsigned char, 8>;

constexpr unsigned short kCounterProduct = 0x1002;

struct Device {
    unsigned short vendor = 0;
    unsigned short product = 0;
    std::string path;
    bool nullPath = false;
    Report reply{};
    int replyLength = 7;
    bool noReply = false;
    bool openFails = false;
    bool present = true;
    std::optional<int> writeResult;
    int writeErrno = 0;
    int readErrno = 0;
    Report feature{0, 1, 2, 3, 0, 0, 0, 0};
    int featureSendErrno = 0;
    int featureGetErrno = 0;
    int pendingReplies = 0;
    std::vector<unsigned char> lastWritten;
    std::vector<unsigned char> lastFeature;
    int lastTimeout = -2;
};

Report defaultReply(unsigned short product) {
    if (product == kCounterProduct) {
        // count 10000, time 60, least significant byte first
        return {0, 0x10, 0x27, 0x00, 0x00, 0x3C, 0x00, 0x00};
    }
    // Hraw 1000, Traw 6500, most significant byte first
    return {0, 0x03, 0xE8, 0x19, 0x64, 0, 0, 0};
}

struct State {
    std::mutex lock;
    std::vector<Device> devices;
    std::map<hid_device*, std::unique_ptr<hid_device_>> handles;
    simhid_counters counters{};

    Device* device(int id) {
        if (id < 0 || static_cast<std::size_t>(id) >= devices.size()) {
            return nullptr;
        }
        return &devices[static_cast<std::size_t>(id)];
    }
    Device* deviceOf(hid_device* handle) {
        const auto it = handles.find(handle);
        return it == handles.end() ? nullptr : device(it->second->id);
    }
    int add(unsigned short vendor, unsigned short product, const char* path) {
        Device d;
        d.vendor = vendor;
        d.product = product;
        d.path = path != nullptr ? path : "";
        d.nullPath = path == nullptr;
        d.reply = defaultReply(product);
        devices.push_back(std::move(d));
        return static_cast<int>(devices.size() - 1);
    }
};

State& state() {
    static State s;
    return s;
}

// SIMHID_DEVICES="vvvv:pppp:path[:noreply],..."
__attribute__((constructor)) void loadDevicesFromEnvironment() {
    const char* configured = std::getenv("SIMHID_DEVICES");
    if (configured == nullptr) {
        return;
    }
    State& s = state();
    std::istringstream entries(configured);
    std::string entry;
    while (std::getline(entries, entry, ',')) {
        std::vector<std::string> fields;
        std::istringstream parts(entry);
        std::string field;
        while (std::getline(parts, field, ':')) {
            fields.push_back(field);
        }
        if (fields.size() < 3) {
            continue;
        }
        const auto vendor =
            static_cast<unsigned short>(std::strtoul(fields[0].c_str(), nullptr, 16));
        const auto product =
            static_cast<unsigned short>(std::strtoul(fields[1].c_str(), nullptr, 16));
        const int id = s.add(vendor, product, fields[2].c_str());
        s.devices[static_cast<std::size_t>(id)].noReply =
            fields.size() > 3 && fields[3] == "noreply";
    }
}

template <typename Fn>
void withDevice(int id, Fn fn) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    if (Device* d = s.device(id)) {
        fn(*d);
    }
}

size_t copyOut(const std::vector<unsigned char>& from, unsigned char* buffer, size_t capacity) {
    if (buffer != nullptr) {
        std::copy_n(from.begin(), std::min(capacity, from.size()), buffer);
    }
    return from.size();
}

}  // namespace

extern "C" {

// ---- control API ----

void simhid_reset(void) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    s.devices.clear();
    s.handles.clear();
    s.counters = simhid_counters{};
}

int simhid_add_device(unsigned short vendor_id, unsigned short product_id, const char* path) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    return s.add(vendor_id, product_id, path);
}

void simhid_set_reply(int id, const unsigned char* report8) {
    withDevice(id, [&](Device& d) { std::copy_n(report8, d.reply.size(), d.reply.begin()); });
}

void simhid_set_reply_length(int id, int bytes) {
    withDevice(id, [&](Device& d) { d.replyLength = std::clamp(bytes, 0, 7); });
}

void simhid_set_no_reply(int id, int on) {
    withDevice(id, [&](Device& d) { d.noReply = on != 0; });
}

void simhid_set_present(int id, int on) {
    withDevice(id, [&](Device& d) { d.present = on != 0; });
}

void simhid_set_open_fails(int id, int on) {
    withDevice(id, [&](Device& d) { d.openFails = on != 0; });
}

void simhid_set_write_result(int id, int result, int err) {
    withDevice(id, [&](Device& d) {
        d.writeResult = result;
        d.writeErrno = err;
    });
}

void simhid_set_read_error(int id, int err) {
    withDevice(id, [&](Device& d) { d.readErrno = err; });
}

void simhid_set_feature_reply(int id, const unsigned char* report8) {
    withDevice(id, [&](Device& d) { std::copy_n(report8, d.feature.size(), d.feature.begin()); });
}

void simhid_set_feature_errors(int id, int send_err, int get_err) {
    withDevice(id, [&](Device& d) {
        d.featureSendErrno = send_err;
        d.featureGetErrno = get_err;
    });
}

size_t simhid_last_written(int id, unsigned char* buffer, size_t capacity) {
    size_t n = 0;
    withDevice(id, [&](Device& d) { n = copyOut(d.lastWritten, buffer, capacity); });
    return n;
}

size_t simhid_last_feature(int id, unsigned char* buffer, size_t capacity) {
    size_t n = 0;
    withDevice(id, [&](Device& d) { n = copyOut(d.lastFeature, buffer, capacity); });
    return n;
}

int simhid_last_timeout(int id) {
    int t = -2;
    withDevice(id, [&](Device& d) { t = d.lastTimeout; });
    return t;
}

void simhid_get_counters(struct simhid_counters* out) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    *out = s.counters;
    out->open_handles = static_cast<int>(s.handles.size());
}

// ---- hidapi ----

int hid_init(void) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    ++s.counters.inits;
    return 0;
}

int hid_exit(void) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    ++s.counters.exits;
    return 0;
}

struct hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    for (const Device& d : s.devices) {
        if (!d.present) {
            continue;
        }
        if ((vendor_id != 0 && vendor_id != d.vendor) ||
            (product_id != 0 && product_id != d.product)) {
            continue;
        }
        auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        info->path = d.nullPath ? nullptr : strdup(d.path.c_str());
        info->vendor_id = d.vendor;
        info->product_id = d.product;
        info->bus_type = HID_API_BUS_USB;
        *tail = info;
        tail = &info->next;
    }
    if (head != nullptr) {
        ++s.counters.enumerations_live;
    }
    return head;
}

void hid_free_enumeration(struct hid_device_info* devs) {
    if (devs == nullptr) {
        return;
    }
    {
        State& s = state();
        const std::lock_guard guard(s.lock);
        --s.counters.enumerations_live;
    }
    while (devs != nullptr) {
        hid_device_info* next = devs->next;
        std::free(devs->path);
        std::free(devs);
        devs = next;
    }
}

hid_device* hid_open_path(const char* path) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    for (std::size_t id = 0; id < s.devices.size(); ++id) {
        const Device& d = s.devices[id];
        if (path != nullptr && !d.nullPath && d.path == path && d.present && !d.openFails) {
            auto handle = std::make_unique<hid_device_>(hid_device_{static_cast<int>(id)});
            hid_device* raw = handle.get();
            s.handles.emplace(raw, std::move(handle));
            ++s.counters.opens;
            return raw;
        }
    }
    ++s.counters.failed_opens;
    errno = ENOENT;
    return nullptr;
}

void hid_close(hid_device* dev) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    if (s.handles.erase(dev) == 1) {
        ++s.counters.closes;
    } else {
        ++s.counters.bad_closes;
    }
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    ++s.counters.writes;
    Device* d = s.deviceOf(dev);
    if (d == nullptr) {
        errno = EBADF;
        return -1;
    }
    d->lastWritten.assign(data, data + length);
    if (d->writeResult) {
        if (*d->writeResult < 0) {
            errno = d->writeErrno;
            return -1;
        }
        return std::min(*d->writeResult, static_cast<int>(length));
    }
    if (d->product == kCounterProduct && length >= 2 && data[1] == 0xAA) {
        std::fill(d->reply.begin() + 1, d->reply.begin() + 5, 0);
    }
    ++d->pendingReplies;
    return static_cast<int>(length);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    ++s.counters.reads;
    Device* d = s.deviceOf(dev);
    if (d == nullptr) {
        errno = EBADF;
        return -1;
    }
    d->lastTimeout = milliseconds;
    if (d->readErrno != 0) {
        errno = d->readErrno;
        return -1;
    }
    if (d->noReply || d->pendingReplies == 0) {
        return 0;
    }
    --d->pendingReplies;
    // Unnumbered report: hidapi hands over the bytes after the report ID.
    const size_t n = std::min(length, static_cast<size_t>(d->replyLength));
    std::copy_n(d->reply.begin() + 1, n, data);
    return static_cast<int>(n);
}

int hid_send_feature_report(hid_device* dev, const unsigned char* data, size_t length) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    ++s.counters.feature_sends;
    Device* d = s.deviceOf(dev);
    if (d == nullptr) {
        errno = EBADF;
        return -1;
    }
    d->lastFeature.assign(data, data + length);
    if (d->featureSendErrno != 0) {
        errno = std::max(d->featureSendErrno, 0);
        return -1;
    }
    return static_cast<int>(length);
}

int hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    ++s.counters.feature_gets;
    Device* d = s.deviceOf(dev);
    if (d == nullptr) {
        errno = EBADF;
        return -1;
    }
    if (d->featureGetErrno != 0) {
        errno = std::max(d->featureGetErrno, 0);
        return -1;
    }
    if (length == 0) {
        errno = EINVAL;
        return -1;
    }
    // The report ID stays in byte 0.
    const size_t n = std::min(length, d->feature.size());
    std::copy_n(d->feature.begin() + 1, n - 1, data + 1);
    return static_cast<int>(n);
}

const wchar_t* hid_error(hid_device*) {
    return L"simulated device error";
}

}  // extern "C"
