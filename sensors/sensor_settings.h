// A monitor's own settings section as a list of keys bound to members: read
// in one go at opening and written in the list's order at closing. Integers,
// flags and list indexes are stored as integers; real numbers as text
// written like printf's "%g" (six significant digits), independent of the
// user's locale so a section reads back the same under every locale.
//
// Every key is bound with what it may hold: a flag 0 or 1, an index within
// its list, a real number within the range its settings dialog accepts.
// The ranges below are the one table both the loading and the dialogs use,
// so what a dialog refuses is never taken from the store either.
//
// Threads: UI thread; the bound members belong to the monitor that owns the
// binding and must outlive it.
#pragma once

#include <functional>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "core/settings_store.h"

namespace orvana::sensors {

// "%g" of v, without the locale's decimal separator.
std::string formatG(double v);

// A closed range of a real setting. Pure.
struct RealRange {
    double min;
    double max;
    constexpr bool contains(double v) const { return v >= min && v <= max; }
};

// Any finite number.
inline constexpr RealRange kAnyReal{std::numeric_limits<double>::lowest(),
                                    std::numeric_limits<double>::max()};

// The lengths of the lists the indexes select from: the graph spans
// (TimeSpanL "1日".."30日", TimeSpanS "1H".."24H") and the averaging windows
// (TimeMaL and TimeMaM "1分計".."24時間平均", TimeMaS "1分計".."60分平均").
inline constexpr int kLongSpanCount = 6;
inline constexpr int kShortSpanCount = 5;
inline constexpr int kLongAverageCount = 9;
inline constexpr int kShortAverageCount = 5;

// What the temperature/humidity dialog accepts, field by field.
struct TempRanges {
    RealRange TempMin{-273, 1000};
    RealRange TempDiv{0.1, 100};
    RealRange TempWarnHi{-273, 200};
    RealRange TempWarnLo{-273, 200};
    RealRange TempHist{0.1, 100};
    RealRange HumidMin{0, 100};
    RealRange HumidDiv{0.01, 100};
    RealRange HumidWarnHi{0, 100};
    RealRange HumidWarnLo{0, 100};
    RealRange HumidHist{0.1, 100};
};
inline constexpr TempRanges kTempRanges{};

// What the radiation dialog accepts.
struct GeigerRanges {
    RealRange CpmMin{0, 1000};
    RealRange CpmDiv{0.1, 1000};
    RealRange CpmWarnHi{0, 1000};
    RealRange CpmHist{0.1, 200};
};
inline constexpr GeigerRanges kGeigerRanges{};
// "bCpmWarnHi" is on when not 0; the program writes 0, 1 or keeps the
// default 100, so nothing above 100 is a value it ever had.
inline constexpr int kCpmWarnOnMax = 100;

// What the power dialog accepts: any price and any alarm limit; a step above
// 0 (the smallest positive double is the closed range's bottom); a
// hysteresis not below 0. The axis as a whole obeys OwlAxisCheck.
struct OwlRanges {
    RealRange CostPerKW = kAnyReal;
    RealRange Ymin = kAnyReal;
    RealRange Ymax = kAnyReal;
    RealRange Ystep{std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::max()};
    RealRange WarnLoTh = kAnyReal;
    RealRange WarnHiTh = kAnyReal;
    RealRange WarnHiste{0, std::numeric_limits<double>::max()};
};
inline constexpr OwlRanges kOwlRanges{};

// The power graph's manual axis, checked in the dialog's order: the range
// (Ymin not above Ymax), the step's sign, at most kOwlMaxSteps steps. Pure.
enum class OwlAxisFault { None, Range, StepNotPositive, TooManySteps };
inline constexpr double kOwlMaxSteps = 1000;
OwlAxisFault OwlAxisCheck(double ymin, double ymax, double ystep);

class SettingsBinding {
  public:
    // Adds a key; the order of the calls is the order of writing. Each
    // member is set to its default at once.
    // An integer within [min, max].
    void bindInt(const char* key, int* member, int def, int min, int max);
    // 0 or 1.
    void bindFlag(const char* key, int* member, int def) { bindInt(key, member, def, 0, 1); }
    // An index into a list of `count` items: 0 .. count - 1.
    void bindIndex(const char* key, int* member, int def, int count) {
        bindInt(key, member, def, 0, count - 1);
    }
    // A real number within `range`, never NaN or infinite.
    void bindDouble(const char* key, double* member, double def, RealRange range);

    // A rule over several bound keys, checked after each key has been read
    // against its own range: when `holds` is false, every key of `keys`
    // goes back to its default, and each that was stored with another value
    // counts as reset. The keys must be bound already.
    void bindRule(std::function<bool()> holds, std::initializer_list<const char*> keys);

    // Every member from the store. A missing key gives its default; a value
    // outside its meaning (no number, out of range, a broken rule) gives the
    // default too, and its key is returned as "section/key", each once: the
    // keys in binding order, then those of broken rules.
    std::vector<std::string> load(const SettingsStore& store, const std::string& section) const;
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
        int minInt, maxInt;
        double defDouble;
        RealRange range;
    };
    struct Rule {
        std::function<bool()> holds;
        std::vector<std::size_t> keys;  // indexes into keys_
    };
    void resetKey(const Key& k) const;

    std::vector<Key> keys_;
    std::vector<Rule> rules_;
};

}  // namespace orvana::sensors
