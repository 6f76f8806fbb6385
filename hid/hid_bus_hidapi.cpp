#include <hidapi.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "hid/hid_bus.h"

namespace orvana::hid {
namespace {

int negatedErrno() {
    const int err = errno;
    return err > 0 ? -err : -EIO;
}

class HidapiConnection final : public Connection {
  public:
    explicit HidapiConnection(hid_device* device) : device_(device) {}
    ~HidapiConnection() override { hid_close(device_); }
    HidapiConnection(const HidapiConnection&) = delete;
    HidapiConnection& operator=(const HidapiConnection&) = delete;

    int write(std::span<const std::uint8_t> data) override {
        errno = 0;
        const int n = hid_write(device_, data.data(), data.size());
        return n < 0 ? negatedErrno() : n;
    }
    int readTimeout(std::span<std::uint8_t> data, int milliseconds) override {
        errno = 0;
        const int n = hid_read_timeout(device_, data.data(), data.size(), milliseconds);
        return n < 0 ? negatedErrno() : n;
    }
    int sendFeature(std::span<const std::uint8_t> data) override {
        errno = 0;
        const int n = hid_send_feature_report(device_, data.data(), data.size());
        return n < 0 ? negatedErrno() : n;
    }
    int getFeature(std::span<std::uint8_t> data) override {
        errno = 0;
        const int n = hid_get_feature_report(device_, data.data(), data.size());
        return n < 0 ? negatedErrno() : n;
    }

  private:
    hid_device* device_;
};

struct EnumerationDeleter {
    void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};

class HidapiBus final : public Bus {
  public:
    ~HidapiBus() override {
        if (initialised_) {
            hid_exit();
        }
    }

    std::vector<DeviceEntry> enumerate() override {
        ensureInit();
        std::vector<DeviceEntry> result;
        const std::unique_ptr<hid_device_info, EnumerationDeleter> list(hid_enumerate(0, 0));
        for (const hid_device_info* info = list.get(); info != nullptr; info = info->next) {
            const std::string path = info->path ? info->path : "";
            // hidraw lists a device once per usage in its report descriptor;
            // one member per device path, so a meter is never found twice.
            const bool seen = std::any_of(result.begin(), result.end(),
                                          [&](const DeviceEntry& e) { return e.path == path; });
            if (!seen) {
                result.push_back(DeviceEntry{path, info->vendor_id, info->product_id});
            }
        }
        return result;
    }

    std::unique_ptr<Connection> open(const std::string& path) override {
        ensureInit();
        hid_device* device = hid_open_path(path.c_str());
        if (device == nullptr) {
            return nullptr;
        }
        return std::make_unique<HidapiConnection>(device);
    }

  private:
    void ensureInit() {
        std::call_once(initOnce_, [this] { initialised_ = hid_init() == 0; });
    }

    std::once_flag initOnce_;
    bool initialised_ = false;
};

}  // namespace

Bus& hidapiBus() {
    static HidapiBus bus;
    return bus;
}

std::mutex& transportLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace orvana::hid
