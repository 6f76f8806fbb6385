// The global settings through the real store: a settings file opened by the
// store, AppSettings loaded from it with every value checked against its
// meaning, saved, and loaded again. The input is the whole file; the zone is
// Asia/Tokyo.
//
// Promises:
//  - every loaded number lies in its range and every text within its
//    length; each recipient has an address and 0/1 flags, and there are at
//    most 1000; the reference times are today's; reset keys are named once;
//  - a "Setting" key on a plain line (ini_model.h) loads as its value when
//    that means something (a decimal in range, a text short enough), else as
//    its default and is then named; a key the file does not mention at all
//    takes its default;
//  - saved and loaded again the settings are the same, the saved file is
//    good, and nothing needs resetting any more.
//
// The ranges and defaults below are written down here from the settings'
// documentation, apart from the loader's own table.
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "core/app_settings.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/ini_model.h"

namespace {

using namespace orvana;
using fuzz::escaped;

fuzz::ScratchDir* scratch = nullptr;
unsigned long serial = 0;
TimeT now = 0;

// The data folder is created when the settings are loaded, so its key never
// reaches the loader from the input: it always names a folder in the
// scratch area.
class DataDirGuard final : public SettingsStore {
  public:
    DataDirGuard(SettingsStore& inner, std::string dataDir)
        : inner_(inner), dataDir_(std::move(dataDir)) {}
    int getInt(const std::string& s, const std::string& k, int def) const override {
        return isDataDir(s, k) ? def : inner_.getInt(s, k, def);
    }
    std::string getString(const std::string& s, const std::string& k,
                          const std::string& def) const override {
        return isDataDir(s, k) ? dataDir_ : inner_.getString(s, k, def);
    }
    void writeInt(const std::string& s, const std::string& k, int v) override {
        inner_.writeInt(s, k, v);
    }
    void writeString(const std::string& s, const std::string& k, const std::string& v) override {
        inner_.writeString(s, k, v);
    }
    bool contains(const std::string& s, const std::string& k) const override {
        return isDataDir(s, k) || inner_.contains(s, k);
    }
    bool sync() override { return inner_.sync(); }

  private:
    static bool isDataDir(const std::string& s, const std::string& k) {
        return s == "Setting" && k == "DATA_DIR";
    }
    SettingsStore& inner_;
    std::string dataDir_;
};

struct IntKey {
    const char* key;
    int AppSettings::*member;
    int def, min, max;
};

const std::vector<IntKey>& intKeys() {
    static const std::vector<IntKey> keys = [] {
        std::vector<IntKey> k = {
            {"WORKING", &AppSettings::working, 0, 0, 1},
            {"USE_VOLUME", &AppSettings::useVolume, 1, 0, 1},
            {"USE_CAMERA", &AppSettings::useCamera, 1, 0, 1},
            {"USE_POWER_DOWN", &AppSettings::usePowerDown, 1, 0, 1},
            {"USE_TEMPERATURE", &AppSettings::useTemperature, 1, 0, 1},
            {"USE_GEIGER", &AppSettings::useGeiger, 1, 0, 1},
            {"USE_OWL", &AppSettings::useOwl, 1, 0, 1},
            {"USE_QUELLOR_SMTP", &AppSettings::useQuellorSmtp, 0, 0, 1},
            {"PORTNUM", &AppSettings::portNum, 1, 0, 1},
            {"ENABLESSL", &AppSettings::enableSsl, 0, 0, 1},
            {"SEND_TESTMAIL1", &AppSettings::sendTestMail1, 1, INT_MIN, INT_MAX},
            {"SEND_TESTMAIL2", &AppSettings::sendTestMail2, 1, INT_MIN, INT_MAX},
            {"AUTOSHUTDOWN", &AppSettings::autoShutdown, 1, 0, 1},
            {"BATTERYLIMIT", &AppSettings::batteryLimit, 10, 0, 100},
            {"CHECK_TK", &AppSettings::checkTK, 1, 0, 1},
            {"HOUR_TK", &AppSettings::hourTK, 0, 0, 11},
            {"CHECK_RB", &AppSettings::checkRB, 0, 0, 1},
            {"WEEK_RB", &AppSettings::weekRB, 0, 0, 17},
            {"HOUR_KA", &AppSettings::hourKA, 0, 0, 12},
            {"CONV_3GP", &AppSettings::conv3gp, 0, 0, 1},
            {"ATTACH_GIP", &AppSettings::attachGip, 0, 0, 1},
            {"DATA_KEEP_PERIOD", &AppSettings::dataKeepPeriod, 6, 0, 11},
        };
        return k;
    }();
    return keys;
}

struct TextKey {
    const char* key;
    std::string AppSettings::*member;
    std::string def;
    std::size_t max;
};

const std::vector<TextKey>& textKeys() {
    static const std::vector<TextKey> keys = {
        {"SMTP", &AppSettings::smtp, "", 1024},
        {"USERNAME", &AppSettings::userName, "", 1024},
        {"PASSWORD", &AppSettings::password, "", 1024},
        {"FROM", &AppSettings::from, "", 1024},
        {"SUBJECT", &AppSettings::subject, "orvana", 1024},
        {"TO_KA", &AppSettings::toKA, defaultKeepAliveAddress(), 1024},
        {"FFMPEG_PATH", &AppSettings::ffmpegPath, "", 4096},
        {"FFMPEG_OPTION", &AppSettings::ffmpegOption,
         "-strict experimental -y -vcodec mpeg4 -acodec aac -f 3gp -ar 16000", 4096},
    };
    return keys;
}

// The reference times: the key, which field of the time of day, its default
// for each of the two times, its largest value.
struct TimeKey {
    const char* key;
    TimeT AppSettings::*member;
    int LocalTime::*field;
    int def, max;
};

const std::vector<TimeKey>& timeKeys() {
    static const std::vector<TimeKey> keys = {
        {"TIME_H_TK", &AppSettings::timeTK, &LocalTime::hour, 10, 23},
        {"TIME_M_TK", &AppSettings::timeTK, &LocalTime::minute, 0, 59},
        {"TIME_S_TK", &AppSettings::timeTK, &LocalTime::second, 0, 59},
        {"TIME_H_RB", &AppSettings::timeRB, &LocalTime::hour, 8, 23},
        {"TIME_M_RB", &AppSettings::timeRB, &LocalTime::minute, 30, 59},
        {"TIME_S_RB", &AppSettings::timeRB, &LocalTime::second, 0, 59},
    };
    return keys;
}

const char* const kRows[] = {"VOL", "CAM", "TEMP", "GEIGER", "OWL", "POW", "TK", "RQ"};
const char* const kCols[] = {"VOL", "CAM", "TEMP", "GEIGER", "OWL", "DESK"};
const int kAttachDefaults[8][6] = {
    {1, 1, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0}, {0, 1, 1, 0, 1, 0}, {0, 1, 0, 1, 0, 0},
    {0, 0, 1, 0, 1, 0}, {0, 1, 1, 0, 1, 0}, {1, 1, 1, 1, 1, 1}, {0, 0, 0, 0, 0, 0},
};

// A whole decimal integer with an optional sign, as the settings define one.
bool decimal(const std::string& s, long long& out) {
    std::size_t i = !s.empty() && (s[0] == '+' || s[0] == '-') ? 1 : 0;
    if (i == s.size())
        return false;
    long long v = 0;
    for (std::size_t k = i; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9')
            return false;
        v = v * 10 + (s[k] - '0');
        if (v > 10'000'000'000LL)
            v = 10'000'000'000LL;  // beyond every range; saturates
    }
    out = s[0] == '-' ? -v : v;
    return true;
}

bool named(const std::vector<std::string>& reset, const std::string& key) {
    int n = 0;
    for (const auto& r : reset)
        n += r == key;
    return n == 1;
}

bool sameSettings(const AppSettings& a, const AppSettings& b, std::string& why) {
    for (const auto& k : intKeys())
        if (a.*k.member != b.*k.member)
            return why = k.key, false;
    for (const auto& k : textKeys())
        if (a.*k.member != b.*k.member)
            return why = k.key, false;
    if (a.timeTK != b.timeTK || a.timeRB != b.timeRB)
        return why = "reference times", false;
    if (a.attach != b.attach)
        return why = "attachments", false;
    if (a.dataDir != b.dataDir)
        return why = "DATA_DIR", false;
    if (a.addresses.size() != b.addresses.size())
        return why = "recipient count", false;
    for (std::size_t i = 0; i < a.addresses.size(); ++i) {
        const CUserAddress &x = a.addresses[i], &y = b.addresses[i];
        if (x.m_strAddress != y.m_strAddress || x.m_bIjyou != y.m_bIjyou ||
            x.m_bTeiki != y.m_bTeiki || x.m_bKanri != y.m_bKanri || x.m_bTest != y.m_bTest)
            return why = "recipient " + std::to_string(i), false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    static fuzz::ScratchDir dir;
    scratch = &dir;
    now = fromLocal(2026, 3, 5, 14, 5, 9);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // One name for every input: Qt caches each settings file it has seen by
    // name, and a new name per input grows that cache for good, which sends
    // libFuzzer into a whole-heap leak check after every input. Qt reads a
    // cached file again when its size or time differs, so each input's file
    // gets a time of its own.
    const std::string path = *scratch / "orvana.conf";
    const std::string dataDir = *scratch / "data";
    fuzz::writeFile(path, text);
    fuzz::stampFile(path, ++serial);

    auto file = makeQtSettingsStore(path);
    DataDirGuard store(*file, dataDir);
    std::vector<std::string> reset;
    const AppSettings s = LoadSettings(store, now, *scratch / "desktop", &reset);

    // Ranges and lengths.
    for (const auto& k : intKeys())
        FUZZ_CHECK(s.*k.member >= k.min && s.*k.member <= k.max,
                   std::string(k.key) + " = " + std::to_string(s.*k.member));
    for (const auto& k : textKeys())
        FUZZ_CHECK((s.*k.member).size() <= k.max, k.key);
    for (const auto& row : s.attach)
        for (int v : row)
            FUZZ_CHECK(v == 0 || v == 1, "attachment flag " + std::to_string(v));
    const LocalTime today = toLocal(now);
    for (TimeT t : {s.timeTK, s.timeRB}) {
        const LocalTime lt = toLocal(t);
        FUZZ_CHECK(lt.year == today.year && lt.month == today.month && lt.day == today.day,
                   "reference time not today: " + std::to_string(t));
    }
    FUZZ_CHECK(s.addresses.size() <= 1000, std::to_string(s.addresses.size()) + " recipients");
    for (const auto& a : s.addresses) {
        FUZZ_CHECK(!a.m_strAddress.empty() && a.m_strAddress.size() <= 1024,
                   escaped(a.m_strAddress));
        for (int f : {a.m_bIjyou, a.m_bTeiki, a.m_bKanri, a.m_bTest})
            FUZZ_CHECK(f == 0 || f == 1, "recipient flag " + std::to_string(f));
    }
    for (const auto& r : reset)
        FUZZ_CHECK(named(reset, r), r + " named twice");

    // Keys on plain lines, and keys the file never mentions.
    const fuzz::PlainModel model = fuzz::plainModel(text);
    auto plain = [&](const char* key) -> const fuzz::PlainEntry* {
        for (const auto& e : model.entries)
            if (e.section == "Setting" && e.key == key)
                return &e;
        return nullptr;
    };
    const bool escapes = text.find_first_of("%\\") != std::string::npos;
    auto expectInt = [&](const char* key, int got, int def, long long min, long long max) {
        long long v = 0;
        if (const auto* e = plain(key)) {
            if (decimal(e->value, v) && v >= min && v <= max)
                FUZZ_CHECK(got == v, std::string(key) + "=" + e->value + " loaded as " +
                                         std::to_string(got) + " from " + escaped(text));
            else
                FUZZ_CHECK(got == def && named(reset, std::string("Setting/") + key),
                           std::string(key) + "=" + e->value + " loaded as " + std::to_string(got));
        } else if (!escapes && text.find(key) == std::string::npos) {
            FUZZ_CHECK(got == def, std::string(key) + " missing, loaded as " + std::to_string(got));
        }
    };
    for (const auto& k : intKeys())
        expectInt(k.key, s.*k.member, k.def, k.min, k.max);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 6; ++c)
            expectInt((std::string(kRows[r]) + "_ATTACH_" + kCols[c]).c_str(), s.attach[r][c],
                      kAttachDefaults[r][c], 0, 1);
    for (const auto& k : timeKeys())
        expectInt(k.key, toLocal(s.*k.member).*k.field, k.def, 0, k.max);
    for (const auto& k : textKeys()) {
        const auto* e = plain(k.key);
        if (e && e->value.size() <= k.max)
            FUZZ_CHECK(s.*k.member == e->value, std::string(k.key) + "=" + e->value +
                                                    " loaded as " + escaped(s.*k.member) +
                                                    " from " + escaped(text));
        else if (e)
            FUZZ_CHECK(s.*k.member == k.def && named(reset, std::string("Setting/") + k.key),
                       std::string(k.key) + " too long, loaded as " + escaped(s.*k.member));
        else if (!escapes && text.find(k.key) == std::string::npos)
            FUZZ_CHECK(s.*k.member == k.def, std::string(k.key) + " missing");
    }

    // Saved and loaded again.
    SaveSetting(store, s);
    file.reset();
    std::string saved;
    fuzz::readFile(path, saved);
    SettingsFileCheck check;
    file = makeQtSettingsStore(path, &check);
    FUZZ_CHECK(check.state == SettingsFileCheck::State::Good,
               "saved file damaged: " + escaped(saved));
    DataDirGuard again(*file, dataDir);
    std::vector<std::string> reset2;
    const AppSettings s2 = LoadSettings(again, now, *scratch / "desktop", &reset2);
    std::string why;
    FUZZ_CHECK(sameSettings(s, s2, why), why + " changed by saving: " + escaped(saved));
    FUZZ_CHECK(reset2.empty(), reset2.front() + " still reset after saving");
    file.reset();
    scratch->clear();
    return 0;
}
