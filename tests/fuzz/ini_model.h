// A deliberately small model of the settings file, written apart from the
// store it checks: "[Name]" headers and "KEY=value" lines of plain
// characters, the lines anybody editing the file by hand writes. Whatever
// else a file holds, such a line must read back as it stands. Lines the
// model does not understand are left out; it never guesses. Pure.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orvana::fuzz {

struct PlainEntry {
    std::string section, key, value;
    int line = 0;  // 1-based, counting '\n'
};

struct PlainModel {
    std::vector<PlainEntry> entries;  // keys whose line is the only one naming them
    std::vector<int> headers;         // lines that are plain section headers
};

inline bool plainNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

inline bool plainName(std::string_view s) {
    if (s.empty() || s.size() > 64)
        return false;
    for (char c : s)
        if (!plainNameChar(c))
            return false;
    return true;
}

// Letters, digits, blanks and . @ _ : / + - , with no blank at either end
// or beside a comma, and no '@' starting the value or an item after a comma
// (Qt's mark of a typed value).
inline bool plainValue(std::string_view v) {
    for (std::size_t i = 0; i < v.size(); ++i) {
        const char c = v[i];
        if (!plainNameChar(c) && std::string_view(" .@:/+-,").find(c) == std::string_view::npos)
            return false;
        if (c == ' ' && (i == 0 || i + 1 == v.size() || v[i - 1] == ',' || v[i + 1] == ','))
            return false;
        if (c == '@' && (i == 0 || v[i - 1] == ','))
            return false;
    }
    return true;
}

inline bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

inline PlainModel plainModel(const std::string& text) {
    std::vector<std::string_view> lines;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            nl = text.size();
        lines.push_back(std::string_view(text).substr(pos, nl - pos));
        pos = nl + 1;
    }
    PlainModel model;
    std::string section;  // the plain header above, empty when there is none
    for (std::size_t n = 0; n < lines.size(); ++n) {
        std::string_view line = lines[n];
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::string_view lead = line;
        while (!lead.empty() && (lead.front() == ' ' || lead.front() == '\t'))
            lead.remove_prefix(1);
        if (!lead.empty() && lead.front() == '[') {
            section.clear();
            // "General" is the file's unnamed section to the reader.
            if (line.size() >= 2 && line.front() == '[' && line.back() == ']' &&
                plainName(line.substr(1, line.size() - 2)) &&
                !sameName(line.substr(1, line.size() - 2), "general")) {
                section = std::string(line.substr(1, line.size() - 2));
                model.headers.push_back(static_cast<int>(n + 1));
            }
            continue;
        }
        const std::size_t eq = line.find('=');
        if (section.empty() || eq == std::string_view::npos || !plainName(line.substr(0, eq)) ||
            !plainValue(line.substr(eq + 1)))
            continue;
        const std::string_view key = line.substr(0, eq);
        // Another line naming the key, or spelling some key with escapes,
        // may give it another value.
        bool alone = true;
        for (std::size_t m = 0; m < lines.size() && alone; ++m) {
            const std::string_view other = lines[m];
            const std::string_view otherKey = other.substr(0, other.find('='));
            alone = m == n || (other.find(key) == std::string_view::npos &&
                               otherKey.find_first_of("%\\") == std::string_view::npos);
        }
        if (alone)
            model.entries.push_back({section, std::string(key), std::string(line.substr(eq + 1)),
                                     static_cast<int>(n + 1)});
    }
    return model;
}

}  // namespace orvana::fuzz
