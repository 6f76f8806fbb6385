#include "demo/demo_options.h"

#include <cmath>
#include <cstdlib>

namespace orvana::demo {
namespace {

// "--name value" or "--name=value": the value and how many arguments it took.
bool valueOf(const std::string& name, int argc, char** argv, int i, std::string& value, int& used) {
    const std::string a = argv[i];
    if (a == name) {
        if (i + 1 >= argc)
            return false;
        value = argv[i + 1];
        used = 2;
        return true;
    }
    value = a.substr(name.size() + 1);
    used = 1;
    return true;
}

bool named(const std::string& arg, const std::string& name) {
    return arg == name || arg.rfind(name + "=", 0) == 0;
}

// host:port with a host and a port 1..65535 (IPv6 in brackets).
bool validHostPort(const std::string& s) {
    const std::size_t colon = s.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == s.size())
        return false;
    const std::string host = s.substr(0, colon);
    if (host.find(':') != std::string::npos && (host.front() != '[' || host.back() != ']'))
        return false;
    for (unsigned char c : s)
        if (c <= 0x20 || c == 0x7F)
            return false;
    char* end = nullptr;
    const long port = std::strtol(s.c_str() + colon + 1, &end, 10);
    return *end == '\0' && port > 0 && port < 65536;
}

}  // namespace

int DemoOptions::take(int argc, char** argv, int i, std::string& error) {
    const std::string a = argv[i];
    if (a == "--demo") {
        enabled = true;
        return 1;
    }
    std::string value;
    int used = 0;
    if (named(a, "--smtp")) {
        if (!valueOf("--smtp", argc, argv, i, value, used) || !validHostPort(value)) {
            error = "--smtp needs host:port (for example localhost:2525)";
            return -1;
        }
        smtp = value;
        smtpGiven = true;
        return used;
    }
    if (named(a, "--time-scale")) {
        char* end = nullptr;
        double n = 0;
        if (valueOf("--time-scale", argc, argv, i, value, used) && !value.empty())
            n = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(n) || n < 1.0 || n > kMaxTimeScale) {
            error = "--time-scale needs a number from 1 to 100";
            return -1;
        }
        timeScale = n;
        timeScaleGiven = true;
        return used;
    }
    return 0;
}

bool DemoOptions::complete(std::string& error) const {
    if (!enabled && (smtpGiven || timeScaleGiven)) {
        error = std::string(smtpGiven ? "--smtp" : "--time-scale") + " is an option of --demo";
        return false;
    }
    return true;
}

const char* demoHelpText() {
    return "  --demo       show every monitor working on simulated devices: a sound\n"
           "               source with a loud burst every five minutes, test cameras,\n"
           "               a meter, a counter, a vendor database and a power supply\n"
           "               whose readings cross their limits now and then. Uses its own\n"
           "               settings and data folder in a new temporary folder (printed\n"
           "               at the start; your own settings are never touched) and\n"
           "               delivers every notice as a file into the Maildir folder\n"
           "               <data folder>/Maildir. It ignores the overrides below that\n"
           "               name devices, settings or mail\n"
           "  --smtp host:port\n"
           "               with --demo: send the notices to this SMTP server instead\n"
           "               (no login, no TLS)\n"
           "  --time-scale N\n"
           "               with --demo: bring the first alarms forward and make them\n"
           "               N times shorter (1-100; never too short for a monitor to\n"
           "               see them); the monitors keep their own timers\n";
}

}  // namespace orvana::demo
