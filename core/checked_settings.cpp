#include "core/checked_settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace orvana {

bool parseInt(const std::string& text, int* value) {
    std::size_t i = 0;
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        i = 1;
    if (i == text.size())
        return false;
    for (std::size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9')
            return false;
    // Leading zeros add nothing; the digits after them must fit.
    while (i + 1 < text.size() && text[i] == '0')
        ++i;
    if (text.size() - i > 10)
        return false;
    long long v = 0;
    for (std::size_t k = i; k < text.size(); ++k)
        v = v * 10 + (text[k] - '0');
    if (text[0] == '-')
        v = -v;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return false;
    *value = static_cast<int>(v);
    return true;
}

bool parseReal(const std::string& text, double* value) {
    // Longer than any "%g" text by far; a megabyte of digits is no setting.
    if (text.size() > 64)
        return false;
    std::size_t begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    // from_chars takes "-" but not "+".
    if (begin < end && text[begin] == '+') {
        ++begin;
        if (begin < end && text[begin] == '-')
            return false;
    }
    if (begin == end)
        return false;
    // from_chars never looks at the locale, unlike strtod, which under a
    // locale with a decimal comma stops at the "." of "0.5".
    double v = 0.0;
    const auto r = std::from_chars(text.data() + begin, text.data() + end, v);
    if (r.ec != std::errc() || r.ptr != text.data() + end || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

CheckedSettings::CheckedSettings(const SettingsStore& store, std::string section)
    : store_(store), section_(std::move(section)) {}

bool CheckedSettings::has(const std::string& key) const {
    return store_.contains(section_, key);
}

void CheckedSettings::noteReset(const std::string& key) {
    const std::string name = section_ + "/" + key;
    if (std::find(reset_.begin(), reset_.end(), name) == reset_.end())
        reset_.push_back(name);
}

int CheckedSettings::integer(const std::string& key, int def, int min, int max) {
    if (!has(key))
        return def;
    int v = 0;
    if (parseInt(store_.getString(section_, key, ""), &v) && v >= min && v <= max)
        return v;
    noteReset(key);
    return def;
}

double CheckedSettings::real(const std::string& key, double def, double min, double max) {
    if (!has(key))
        return def;
    double v = 0.0;
    if (parseReal(store_.getString(section_, key, ""), &v) && v >= min && v <= max)
        return v;
    noteReset(key);
    return def;
}

std::string CheckedSettings::text(const std::string& key, const std::string& def,
                                  std::size_t maxLength) {
    if (!has(key))
        return def;
    std::string v = store_.getString(section_, key, def);
    if (v.size() <= maxLength)
        return v;
    noteReset(key);
    return def;
}

std::string ResetKeysLine(const std::vector<std::string>& keys) {
    if (keys.empty())
        return {};
    std::string line = "設定値が不正なため既定値に戻しました: ";
    for (std::size_t i = 0; i < keys.size(); ++i)
        line += (i ? ", " : "") + keys[i];
    return line;
}

}  // namespace orvana
