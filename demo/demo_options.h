// The command-line options of the demo: `--demo` switches it on, `--smtp
// host:port` sends its notices to that server instead of into the Maildir
// folder, `--time-scale N` hurries its schedule (demo_schedule.h; tests, a
// quick look). Pure; any thread.
#pragma once

#include <string>

namespace orvana::demo {

struct DemoOptions {
    bool enabled = false;    // --demo
    std::string smtp;        // --smtp host:port; empty: the Maildir folder
    double timeScale = 1.0;  // --time-scale N, 1 <= N <= kMaxTimeScale

    static constexpr double kMaxTimeScale = 100.0;

    // Takes the demo option at argv[i] (and its value from argv[i + 1]).
    // Returns the number of arguments used (1 or 2), 0 when argv[i] is not a
    // demo option, and -1 with `error` set when its value is missing or
    // invalid. "--smtp=host:port" and "--time-scale=N" are accepted too.
    int take(int argc, char** argv, int i, std::string& error);

    // After all arguments were taken: false with `error` set when --smtp or
    // --time-scale was given without --demo.
    bool complete(std::string& error) const;

    bool smtpGiven = false;
    bool timeScaleGiven = false;
};

// The lines of --help that describe the demo.
const char* demoHelpText();

}  // namespace orvana::demo
