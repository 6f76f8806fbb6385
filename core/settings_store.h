// The per-user settings store: sections of integer and text values.
#pragma once

#include <memory>
#include <string>
#include <vector>

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

// What opening the settings file found.
struct SettingsFileCheck {
    enum class State {
        New,         // there was no file yet
        Good,        // read as it is; a copy was kept as <file>.bak
        Damaged,     // lines the INI reader would misread; see below
        Unreadable,  // the file exists but cannot be read
    };
    State state = State::New;
    std::string file;  // the settings file
    // Damaged or Unreadable: where the original was copied
    // (<file>.damaged-YYYYmmdd-HHMMSS, mode 0600); empty when even the copy
    // failed.
    std::string copy;
    std::vector<int> badLines;  // Damaged: 1-based numbers of the lines left out
};

// The production store on QSettings. With an empty iniPath it is the per-user
// store of company "Quellor" and application "orvana" (on Linux the INI file
// ~/.config/Quellor/orvana.conf); otherwise that INI file. The file holds a
// password, so it is created readable and writable by its owner only.
//
// Before the INI reader sees the file it is checked: one bad line (for
// example an unmatched double quote) would make the reader swallow every
// line after it, and the next save would then write the swallowed settings
// away. A damaged file is first copied aside, then rewritten without its bad
// lines, so the program continues with everything else. A file that cannot
// be read is copied aside when possible and never written: the store then
// keeps its values in a private temporary file. A good file is copied to
// <file>.bak at every start. *check (when not null) says what was found.
// A hand-written value with an unquoted comma, which the INI reader splits
// into a list, reads as its items joined by commas (blanks around the commas
// are lost); values the store wrote itself read back as they were.
// Never null. UI thread, before anything else uses the file.
std::unique_ptr<SettingsStore> makeQtSettingsStore(const std::string& iniPath,
                                                   SettingsFileCheck* check = nullptr);

// The 1-based numbers of the lines of an INI text that its reader would
// misread: bytes that are not UTF-8, a NUL byte, a carriage return inside a
// line, a line that is neither blank, a comment, a [section] nor key=value
// (a '#' line holding an '=' is a key to the reader, and an escaped or
// quoted '=' ends no key), a key ending in a group separator ('/', '\\' or
// their escapes), an unmatched double quote anywhere but in a ';' comment,
// or a backslash at the end of a line (the reader joins the next one to
// it). Lines end at LF. Pure.
std::vector<int> damagedIniLines(const std::string& text);

// The event-list text for a check that found a damaged or unreadable file;
// empty otherwise. Pure.
std::string SettingsFileCheckLine(const SettingsFileCheck& check);

// The file the store of makeQtSettingsStore(iniPath) writes to.
std::string settingsFilePath(const std::string& iniPath);

}  // namespace orvana
