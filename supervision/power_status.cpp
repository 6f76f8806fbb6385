#include "supervision/power_status.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

namespace orvana {
namespace {

namespace fs = std::filesystem;

// First line of a sysfs attribute without surrounding white space, or
// nothing when it cannot be read.
std::optional<std::string> readAttr(const fs::path& dir, const char* name) {
    std::ifstream in(dir / name);
    if (!in)
        return std::nullopt;
    std::string line;
    std::getline(in, line);
    if (in.bad())
        return std::nullopt;
    const auto b = line.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    const auto e = line.find_last_not_of(" \t\r\n");
    return line.substr(b, e - b + 1);
}

std::optional<int> readIntAttr(const fs::path& dir, const char* name) {
    auto v = readAttr(dir, name);
    if (!v || v->empty())
        return std::nullopt;
    try {
        std::size_t used = 0;
        int n = std::stoi(*v, &used);
        if (used != v->size())
            return std::nullopt;
        return n;
    } catch (...) {
        return std::nullopt;
    }
}

class SysfsPowerSource final : public PowerSource {
  public:
    explicit SysfsPowerSource(std::string root) : root_(std::move(root)) {}
    PowerStatus read() override { return readSysfsPowerStatus(root_); }

  private:
    std::string root_;
};

}  // namespace

PowerStatus readSysfsPowerStatus(const std::string& sysfsRoot) {
    PowerStatus st;
    const fs::path base = fs::path(sysfsRoot) / "class" / "power_supply";
    bool mainsSeen = false, mainsOnline = false, discharging = false;
    int capacitySum = 0, capacityCount = 0;

    std::error_code ec;
    fs::directory_iterator it(base, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path dir = it->path();
        std::error_code dec;
        if (!fs::is_directory(dir, dec))
            continue;  // follows the sysfs symlinks
        const auto type = readAttr(dir, "type");
        if (!type)
            continue;
        if (*type == "Mains") {
            mainsSeen = true;
            if (readIntAttr(dir, "online").value_or(0) == 1)
                mainsOnline = true;
        } else if (*type == "Battery") {
            if (readAttr(dir, "scope").value_or("") == "Device")
                continue;
            if (readIntAttr(dir, "present").value_or(1) == 0)
                continue;
            st.batteryPresent = true;
            if (readAttr(dir, "status").value_or("") == "Discharging")
                discharging = true;
            if (auto cap = readIntAttr(dir, "capacity")) {
                int c = *cap < 0 ? 0 : (*cap > 100 ? 100 : *cap);
                capacitySum += c;
                ++capacityCount;
            }
        }
    }

    if (mainsSeen) {
        st.acLineStatus = mainsOnline ? 1 : 0;
    } else {
        st.acLineStatus = discharging ? 0 : 1;
    }
    st.batteryLifePercent = capacityCount > 0 ? capacitySum / capacityCount : 255;
    return st;
}

std::unique_ptr<PowerSource> makeSysfsPowerSource(const std::string& sysfsRoot) {
    return std::make_unique<SysfsPowerSource>(sysfsRoot);
}

}  // namespace orvana
