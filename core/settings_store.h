// The per-user settings store: sections of integer and text values.
#pragma once

#include <memory>
#include <string>

namespace orvana {

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // The stored integer, or def when the key is missing or not a number.
    // Any thread (implementations serialise access).
    virtual int getInt(const std::string& section, const std::string& key, int def) const = 0;
    // The stored text (UTF-8), or def when the key is missing.
    virtual std::string getString(const std::string& section, const std::string& key,
                                  const std::string& def) const = 0;
    virtual void writeInt(const std::string& section, const std::string& key, int value) = 0;
    virtual void writeString(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
    virtual bool contains(const std::string& section, const std::string& key) const = 0;
    // Pushes written values to permanent storage. Returns false when that
    // failed (the values stay in memory and are written again next time).
    virtual bool sync() = 0;
};

// The production store on QSettings. With an empty iniPath it is the per-user
// store of company "Quellor" and application "orvana" (on Linux the INI file
// ~/.config/Quellor/orvana.conf); otherwise that INI file. The file holds a
// password, so it is created readable and writable by its owner only.
// Never null; a store that cannot be written keeps values in memory.
std::unique_ptr<SettingsStore> makeQtSettingsStore(const std::string& iniPath);

// The file the store of makeQtSettingsStore(iniPath) writes to.
std::string settingsFilePath(const std::string& iniPath);

}  // namespace orvana
