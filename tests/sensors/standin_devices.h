// The stand-in device libraries (tests/devices/standin) as a test drives
// them: a folder of device files named by ORVANA_STANDIN_DIR for the
// test's life, a loader that finds only the stand-ins, and the stand-ins'
// own counters.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "devlib/device_library_loader.h"
#include "tests/sensors/test_dirs.h"

namespace orvana::sensors::testing {

class StandinDevices {
  public:
    StandinDevices() { ::setenv("ORVANA_STANDIN_DIR", dir_.path().c_str(), 1); }
    ~StandinDevices() { ::unsetenv("ORVANA_STANDIN_DIR"); }

    const std::string& dir() const { return dir_.path(); }

    // Plugs in (or changes) the meter `name` ("meter0", ...) with a reading.
    void meter(const std::string& name, double temp, double humid) {
        write(name, std::to_string(temp) + " " + std::to_string(humid) + "\n");
    }
    // Plugs in (or changes) the counter `name` ("counter0", ...).
    void counter(const std::string& name, long count) { write(name, std::to_string(count) + "\n"); }
    // The device stays plugged in but its readings fail.
    void failing(const std::string& name) { write(name, "fail\n"); }
    // The device stays plugged in and does not answer: a read waits until
    // the device is given a reading again (or is unplugged).
    void hanging(const std::string& name) { write(name, "hang\n"); }
    void unplug(const std::string& name) {
        std::error_code ec;
        std::filesystem::remove(dir_.file(name), ec);
    }
    std::string path(const std::string& name) const { return dir_.file(name); }

    // A loader that finds the stand-ins and nothing else.
    static std::unique_ptr<DeviceLibraryLoader> loader() {
        return std::make_unique<FolderLibraryLoader>(
            std::vector<std::string>{ORVANA_STANDIN_LIB_DIR}, false);
    }

    // The counters of one stand-in library ("libkelvaro.so" or
    // "libruvasko.so"): the same loaded copy the monitor uses.
    class Counters {
      public:
        explicit Counters(const char* file) {
            std::string error;
            lib_ = DeviceLibrary::load({std::string(ORVANA_STANDIN_LIB_DIR) + "/" + file}, error);
            EXPECT_TRUE(lib_) << error;
        }
        int liveStrings() const { return call("standin_live_strings"); }
        int findCalls() const { return call("standin_find_calls"); }
        int readCalls() const { return call("standin_read_calls"); }
        int hangingReads() const { return call("standin_hanging_reads"); }

      private:
        int call(const char* name) const {
            auto* fn = lib_ ? lib_->function<int()>(name) : nullptr;
            return fn ? fn() : -1;
        }
        std::unique_ptr<DeviceLibrary> lib_;
    };

  private:
    void write(const std::string& name, const std::string& text) {
        // Written beside and renamed, so a reader never sees half a file.
        const std::string tmp = dir_.file("." + name + ".tmp");
        {
            std::ofstream out(tmp);
            out << text;
        }
        std::filesystem::rename(tmp, dir_.file(name));
    }

    orvana::testing::TempDir dir_;
};

}  // namespace orvana::sensors::testing
