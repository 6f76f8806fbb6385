#include "mail/mime_message.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>

namespace orvana {
namespace {

// One UTF-8 sequence starting at s[i]; its length (1 for a stray byte).
std::size_t utf8Len(const std::string& s, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80           ? 1
                    : (c >> 5) == 0x6  ? 2
                    : (c >> 4) == 0xE  ? 3
                    : (c >> 3) == 0x1E ? 4
                                       : 1;
    return i + n <= s.size() ? n : s.size() - i;
}

// The text in ISO-2022-JP, ending in ASCII; nullopt when some character has
// no ISO-2022-JP form.
std::optional<std::string> toIso2022jp(const std::string& utf8) {
    iconv_t cd = iconv_open("ISO-2022-JP", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    std::string in = utf8;
    char* inp = in.data();
    std::size_t inLeft = in.size();
    bool ok = true;
    char buf[256];
    for (;;) {
        char* outp = buf;
        std::size_t outLeft = sizeof buf;
        std::size_t r =
            iconv(cd, inLeft ? &inp : nullptr, inLeft ? &inLeft : nullptr, &outp, &outLeft);
        out.append(buf, static_cast<std::size_t>(outp - buf));
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            ok = false;
            break;
        }
        if (inLeft == 0) {
            // Flush the shift state back to ASCII.
            outp = buf;
            outLeft = sizeof buf;
            iconv(cd, nullptr, nullptr, &outp, &outLeft);
            out.append(buf, static_cast<std::size_t>(outp - buf));
            break;
        }
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return out;
}

bool isPlainAscii(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7E)
            return false;
    return s.find("=?") == std::string::npos && s.size() < 900;
}

// Splits text into encoded words whose raw part is at most maxRaw bytes.
std::vector<std::string> encodedWords(const std::string& text, bool iso) {
    // "Subject: " plus one word stays within 78 characters.
    const std::size_t maxRaw = iso ? 36 : 42;
    const std::string prefix = iso ? "=?ISO-2022-JP?B?" : "=?UTF-8?B?";
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        std::string chunk, raw;
        while (i < text.size()) {
            const std::size_t n = utf8Len(text, i);
            std::string candidate = chunk + text.substr(i, n);
            std::string enc = candidate;
            if (iso)
                enc = toIso2022jp(candidate).value_or(candidate);
            if (enc.size() > maxRaw && !chunk.empty())
                break;
            chunk = std::move(candidate);
            raw = std::move(enc);
            i += n;
        }
        words.push_back(prefix + base64(raw, 0) + "?=");
    }
    return words;
}

std::string joinFolded(const std::vector<std::string>& items, const std::string& sep,
                       std::size_t firstLineUsed) {
    std::string out;
    std::size_t lineLen = firstLineUsed;
    for (std::size_t k = 0; k < items.size(); ++k) {
        std::string piece = items[k] + (k + 1 < items.size() ? sep : "");
        if (k > 0 && lineLen + piece.size() > 76) {
            out += "\r\n ";
            lineLen = 1;
        }
        out += piece;
        lineLen += piece.size();
    }
    return out;
}

std::string normaliseLineEnds(const std::string& s) {
    std::string out;
    out.reserve(s.size() + s.size() / 20);
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            out += "\r\n";
            if (i + 1 < s.size() && s[i + 1] == '\n')
                ++i;
        } else if (s[i] == '\n') {
            out += "\r\n";
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string randomHex(std::size_t n) {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    static const char* hex = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += hex[rng() & 0xF];
    return s;
}

bool isAttrChar(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string attachmentHeaders(const std::string& fileName) {
    bool ascii = true;
    for (unsigned char c : fileName)
        ascii = ascii && c >= 0x20 && c < 0x7F;
    std::string h = "Content-Type: application/octet-stream";
    if (ascii) {
        std::string q;
        for (char c : fileName) {
            if (c == '"' || c == '\\')
                q += '\\';
            q += c;
        }
        h += "; name=\"" + q + "\"\r\nContent-Disposition: attachment; filename=\"" + q + "\"\r\n";
        return h;
    }
    // RFC 2047 in name= for old clients, RFC 2231 for everyone else.
    h += ";\r\n name=\"=?UTF-8?B?" + base64(fileName, 0) + "?=\"\r\n";
    std::string pct;
    static const char* hex = "0123456789ABCDEF";
    for (unsigned char c : fileName) {
        if (isAttrChar(c)) {
            pct += static_cast<char>(c);
        } else {
            pct += '%';
            pct += hex[c >> 4];
            pct += hex[c & 0xF];
        }
    }
    h += "Content-Disposition: attachment;\r\n filename*=UTF-8''" + pct + "\r\n";
    return h;
}

}  // namespace

std::string stripControls(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (unsigned char c : s) {
        if (c == '\t')
            out += ' ';
        else if (c >= 0x20 && c != 0x7F)
            out += static_cast<char>(c);
    }
    return out;
}

std::string encodeSubject(const std::string& utf8In) {
    const std::string utf8 = stripControls(utf8In);
    if (isPlainAscii(utf8))
        return utf8;
    const bool iso = toIso2022jp(utf8).has_value();
    std::vector<std::string> words = encodedWords(utf8, iso);
    std::string out;
    for (std::size_t k = 0; k < words.size(); ++k)
        out += (k ? "\r\n " : "") + words[k];
    return out;
}

std::string rfc5322Date(TimeT t) {
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    long off = tm.tm_gmtoff / 60;
    const char sign = off < 0 ? '-' : '+';
    if (off < 0)
        off = -off;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  days[tm.tm_wday % 7], tm.tm_mday, months[tm.tm_mon % 12], tm.tm_year + 1900,
                  tm.tm_hour, tm.tm_min, tm.tm_sec, sign, off / 60, off % 60);
    return buf;
}

std::string base64(const std::string& data, std::size_t lineLength) {
    static const char* tbl = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(data.size() * 4 / 3 + data.size() / 50 + 8);
    std::size_t col = 0;
    auto put = [&](char c) {
        if (lineLength && col == lineLength) {
            out += "\r\n";
            col = 0;
        }
        out += c;
        ++col;
    };
    std::size_t i = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    for (; i + 2 < data.size(); i += 3) {
        const unsigned v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        put(tbl[(v >> 18) & 63]);
        put(tbl[(v >> 12) & 63]);
        put(tbl[(v >> 6) & 63]);
        put(tbl[v & 63]);
    }
    if (i < data.size()) {
        unsigned v = p[i] << 16;
        if (i + 1 < data.size())
            v |= p[i + 1] << 8;
        put(tbl[(v >> 18) & 63]);
        put(tbl[(v >> 12) & 63]);
        put(i + 1 < data.size() ? tbl[(v >> 6) & 63] : '=');
        put('=');
    }
    return out;
}

std::string buildMimeMessage(const MimeInput& in, int* attached) {
    auto cleanList = [](const std::vector<std::string>& v) {
        std::vector<std::string> out;
        for (const auto& a : v) {
            std::string c = stripControls(a);
            if (!c.empty())
                out.push_back(c);
        }
        return out;
    };
    const std::string from = stripControls(in.from);
    std::string domain;
    if (auto at = from.rfind('@'); at != std::string::npos)
        for (char c : from.substr(at + 1))
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-')
                domain += c;
    if (domain.empty())
        domain = "orvana.invalid";

    std::string m;
    m += "Date: " + rfc5322Date(in.date) + "\r\n";
    m += "From: " + from + "\r\n";
    if (auto to = cleanList(in.to); !to.empty())
        m += "To: " + joinFolded(to, ", ", 4) + "\r\n";
    if (auto cc = cleanList(in.cc); !cc.empty())
        m += "Cc: " + joinFolded(cc, ", ", 4) + "\r\n";
    if (auto rt = cleanList(in.replyTo); !rt.empty())
        m += "Reply-To: " + joinFolded(rt, ", ", 10) + "\r\n";
    m += "Subject: " + encodeSubject(in.subject) + "\r\n";
    m += "Message-ID: <" + std::to_string(in.date) + "." + randomHex(16) + "@" + domain + ">\r\n";
    m += "MIME-Version: 1.0\r\n";

    const std::string textPart =
        "Content-Type: text/plain; charset=UTF-8\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        base64(normaliseLineEnds(in.body)) + "\r\n";
    std::vector<std::pair<std::string, std::string>> files;  // name, content
    for (const auto& path : in.attachments) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec))
            continue;
        std::ifstream f(path, std::ios::binary);
        if (!f)
            continue;
        std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (f.bad())
            continue;
        std::string name = stripControls(std::filesystem::path(path).filename().string());
        if (name.empty())
            name = "attachment";
        files.emplace_back(std::move(name), std::move(data));
    }
    if (attached)
        *attached = static_cast<int>(files.size());
    if (files.empty()) {
        m += textPart;
        return m;
    }
    const std::string boundary = "=_orvana_" + randomHex(24);
    m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    m += "This is a multi-part message in MIME format.\r\n";
    m += "--" + boundary + "\r\n" + textPart;
    for (const auto& [name, data] : files) {
        m += "--" + boundary + "\r\n" + attachmentHeaders(name) +
             "Content-Transfer-Encoding: base64\r\n\r\n" + base64(data) + "\r\n";
    }
    m += "--" + boundary + "--\r\n";
    return m;
}

}  // namespace orvana
