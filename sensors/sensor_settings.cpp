#include "sensors/sensor_settings.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cstring>

#include "core/checked_settings.h"
#include "sensors/sensor_records.h"

namespace orvana::sensors {

static_assert(kLongAverageCount == static_cast<int>(TimeMaL.size()) &&
              kLongAverageCount == static_cast<int>(TimeMaM.size()) &&
              kShortAverageCount == static_cast<int>(TimeMaS.size()));

std::string formatG(double v) {
    char buf[48];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return std::string(buf, r.ptr);
}

OwlAxisFault OwlAxisCheck(double ymin, double ymax, double ystep) {
    if (ymin > ymax)
        return OwlAxisFault::Range;
    if (!(ystep > 0))
        return OwlAxisFault::StepNotPositive;
    if ((ymax - ymin) / ystep > kOwlMaxSteps)
        return OwlAxisFault::TooManySteps;
    return OwlAxisFault::None;
}

void SettingsBinding::bindInt(const char* key, int* member, int def, int min, int max) {
    keys_.push_back({key, member, nullptr, def, min, max, 0.0, kAnyReal});
    *member = def;
}

void SettingsBinding::bindDouble(const char* key, double* member, double def, RealRange range) {
    keys_.push_back({key, nullptr, member, 0, 0, 0, def, range});
    *member = def;
}

void SettingsBinding::bindRule(std::function<bool()> holds,
                               std::initializer_list<const char*> keys) {
    Rule rule{std::move(holds), {}};
    for (const char* name : keys) {
        const auto it = std::find_if(keys_.begin(), keys_.end(), [name](const Key& k) {
            return std::strcmp(k.name, name) == 0;
        });
        assert(it != keys_.end() && "a rule over a key that is not bound");
        if (it != keys_.end())
            rule.keys.push_back(static_cast<std::size_t>(it - keys_.begin()));
    }
    rules_.push_back(std::move(rule));
}

void SettingsBinding::resetKey(const Key& k) const {
    if (k.i)
        *k.i = k.defInt;
    else
        *k.d = k.defDouble;
}

std::vector<std::string> SettingsBinding::load(const SettingsStore& store,
                                               const std::string& section) const {
    CheckedSettings in(store, section);
    for (const Key& k : keys_) {
        if (k.i)
            *k.i = in.integer(k.name, k.defInt, k.minInt, k.maxInt);
        else
            *k.d = in.real(k.name, k.defDouble, k.range.min, k.range.max);
    }
    for (const Rule& rule : rules_) {
        if (rule.holds())
            continue;
        for (const std::size_t i : rule.keys) {
            const Key& k = keys_[i];
            const bool changes = k.i ? *k.i != k.defInt : *k.d != k.defDouble;
            if (changes && in.has(k.name))
                in.noteReset(k.name);
            resetKey(k);
        }
    }
    return in.resetKeys();
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
    for (const Key& k : keys_)
        resetKey(k);
}

std::vector<std::string> SettingsBinding::keys() const {
    std::vector<std::string> out;
    for (const Key& k : keys_)
        out.emplace_back(k.name);
    return out;
}

}  // namespace orvana::sensors
