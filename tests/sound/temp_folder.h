// A fresh folder per test process, so tests may run in parallel.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace orvana::sound::testing {

// temp/<name>_<pid>, emptied and created. The caller removes it.
inline std::filesystem::path freshFolder(const std::string& name) {
    const auto dir =
        std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace orvana::sound::testing
