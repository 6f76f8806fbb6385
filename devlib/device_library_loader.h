// Where the device libraries come from: the platform facility through which
// a monitor binds "libkelvaro.so" or "libruvasko.so" by file name. The
// program puts the production loader into its backends (app/platform.cpp);
// tests put a loader that looks only in the folders they name (the built
// libraries over the simulated HID device, or the stand-in libraries).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "devlib/device_library.h"

namespace orvana {

class DeviceLibraryLoader {
  public:
    virtual ~DeviceLibraryLoader() = default;

    // Loads the library with this bare file name (for example
    // "libkelvaro.so"). Returns null, with the loader's messages in `error`,
    // when it cannot be loaded; the caller owns the result. Loading the same
    // file twice gives two objects over the one loaded copy. UI thread.
    virtual std::unique_ptr<DeviceLibrary> load(const std::string& file, std::string& error) = 0;
};

// Looks for the file in each folder of `folders` in turn and then, when
// `systemSearch` is set, gives the bare name to the dynamic loader (which
// searches LD_LIBRARY_PATH, the program's RUNPATH and the system folders).
class FolderLibraryLoader final : public DeviceLibraryLoader {
  public:
    FolderLibraryLoader(std::vector<std::string> folders, bool systemSearch)
        : folders_(std::move(folders)), systemSearch_(systemSearch) {}

    std::unique_ptr<DeviceLibrary> load(const std::string& file, std::string& error) override;

    // The candidate files tried for `file`, in order.
    std::vector<std::string> candidates(const std::string& file) const;

  private:
    std::vector<std::string> folders_;
    bool systemSearch_;
};

// The folder of the program's own libraries: <folder of the executable>/
// ../lib/orvana, where the package installs them. Empty when the
// executable's path is unknown.
std::string programLibraryFolder();

// The program's loader: beside the program's libraries first, then the
// system's search path. Never null.
std::unique_ptr<DeviceLibraryLoader> makeProgramLibraryLoader();

}  // namespace orvana
