// A sensor's device library bound at run time by file name through the
// program's DeviceLibraryLoader: "libkelvaro.so" for the temperature/humidity
// meter, "libruvasko.so" for the Geiger counter. A binding finds devices with
// the library's FindUSB, frees every string the library returns with the
// library's own FreeString, and offers the one reading the monitor uses.
//
// Every call into the library runs on the binding's LibraryWorker, one at a
// time as the libraries require, and the caller waits for it at most
// kLibraryCallWait: a call that overran counts as failed (below, what each
// function then returns) and the next ones fail at once until it has ended.
//
// Threads: one caller at a time (the UI thread). The library stays loaded
// while the binding lives; going, the binding waits for a call in progress.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "devlib/device_library.h"
#include "devlib/device_library_loader.h"
#include "sensors/library_worker.h"

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

// A reading that the library had not finished within kLibraryCallWait.
inline constexpr int kNoAnswerInTime = -2;

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
    // string is freed before returning. "" when unbound, and "" with *index
    // unchanged when the library did not answer in time.
    std::string FindUSB(int* index) const;

    // The CheckDevice count: FindUSB from index 0 with one index variable,
    // counting the non-empty answers up to the first empty one (at most
    // kMaxDevices; an index that does not move forward ends the count).
    // 0 when unbound, or when the walk did not end in time (one wait for
    // the whole walk).
    int CountDevices() const;

    // The read entry point; null when unbound.
    void* readEntry() const { return read_; }

    // Runs `call` (which may use readEntry()) on the library's worker and
    // returns its result; nullopt when it did not end in time or an earlier
    // call is still running. See LibraryWorker::run.
    template <class R>
    std::optional<R> call(std::function<R()> fn) const {
        return worker_ ? worker_->run<R>(std::move(fn)) : std::nullopt;
    }
    // Whether a call that overran its wait is still running.
    bool busy() const { return worker_ && worker_->busy(); }

  private:
    using FindUsbFn = char*(int*);
    using FreeStringFn = void(char*);

    std::unique_ptr<DeviceLibrary> lib_;
    FindUsbFn* findUsb_ = nullptr;
    FreeStringFn* freeString_ = nullptr;
    void* read_ = nullptr;
    std::string error_;
    // Declared after the library, so it is joined before the library goes.
    std::unique_ptr<LibraryWorker> worker_;
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
    // failure (values then 0.0). -1 when unbound, kNoAnswerInTime when the
    // library did not answer within kLibraryCallWait.
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
    // unchanged). -1 when unbound, kNoAnswerInTime when the library did not
    // answer within kLibraryCallWait.
    int GetCountTime(const std::string& path, std::uint32_t* count) const;

  private:
    DeviceBinding binding_;
};

}  // namespace orvana::sensors
