// A monitor's own settings section as a list of keys bound to members: read
// in one go at opening and written in the list's order at closing. Integers,
// flags and list indexes are stored as integers; real numbers as text
// written like printf's "%g" (six significant digits), independent of the
// user's locale so a section reads back the same under every locale.
//
// Threads: UI thread; the bound members belong to the monitor that owns the
// binding and must outlive it.
#pragma once

#include <string>
#include <vector>

#include "core/settings_store.h"

namespace orvana::sensors {

// "%g" of v, without the locale's decimal separator.
std::string formatG(double v);

// The number at the start of s (leading blanks allowed), or `def` when s
// holds none.
double parseDouble(const std::string& s, double def);

class SettingsBinding {
  public:
    // Adds a key; the order of the calls is the order of writing.
    void bindInt(const char* key, int* member, int def);
    void bindDouble(const char* key, double* member, double def);

    // Every member from the store; a missing key, or a real number whose
    // text holds no number, gives the member its default.
    void load(const SettingsStore& store, const std::string& section) const;
    // Every key in binding order.
    void save(SettingsStore& store, const std::string& section) const;
    // Every member back to its default.
    void reset() const;

    // The keys in writing order (for tests and the documentation).
    std::vector<std::string> keys() const;

  private:
    struct Key {
        const char* name;
        int* i;
        double* d;
        int defInt;
        double defDouble;
    };
    std::vector<Key> keys_;
};

}  // namespace orvana::sensors
