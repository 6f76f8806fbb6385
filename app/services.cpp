#include "app/services.h"

#include <stdexcept>

namespace orvana {

void requireFacilities(const Services& s) {
    std::string missing;
    auto need = [&missing](bool present, const char* name) {
        if (!present)
            missing += std::string(missing.empty() ? "" : ", ") + name;
    };
    need(s.clock != nullptr, "clock");
    need(s.store != nullptr, "store");
    need(s.prompt || s.makePrompt, "prompt");
    need(s.power != nullptr, "power");
    need(s.shutdown != nullptr, "shutdown");
    need(s.inhibitor != nullptr, "inhibitor");
    need(s.fileTimes != nullptr, "fileTimes");
    need(s.smtp != nullptr, "smtp");
    need(static_cast<bool>(s.newSmtpClient), "newSmtpClient");
    need(s.http != nullptr, "http");
    need(s.network != nullptr, "network");
    if (!missing.empty())
        throw std::invalid_argument("missing facilities: " + missing);
}

}  // namespace orvana
