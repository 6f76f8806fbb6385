// A sensor's device library bound at run time by file name through the
// program's DeviceLibraryLoader: "libkelvaro.so" for the temperature/humidity
// meter, "libruvasko.so" for the Geiger counter. A binding finds devices with
// the library's FindUSB, frees every string the library returns with the
// library's own FreeString, and offers the one reading the monitor uses.
//
// Threads: UI thread only (the libraries allow one call at a time per
// process). The library stays loaded while the binding lives.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "devlib/device_library.h"
#include "devlib/device_library_loader.h"

namespace orvana::sensors {

// Whether a usable meter library is bound: -1 none, 0 the kelvaro meter.
enum TYPE_OF_TEMP_SENSOR : int { TEMP_SENSOR_NONE = -1, TEMP_SENSOR_KELVARO = 0 };
// Whether a usable counter library is bound: -1 none, 0 the ruvasko counter.
enum TYPE_OF_GEIGER_SENSOR : int { GEIGER_SENSOR_NONE = -1, GEIGER_SENSOR_RUVASKO = 0 };

inline constexpr const char* kMeterLibraryFile = "libkelvaro.so";
inline constexpr const char* kCounterLibraryFile = "libruvasko.so";

// More devices than this are not counted: a library that fails to move its
// index forward cannot hold the UI thread in a loop.
inline constexpr int kMaxDevices = 64;

class DeviceBinding {
  public:
    // Loads `file` through `loader` and looks up FindUSB, FreeString and
    // `readEntry`. bound() is true only when all three exist; a null loader,
    // a library that does not load or a missing export leave it unbound
    // (why: error()). FreeString is required: without it no returned string
    // could be released.
    DeviceBinding(DeviceLibraryLoader* loader, const char* file, const char* readEntry);

    bool bound() const { return findUsb_ != nullptr; }
    const std::string& error() const { return error_; }

    // FindUSB from *index: the device path of the next device ("" when there
    // is none), with *index moved on as the library does. The library's
    // string is freed before returning. "" when unbound.
    std::string FindUSB(int* index) const;

    // The CheckDevice count: FindUSB from index 0 with one index variable,
    // counting the non-empty answers up to the first empty one (at most
    // kMaxDevices; an index that does not move forward ends the count).
    // 0 when unbound.
    int CountDevices() const;

    // The read entry point; null when unbound.
    void* readEntry() const { return read_; }

  private:
    using FindUsbFn = char*(int*);
    using FreeStringFn = void(char*);

    std::unique_ptr<DeviceLibrary> lib_;
    FindUsbFn* findUsb_ = nullptr;
    FreeStringFn* freeString_ = nullptr;
    void* read_ = nullptr;
    std::string error_;
};

// The meter library: FindUSB and GetTempHumidTrue.
class MeterLibrary {
  public:
    explicit MeterLibrary(DeviceLibraryLoader* loader);

    TYPE_OF_TEMP_SENSOR TypeOfSensor() const {
        return binding_.bound() ? TEMP_SENSOR_KELVARO : TEMP_SENSOR_NONE;
    }
    const DeviceBinding& binding() const { return binding_; }

    // One measurement: 0 on success with both values set; non-zero on
    // failure (values then 0.0). -1 when unbound.
    int GetTempHumidTrue(const std::string& path, double* temp, double* humid) const;

  private:
    DeviceBinding binding_;
};

// The counter library: FindUSB and GetCountTime.
class CounterLibrary {
  public:
    explicit CounterLibrary(DeviceLibraryLoader* loader);

    TYPE_OF_GEIGER_SENSOR TypeOfSensor() const {
        return binding_.bound() ? GEIGER_SENSOR_RUVASKO : GEIGER_SENSOR_NONE;
    }
    const DeviceBinding& binding() const { return binding_; }

    // The cumulative count: 0 on success; non-zero on failure (count then
    // unchanged). -1 when unbound.
    int GetCountTime(const std::string& path, std::uint32_t* count) const;

  private:
    DeviceBinding binding_;
};

}  // namespace orvana::sensors
