// A settings store in memory, for tests.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

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

// A settings store in memory that also keeps the order of the writes, for
// the checks of a section's documented write order.
class OrderedSettingsStore final : public SettingsStore {
  public:
    int getInt(const std::string& s, const std::string& k, int d) const override {
        return mem.getInt(s, k, d);
    }
    std::string getString(const std::string& s, const std::string& k,
                          const std::string& d) const override {
        return mem.getString(s, k, d);
    }
    void writeInt(const std::string& s, const std::string& k, int v) override {
        written.push_back(s + "/" + k);
        mem.writeInt(s, k, v);
    }
    void writeString(const std::string& s, const std::string& k, const std::string& v) override {
        written.push_back(s + "/" + k);
        mem.writeString(s, k, v);
    }
    bool contains(const std::string& s, const std::string& k) const override {
        return mem.contains(s, k);
    }
    bool sync() override { return mem.sync(); }

    MemorySettingsStore mem;
    std::vector<std::string> written;  // "section/key" in writing order
};

}  // namespace orvana::testing
