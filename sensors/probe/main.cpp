// orvana-probe: lists the temperature/humidity meters and Geiger counters the
// device libraries find and takes one reading of each. Exit code 0 when both
// libraries were loaded (with or without devices), 1 when one could not be
// loaded, 2 for a bad command line.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "devlib/device_library.h"

namespace {

using orvana::DeviceLibrary;

using FindUsbFn = char*(int*);
using GetVersFn = char*(const char*);
using FreeStringFn = void(char*);
using GetTempHumidFn = int(const char*, double*, double*);
using GetCountTimeFn = int(const char*, std::uint32_t*, std::uint32_t*);

// Stops the loop should a library ever fail to move its index forward.
constexpr int kMaxDevices = 256;

// The loader's own search first, then beside the tool, then the build tree.
std::vector<std::string> candidates(const std::string& file, const std::string& libDir,
                                    const char* buildDir) {
    if (!libDir.empty()) {
        return {(std::filesystem::path(libDir) / file).string()};
    }
    std::vector<std::string> list{file};
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        list.push_back((exe.parent_path() / file).string());
        list.push_back((exe.parent_path() / buildDir / file).lexically_normal().string());
    }
    return list;
}

// One system string of a library, released with that library's FreeString.
using LibString = std::unique_ptr<char, FreeStringFn*>;

std::string text(const LibString& s) {
    return s ? std::string(s.get()) : std::string();
}

struct Common {
    FindUsbFn* findUsb = nullptr;
    GetVersFn* getVers = nullptr;
    FreeStringFn* freeString = nullptr;
};

bool bindCommon(const DeviceLibrary& lib, Common& common) {
    common.findUsb = lib.function<FindUsbFn>("FindUSB");
    common.getVers = lib.function<GetVersFn>("GetVers");
    common.freeString = lib.function<FreeStringFn>("FreeString");
    return common.findUsb && common.getVers && common.freeString;
}

std::vector<std::string> findAll(const Common& common) {
    std::vector<std::string> paths;
    int index = 0;
    while (paths.size() < kMaxDevices) {
        const int before = index;
        const LibString path(common.findUsb(&index), common.freeString);
        std::string found = text(path);
        if (found.empty() || index <= before) {
            break;
        }
        paths.push_back(std::move(found));
    }
    return paths;
}

void printVersion(const Common& common, const std::string& path) {
    const LibString version(common.getVers(path.c_str()), common.freeString);
    const std::string shown = text(version);
    std::printf("  version: %s\n", shown.empty() ? "(not available)" : shown.c_str());
}

bool probeMeters(const std::string& libDir) {
    std::string error;
    const auto lib = DeviceLibrary::load(
        candidates("libkelvaro.so", libDir, ORVANA_PROBE_KELVARO_BUILD_DIR), error);
    if (!lib) {
        std::printf("error: cannot load libkelvaro.so: %s\n", error.c_str());
        return false;
    }
    Common common;
    auto* read = lib->function<GetTempHumidFn>("GetTempHumidTrue");
    if (!bindCommon(*lib, common) || read == nullptr) {
        std::printf("error: %s lacks the meter functions\n", lib->file().c_str());
        return false;
    }
    const std::vector<std::string> meters = findAll(common);
    if (meters.empty()) {
        std::printf("no meter found\n");
    }
    for (std::size_t i = 0; i < meters.size(); ++i) {
        std::printf("meter %zu: %s\n", i + 1, meters[i].c_str());
        printVersion(common, meters[i]);
        double temperature = 0;
        double humidity = 0;
        const int status = read(meters[i].c_str(), &temperature, &humidity);
        if (status == 0) {
            std::printf("  temperature: %.2f C, humidity: %.1f %%\n", temperature, humidity);
        } else {
            std::printf("  reading failed (%d)\n", status);
        }
    }
    return true;
}

bool probeCounters(const std::string& libDir) {
    std::string error;
    const auto lib = DeviceLibrary::load(
        candidates("libruvasko.so", libDir, ORVANA_PROBE_RUVASKO_BUILD_DIR), error);
    if (!lib) {
        std::printf("error: cannot load libruvasko.so: %s\n", error.c_str());
        return false;
    }
    Common common;
    auto* read = lib->function<GetCountTimeFn>("GetCountTime");
    if (!bindCommon(*lib, common) || read == nullptr) {
        std::printf("error: %s lacks the counter functions\n", lib->file().c_str());
        return false;
    }
    const std::vector<std::string> counters = findAll(common);
    if (counters.empty()) {
        std::printf("no counter found\n");
    }
    for (std::size_t i = 0; i < counters.size(); ++i) {
        std::printf("counter %zu: %s\n", i + 1, counters[i].c_str());
        printVersion(common, counters[i]);
        std::uint32_t count = 0;
        std::uint32_t time = 0;
        const int status = read(counters[i].c_str(), &count, &time);
        if (status == 0) {
            std::printf("  count: %u, time: %u\n", count, time);
        } else {
            std::printf("  reading failed (%d)\n", status);
        }
    }
    return true;
}

void usage() {
    std::printf(
        "usage: orvana-probe [--lib-dir DIR]\n"
        "Lists the temperature/humidity meters and Geiger counters and reads each once.\n"
        "  --lib-dir DIR  load libkelvaro.so and libruvasko.so from DIR only\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string libDir;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--lib-dir" && i + 1 < argc) {
            libDir = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            usage();
            return 2;
        }
    }
    const bool meters = probeMeters(libDir);
    const bool counters = probeCounters(libDir);
    std::fflush(stdout);
    return meters && counters ? 0 : 1;
}
