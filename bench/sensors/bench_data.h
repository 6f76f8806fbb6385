// What the sensor benchmarks share: a scratch folder for the files they
// write, and readings that vary like a meter's without a random generator,
// so every run measures the same data. One thread (the benchmark's).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace orvana::bench {

// A private folder under the temporary folder, made on first use and
// removed with its content when the process ends. Aborts when none can be
// made: no figure is worth anything then.
inline const std::string& benchDir() {
    struct Folder {
        std::string path;
        Folder() {
            std::string tmpl =
                (std::filesystem::temp_directory_path() / "orvana-bench-XXXXXX").string();
            if (!::mkdtemp(tmpl.data()))
                std::abort();
            path = tmpl;
        }
        ~Folder() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder folder;
    return folder.path;
}

// A value within base ± spread for record i, with the few decimals a meter
// gives.
inline double sample(int i, double base, double spread) {
    const unsigned h = static_cast<unsigned>(i) * 2654435761u;
    return base + static_cast<int>(h % 2001 - 1000) * spread / 1000.0;
}

}  // namespace orvana::bench
