// What every fuzz target shares: libFuzzer's entry points, a check that ends
// the run with a message (a crash to libFuzzer, a failure to the replay), a
// reader of inputs cut into fields, and a scratch folder for targets that
// need real files.
//
// A target defines LLVMFuzzerTestOneInput and, when it needs one-time set-up,
// LLVMFuzzerInitialize. Both run on one thread; nothing here locks.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace orvana::fuzz {

[[noreturn]] inline void fail(const char* file, int line, const char* what,
                              const std::string& detail) {
    std::fprintf(stderr, "%s:%d: broken promise: %s\n  %s\n", file, line, what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

// The detail is built only when the check fails.
#define FUZZ_CHECK(cond, detail)                                     \
    do {                                                             \
        if (!(cond))                                                 \
            ::orvana::fuzz::fail(__FILE__, __LINE__, #cond, detail); \
    } while (0)

// Bytes shown with C escapes, for failure messages.
inline std::string escaped(std::string_view s, std::size_t limit = 400) {
    std::string out;
    for (std::size_t i = 0; i < s.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    if (s.size() > limit)
        out += "...";
    return '"' + out + '"';
}

// The input cut at every `sep` byte; at most `max` fields, the last one
// keeping the rest of the input.
inline std::vector<std::string> splitInput(const std::uint8_t* data, std::size_t size, char sep,
                                           std::size_t max) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (static_cast<char>(data[i]) == sep && fields.size() < max)
            fields.emplace_back();
        else
            fields.back() += static_cast<char>(data[i]);
    }
    return fields;
}

// A private folder, in memory where the system has /dev/shm (the settings
// store syncs every file it writes, which a disk would make slow), removed
// with its content when the process ends normally. ORVANA_FUZZ_SCRATCH names
// the folder to make it in instead; scripts/fuzz gives each run one and
// removes it, also after a finding ended the run.
class ScratchDir {
  public:
    ScratchDir() {
        std::error_code ec;
        const char* given = std::getenv("ORVANA_FUZZ_SCRATCH");
        std::string base = given && *given ? given : "/dev/shm";
        if (::access(base.c_str(), W_OK) != 0)
            base = std::filesystem::temp_directory_path(ec).string();
        std::string pattern = base + "/orvana-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            fail(__FILE__, __LINE__, "mkdtemp", pattern);
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Removes everything inside, keeping the folder.
    void clear() const {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(path_, ec))
            std::filesystem::remove_all(e.path(), ec);
    }

  private:
    std::string path_;
};

// Sets a file's modification time to `seconds` after the epoch.
inline void stampFile(const std::string& path, long seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        fail(__FILE__, __LINE__, "utimensat", path);
}

inline void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        fail(__FILE__, __LINE__, "write", path);
}

inline bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace orvana::fuzz
