#include <filesystem>
#include <fstream>
#include <system_error>

#include "mail/network_state.h"

namespace orvana {
namespace {

std::string readFirstLine(const std::filesystem::path& p) {
    std::ifstream f(p);
    std::string line;
    std::getline(f, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

unsigned long parseFlags(const std::string& s) {
    try {
        return std::stoul(s, nullptr, 0);
    } catch (...) {
        return 0;
    }
}

class SysfsNetworkState final : public NetworkState {
  public:
    explicit SysfsNetworkState(std::string root) : root_(std::move(root)) {}

    bool isConnected() override {
        constexpr unsigned long kIffUp = 0x1, kIffLoopback = 0x8;
        std::error_code ec;
        std::filesystem::directory_iterator it(std::filesystem::path(root_) / "class" / "net", ec);
        if (ec)
            return false;
        // Interfaces come and go while we look: step without throwing, as
        // an exception here would end the sender thread.
        for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
            if (ec)
                return false;
            const auto dir = it->path();
            if (dir.filename() == "lo")
                continue;
            const unsigned long flags = parseFlags(readFirstLine(dir / "flags"));
            if (flags & kIffLoopback)
                continue;
            const std::string oper = readFirstLine(dir / "operstate");
            if (oper == "up")
                return true;
            if (oper == "unknown" && (flags & kIffUp))
                return true;
        }
        return false;
    }

  private:
    std::string root_;
};

}  // namespace

std::unique_ptr<NetworkState> makeSysfsNetworkState(const std::string& sysfsRoot) {
    return std::make_unique<SysfsNetworkState>(sysfsRoot);
}

}  // namespace orvana
