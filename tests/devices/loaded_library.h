// A device library loaded for one test through the program's own loader
// (devlib), with a test failure for a library or export that is missing. One
// per test, so each test starts with a freshly loaded library.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devlib/device_library.h"

namespace orvana::test {

class LoadedLibrary {
  public:
    explicit LoadedLibrary(const char* file) {
        std::string error;
        lib_ = DeviceLibrary::load({file}, error);
        if (!lib_)
            ADD_FAILURE() << "cannot load " << file << ": " << error;
    }
    bool loaded() const { return lib_ != nullptr; }

    void* raw(const char* name) const { return lib_ ? lib_->symbol(name) : nullptr; }

    template <typename Function>
    Function* fn(const char* name) const {
        auto* f = reinterpret_cast<Function*>(raw(name));
        if (f == nullptr)
            ADD_FAILURE() << "missing export " << name;
        return f;
    }

  private:
    std::unique_ptr<DeviceLibrary> lib_;
};

}  // namespace orvana::test
