// The settings file as the store opens it (core/qt_settings_store.cpp): the
// check for lines the INI reader would misread, the repair of a damaged
// file, and QSettings reading what is left. The input is the whole file.
//
// Promises:
//  - the check's state matches its lines: Good with none, Damaged with some;
//    a good file stays as it was and is copied to .bak; a damaged one is
//    copied aside byte for byte, and what is left of it is a good file;
//  - what the check lets through holds no NUL byte;
//  - a plain line (ini_model.h) is never reported damaged, and its key reads
//    back through the store as written, whatever else the file holds; after
//    the store saved the file it still does;
//  - a file the store has written is good when opened again and gives back
//    what was written into it.
#include <algorithm>
#include <memory>
#include <string>

#include "core/settings_store.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/ini_model.h"

namespace {

orvana::fuzz::ScratchDir* scratch = nullptr;
unsigned long serial = 0;

bool contains(const std::vector<int>& v, int x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}

// The input as a text the store can hold: ASCII as it is, every other byte
// an "é".
std::string asText(const std::string& bytes) {
    std::string out;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80)
            out += c;
        else
            out += "\xC3\xA9";
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static orvana::fuzz::ScratchDir dir;
    scratch = &dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvana;
    using fuzz::escaped;
    const std::string text(reinterpret_cast<const char*>(data), size);
    // A new name every time: QSettings keeps files it has read in a cache
    // that a rewrite within the same millisecond and size would fool.
    const std::string path = *scratch / ("orvana-" + std::to_string(++serial) + ".conf");
    fuzz::writeFile(path, text);

    const std::vector<int> bad = damagedIniLines(text);
    const fuzz::PlainModel model = fuzz::plainModel(text);
    SettingsFileCheck check;
    auto store = makeQtSettingsStore(path, &check);
    FUZZ_CHECK(check.badLines == bad, "the check disagrees with itself");
    FUZZ_CHECK(check.state == (bad.empty() ? SettingsFileCheck::State::Good
                                           : SettingsFileCheck::State::Damaged),
               "state " + std::to_string(static_cast<int>(check.state)));

    std::string now;
    FUZZ_CHECK(fuzz::readFile(path, now), path);
    // A text file never holds one; a crash can leave a block of them.
    FUZZ_CHECK(now.find('\0') == std::string::npos, "a NUL byte let through: " + escaped(now));
    if (bad.empty()) {
        std::string backup;
        FUZZ_CHECK(now == text, "a good file was changed");
        FUZZ_CHECK(fuzz::readFile(path + ".bak", backup) && backup == text, "no backup");
    } else {
        std::string copy;
        FUZZ_CHECK(!check.copy.empty() && fuzz::readFile(check.copy, copy) && copy == text,
                   "the damaged original was not kept: " + check.copy);
        FUZZ_CHECK(damagedIniLines(now).empty(), "the repair left bad lines: " + escaped(now));
    }

    for (int h : model.headers)
        FUZZ_CHECK(!contains(bad, h), "plain header on line " + std::to_string(h) + " reported");
    for (const auto& e : model.entries) {
        FUZZ_CHECK(!contains(bad, e.line), "plain line " + std::to_string(e.line) + " reported");
        FUZZ_CHECK(store->contains(e.section, e.key) &&
                       store->getString(e.section, e.key, "<missing>") == e.value,
                   e.section + "/" + e.key + " on line " + std::to_string(e.line) + " reads " +
                       escaped(store->getString(e.section, e.key, "<missing>")) + ", not " +
                       escaped(e.value) + " in " + escaped(text));
    }

    // What the store writes it reads again, and the file stays good.
    const std::string written = asText(text.substr(0, 200));
    store->writeString("Fuzz", "Written", written);
    store->writeInt("Fuzz", "Number", static_cast<int>(size));
    FUZZ_CHECK(store->sync(), "sync failed");
    store.reset();

    std::string saved;
    fuzz::readFile(path, saved);
    SettingsFileCheck again;
    store = makeQtSettingsStore(path, &again);
    FUZZ_CHECK(again.state == SettingsFileCheck::State::Good,
               "the store's own file is damaged on lines " +
                   (again.badLines.empty() ? std::string() : std::to_string(again.badLines[0])) +
                   ": " + escaped(saved));
    FUZZ_CHECK(store->getString("Fuzz", "Written", "<missing>") == written,
               "wrote " + escaped(written) + " read " +
                   escaped(store->getString("Fuzz", "Written", "<missing>")));
    FUZZ_CHECK(store->getInt("Fuzz", "Number", -1) == static_cast<int>(size), "number");
    for (const auto& e : model.entries)
        FUZZ_CHECK(
            e.section == "Fuzz" || store->getString(e.section, e.key, "<missing>") == e.value,
            e.section + "/" + e.key + " lost by saving: " + escaped(saved));
    store.reset();
    scratch->clear();
    return 0;
}
