// Loads a device library by file name and looks functions up by plain name,
// the way the program binds them. One per test, so each test starts with a
// freshly loaded library.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace orvana::test {

class LoadedLibrary {
  public:
    explicit LoadedLibrary(const char* file) : handle_(dlopen(file, RTLD_NOW | RTLD_LOCAL)) {
        if (handle_ == nullptr) {
            const char* why = dlerror();
            ADD_FAILURE() << "cannot load " << file << ": " << (why ? why : "?");
        }
    }
    bool loaded() const { return handle_ != nullptr; }

    void* raw(const char* name) const { return handle_ ? dlsym(handle_.get(), name) : nullptr; }

    template <typename Function>
    Function* fn(const char* name) const {
        auto* f = reinterpret_cast<Function*>(raw(name));
        if (f == nullptr) {
            ADD_FAILURE() << "missing export " << name;
        }
        return f;
    }

  private:
    struct Closer {
        void operator()(void* handle) const { dlclose(handle); }
    };
    std::unique_ptr<void, Closer> handle_;
};

}  // namespace orvana::test
