#include "sensors/sensor_settings.h"

#include <charconv>
#include <cstdlib>

namespace orvana::sensors {

std::string formatG(double v) {
    char buf[48];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return std::string(buf, r.ptr);
}

double parseDouble(const std::string& s, double def) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    if (i < s.size() && s[i] == '+')
        ++i;
    double v = 0.0;
    const auto r = std::from_chars(s.data() + i, s.data() + s.size(), v);
    if (r.ec == std::errc::result_out_of_range)
        return std::strtod(s.c_str() + i, nullptr);
    return r.ec == std::errc() ? v : def;
}

void SettingsBinding::bindInt(const char* key, int* member, int def) {
    keys_.push_back({key, member, nullptr, def, 0.0});
    *member = def;
}

void SettingsBinding::bindDouble(const char* key, double* member, double def) {
    keys_.push_back({key, nullptr, member, 0, def});
    *member = def;
}

void SettingsBinding::load(const SettingsStore& store, const std::string& section) const {
    for (const Key& k : keys_) {
        if (k.i) {
            *k.i = store.getInt(section, k.name, k.defInt);
        } else {
            const std::string text = store.getString(section, k.name, std::string());
            *k.d = parseDouble(text, k.defDouble);
        }
    }
}

void SettingsBinding::save(SettingsStore& store, const std::string& section) const {
    for (const Key& k : keys_) {
        if (k.i)
            store.writeInt(section, k.name, *k.i);
        else
            store.writeString(section, k.name, formatG(*k.d));
    }
}

void SettingsBinding::reset() const {
    for (const Key& k : keys_) {
        if (k.i)
            *k.i = k.defInt;
        else
            *k.d = k.defDouble;
    }
}

std::vector<std::string> SettingsBinding::keys() const {
    std::vector<std::string> out;
    for (const Key& k : keys_)
        out.emplace_back(k.name);
    return out;
}

}  // namespace orvana::sensors
