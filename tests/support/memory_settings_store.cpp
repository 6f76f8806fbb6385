#include "tests/support/memory_settings_store.h"

#include <cstdlib>

namespace orvana::testing {

int MemorySettingsStore::getInt(const std::string& section, const std::string& key, int def) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(section + "/" + key);
    if (it == values_.end())
        return def;
    char* end = nullptr;
    long v = std::strtol(it->second.c_str(), &end, 10);
    return (end && *end == '\0' && !it->second.empty()) ? static_cast<int>(v) : def;
}

std::string MemorySettingsStore::getString(const std::string& section, const std::string& key,
                                           const std::string& def) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(section + "/" + key);
    return it == values_.end() ? def : it->second;
}

void MemorySettingsStore::writeInt(const std::string& section, const std::string& key, int value) {
    std::lock_guard lock(mutex_);
    values_[section + "/" + key] = std::to_string(value);
    ++writes_;
}

void MemorySettingsStore::writeString(const std::string& section, const std::string& key,
                                      const std::string& value) {
    std::lock_guard lock(mutex_);
    values_[section + "/" + key] = value;
    ++writes_;
}

bool MemorySettingsStore::contains(const std::string& section, const std::string& key) const {
    std::lock_guard lock(mutex_);
    return values_.count(section + "/" + key) != 0;
}

int MemorySettingsStore::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

}  // namespace orvana::testing
