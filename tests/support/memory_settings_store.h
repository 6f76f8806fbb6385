// A settings store in memory, for tests.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <variant>

#include "core/settings_store.h"

namespace orvana::testing {

class MemorySettingsStore final : public SettingsStore {
  public:
    int getInt(const std::string& section, const std::string& key, int def) const override;
    std::string getString(const std::string& section, const std::string& key,
                          const std::string& def) const override;
    void writeInt(const std::string& section, const std::string& key, int value) override;
    void writeString(const std::string& section, const std::string& key,
                     const std::string& value) override;
    bool contains(const std::string& section, const std::string& key) const override;
    bool sync() override {
        ++syncs;
        return true;
    }
    // Number of write calls so far, for "nothing was written" checks.
    int writes() const;
    int syncs = 0;

  private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> values_;
    int writes_ = 0;
};

}  // namespace orvana::testing
