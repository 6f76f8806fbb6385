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
    worker_ = std::make_unique<LibraryWorker>();
}

namespace {

// FindUSB itself, on the worker: the path found from *index, the library's
// string freed.
std::string findOnWorker(char* (*find)(int*), void (*release)(char*), int* index) {
    char* raw = find(index);
    std::string path = raw ? std::string(raw) : std::string();
    release(raw);
    return path;
}

}  // namespace

std::string DeviceBinding::FindUSB(int* index) const {
    if (!findUsb_)
        return {};
    struct Found {
        std::string path;
        int index;
    };
    const std::optional<Found> found =
        call<Found>([find = findUsb_, release = freeString_, from = *index] {
            Found f{{}, from};
            f.path = findOnWorker(find, release, &f.index);
            return f;
        });
    if (!found)
        return {};
    *index = found->index;
    return found->path;
}

int DeviceBinding::CountDevices() const {
    if (!findUsb_)
        return 0;
    // The whole walk is one call: the caller waits once, not once a device.
    return call<int>([find = findUsb_, release = freeString_] {
               int index = 0;
               int count = 0;
               while (count < kMaxDevices) {
                   const int before = index;
                   if (findOnWorker(find, release, &index).empty())
                       break;
                   ++count;
                   if (index <= before)
                       break;
               }
               return count;
           })
        .value_or(0);
}

MeterLibrary::MeterLibrary(DeviceLibraryLoader* loader)
    : binding_(loader, kMeterLibraryFile, "GetTempHumidTrue") {}

int MeterLibrary::GetTempHumidTrue(const std::string& path, double* temp, double* humid) const {
    using Fn = int(const char*, double*, double*);
    auto* fn = reinterpret_cast<Fn*>(binding_.readEntry());
    *temp = *humid = 0.0;
    if (!fn)
        return -1;
    struct Reading {
        int rc;
        double temp, humid;
    };
    const std::optional<Reading> r = binding_.call<Reading>([fn, path] {
        Reading out{0, 0.0, 0.0};
        out.rc = fn(path.c_str(), &out.temp, &out.humid);
        return out;
    });
    if (!r)
        return kNoAnswerInTime;
    *temp = r->temp;
    *humid = r->humid;
    return r->rc;
}

CounterLibrary::CounterLibrary(DeviceLibraryLoader* loader)
    : binding_(loader, kCounterLibraryFile, "GetCountTime") {}

int CounterLibrary::GetCountTime(const std::string& path, std::uint32_t* count) const {
    using Fn = int(const char*, std::uint32_t*, std::uint32_t*);
    auto* fn = reinterpret_cast<Fn*>(binding_.readEntry());
    if (!fn)
        return -1;
    struct Reading {
        int rc;
        std::uint32_t count;
    };
    const std::optional<Reading> r = binding_.call<Reading>([fn, path, was = *count] {
        Reading out{0, was};
        std::uint32_t time = 0;
        out.rc = fn(path.c_str(), &out.count, &time);
        return out;
    });
    if (!r)
        return kNoAnswerInTime;
    *count = r->count;
    return r->rc;
}

}  // namespace orvana::sensors
