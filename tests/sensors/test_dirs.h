// Scoped process state for the sensor tests: a temporary folder, the time
// zone and the current folder, each restored when the test ends; and whole
// files read and written byte for byte.
#pragma once

#include <unistd.h>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace orvana::testing {

class TempDir {
  public:
    TempDir() {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "orvana-sensors-XXXXXX").string();
        if (char* p = ::mkdtemp(tmpl.data()))
            path_ = p;
        EXPECT_FALSE(path_.empty());
    }
    ~TempDir() {
        std::error_code ec;
        // Undo read-only modes set by a test before removing.
        for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

class ScopedTz {
  public:
    explicit ScopedTz(const char* tz) {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTz() {
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

  private:
    std::optional<std::string> old_;
};

class ScopedCwd {
  public:
    explicit ScopedCwd(const std::string& dir) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~ScopedCwd() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
    }

  private:
    std::filesystem::path old_;
};

// The whole file's bytes; "" when it cannot be read.
inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Replaces the file's content with exactly these bytes.
inline void spit(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

}  // namespace orvana::testing
