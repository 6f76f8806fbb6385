#include "devlib/device_library.h"

#include <dlfcn.h>

namespace orvana {

std::unique_ptr<DeviceLibrary> DeviceLibrary::load(const std::vector<std::string>& candidates,
                                                   std::string& error) {
    error.clear();
    for (const std::string& file : candidates) {
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) {
            return std::unique_ptr<DeviceLibrary>(new DeviceLibrary(handle, file));
        }
        const char* why = dlerror();
        if (!error.empty()) {
            error += "; ";
        }
        error += why != nullptr ? why : file + ": not loaded";
    }
    return nullptr;
}

void DeviceLibrary::Closer::operator()(void* handle) const {
    dlclose(handle);
}

void* DeviceLibrary::symbol(const char* name) const {
    return dlsym(handle_.get(), name);
}

}  // namespace orvana
