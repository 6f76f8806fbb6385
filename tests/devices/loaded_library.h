// Loads a device library by file name and looks functions up by plain name,
// the way the program binds them. One per test, so each test starts with a
// freshly loaded library.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

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
    ~LoadedLibrary() {
        if (handle_ != nullptr) {
            dlclose(handle_);
        }
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }

    void* raw(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

    template <typename Function>
    Function* fn(const char* name) const {
        auto* f = reinterpret_cast<Function*>(raw(name));
        if (f == nullptr) {
            ADD_FAILURE() << "missing export " << name;
        }
        return f;
    }

  private:
    void* handle_;
};

}  // namespace orvana::test
