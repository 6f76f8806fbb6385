#include "sensors/device_binding.h"

namespace orvana::sensors {

DeviceBinding::DeviceBinding(DeviceLibraryLoader* loader, const char* file, const char* readEntry) {
    if (!loader) {
        error_ = std::string(file) + ": no library loader";
        return;
    }
    lib_ = loader->load(file, error_);
    if (!lib_)
        return;
    auto* find = lib_->function<FindUsbFn>("FindUSB");
    auto* free = lib_->function<FreeStringFn>("FreeString");
    void* read = lib_->symbol(readEntry);
    if (!find || !free || !read) {
        error_ = lib_->file() + ": missing " +
                 (!find   ? std::string("FindUSB")
                  : !free ? "FreeString"
                          : readEntry);
        lib_.reset();
        return;
    }
    findUsb_ = find;
    freeString_ = free;
    read_ = read;
}

std::string DeviceBinding::FindUSB(int* index) const {
    if (!findUsb_)
        return {};
    char* raw = findUsb_(index);
    std::string path = raw ? std::string(raw) : std::string();
    freeString_(raw);
    return path;
}

int DeviceBinding::CountDevices() const {
    if (!findUsb_)
        return 0;
    int index = 0;
    int count = 0;
    while (count < kMaxDevices) {
        const int before = index;
        if (FindUSB(&index).empty())
            break;
        ++count;
        if (index <= before)
            break;
    }
    return count;
}

MeterLibrary::MeterLibrary(DeviceLibraryLoader* loader)
    : binding_(loader, kMeterLibraryFile, "GetTempHumidTrue") {}

int MeterLibrary::GetTempHumidTrue(const std::string& path, double* temp, double* humid) const {
    using Fn = int(const char*, double*, double*);
    auto* fn = reinterpret_cast<Fn*>(binding_.readEntry());
    if (!fn) {
        *temp = *humid = 0.0;
        return -1;
    }
    return fn(path.c_str(), temp, humid);
}

CounterLibrary::CounterLibrary(DeviceLibraryLoader* loader)
    : binding_(loader, kCounterLibraryFile, "GetCountTime") {}

int CounterLibrary::GetCountTime(const std::string& path, std::uint32_t* count) const {
    using Fn = int(const char*, std::uint32_t*, std::uint32_t*);
    auto* fn = reinterpret_cast<Fn*>(binding_.readEntry());
    if (!fn)
        return -1;
    std::uint32_t time = 0;
    return fn(path.c_str(), count, &time);
}

}  // namespace orvana::sensors
