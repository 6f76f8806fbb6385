// Reading one settings section against the meaning of its values. A hand-
// edited or damaged store can hold anything: a value that is not a number,
// lies outside its range or is longer than allowed is replaced by its
// default, and its key is remembered, so the reader's owner can say once
// which keys were reset. A missing key is simply its default.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/settings_store.h"

namespace orvana {

// Longest texts the program accepts from its store: one address, subject or
// account name, and one path or option line.
inline constexpr std::size_t kMaxShortText = 1024;
inline constexpr std::size_t kMaxLongText = 4096;

class CheckedSettings {
  public:
    // Keeps a reference to store; reads `section`. Same thread as the store.
    CheckedSettings(const SettingsStore& store, std::string section);

    // The stored integer when it is one (decimal, optional sign) within
    // [min, max], else def (and the key is remembered unless it is missing).
    int integer(const std::string& key, int def, int min, int max);
    // 0 or 1.
    int flag(const std::string& key, int def) { return integer(key, def, 0, 1); }
    // A real number written with "%g" (see parseReal) within [min, max],
    // else def. Never a NaN or an infinity.
    double real(const std::string& key, double def, double min, double max);
    // The stored text when it has at most maxLength bytes, else def.
    std::string text(const std::string& key, const std::string& def, std::size_t maxLength);

    // True when `key` holds a value, whatever it is.
    bool has(const std::string& key) const;

    // The keys that were reset, as "section/key", in reading order, each once.
    const std::vector<std::string>& resetKeys() const { return reset_; }
    // Notes a key that the caller reset by a rule of its own.
    void noteReset(const std::string& key);

  private:
    const SettingsStore& store_;
    std::string section_;
    std::vector<std::string> reset_;
};

// Parses a whole decimal integer (optional sign, no other characters);
// false when it is not one or does not fit in an int. Pure.
bool parseInt(const std::string& text, int* value);

// Parses a whole real number with "." as its decimal point whatever the
// process locale is, as "%g" wrote it in the C locale: blanks around it and
// a leading sign allowed, nothing else. False for no number, trailing
// characters, NaN, an infinity or a value beyond the range of double. Pure.
bool parseReal(const std::string& text, double* value);

// The event-list line that names the reset keys, empty when there are none:
// "設定値が不正なため既定値に戻しました: Setting/HOUR_TK, ...". Pure.
std::string ResetKeysLine(const std::vector<std::string>& keys);

}  // namespace orvana
