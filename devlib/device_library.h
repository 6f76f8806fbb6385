// A device library bound at run time by file name, with its functions looked
// up by plain name: the one loader of the program, orvana-probe and the
// tests. The library stays loaded while the object lives. Not thread-safe;
// used from one thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace orvana {

class DeviceLibrary {
  public:
    // Tries each candidate file in turn (a bare name goes through the dynamic
    // loader's search; a path is used as it is). Returns nullptr and fills
    // `error` with the loader's messages when none loads.
    static std::unique_ptr<DeviceLibrary> load(const std::vector<std::string>& candidates,
                                               std::string& error);

    // nullptr when the library has no such export.
    void* symbol(const char* name) const;

    template <typename Function>
    Function* function(const char* name) const {
        return reinterpret_cast<Function*>(symbol(name));
    }

    const std::string& file() const { return file_; }

  private:
    struct Closer {
        void operator()(void* handle) const;
    };

    DeviceLibrary(void* handle, std::string file) : handle_(handle), file_(std::move(file)) {}

    std::unique_ptr<void, Closer> handle_;
    std::string file_;
};

}  // namespace orvana
