// The text of a mail (mail/mime_message.*): header fields built from the
// notice's from, recipients, subject and date, the body and one attachment.
//
// Input: fields cut at 0x1E: from, To, Cc, Reply-To (each a list cut at
// ","), subject, body, attachment file name (none when empty), date in
// seconds. The zone is America/St_Johns: offsets of half an hour, both
// signs of summer time. Each input is built twice: once as it stands, once
// as the sender hands it over (addresses that pass isMalformedAddress only;
// no message at all for a malformed sender).
//
// Promises:
//  - the header ends with an empty line; each of its lines ends in CR LF,
//    holds no other CR, LF or control character, and is a field or the fold
//    of one; Date, From, Subject, Message-ID and MIME-Version come once;
//  - as the sender builds it, no header line is longer than 998 bytes, and
//    an encoded subject folds within 78;
//  - decoded, the fields give back what went in, less control characters
//    (a tab becomes a space): From, each recipient in order, the subject;
//    the date reads as the local time in English;
//  - the body decodes to the text with every line end CR LF, the attachment
//    to the file's bytes under its name.
#include <iconv.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "mail/mime_message.h"
#include "mail/smtp_client.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace orvana;
using fuzz::escaped;

fuzz::ScratchDir* scratch = nullptr;

std::string cleaned(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\t')
            out += ' ';
        else if (c >= 0x20 && c != 0x7F)
            out += static_cast<char>(c);
    }
    return out;
}

std::vector<std::string> cutAt(const std::string& s, char sep) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == sep)
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

std::optional<std::string> unbase64(const std::string& text) {
    static const std::string tbl =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned acc = 0;
    int bits = 0, pad = 0;
    for (char c : text) {
        if (c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            ++pad;
            continue;
        }
        const std::size_t v = tbl.find(c);
        if (v == std::string::npos || pad)
            return std::nullopt;
        acc = (acc << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    return out;
}

std::optional<std::string> isoToUtf8(const std::string& iso) {
    iconv_t cd = iconv_open("UTF-8", "ISO-2022-JP");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string in = iso, out(iso.size() * 4 + 16, '\0');
    char* ip = in.data();
    char* op = out.data();
    std::size_t il = in.size(), ol = out.size();
    const std::size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1))
        return std::nullopt;
    out.resize(out.size() - ol);
    return out;
}

std::string normalisedLineEnds(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
            out += "\r\n";
            ++i;
        } else if (s[i] == '\r' || s[i] == '\n') {
            out += "\r\n";
        } else {
            out += s[i];
        }
    }
    return out;
}

struct Header {
    std::map<std::string, std::vector<std::string>> fields;  // unfolded values
    std::map<std::string, std::vector<std::string>> lines;   // the raw lines of each
};

// Checks the shape of a header block (ending in CR LF) and reads its fields.
Header readHeader(const std::string& block, std::size_t maxLine, const std::string& message) {
    Header h;
    for (std::size_t i = 0; i < block.size(); ++i) {
        if (block[i] == '\r')
            FUZZ_CHECK(i + 1 < block.size() && block[i + 1] == '\n',
                       "lone CR in the header at " + std::to_string(i) + ": " + escaped(message));
        if (block[i] == '\n')
            FUZZ_CHECK(i > 0 && block[i - 1] == '\r',
                       "lone LF in the header at " + std::to_string(i) + ": " + escaped(message));
    }
    std::string current;
    std::size_t pos = 0;
    while (pos < block.size()) {
        const std::size_t end = block.find("\r\n", pos);
        FUZZ_CHECK(end != std::string::npos, "unterminated header line");
        const std::string line = block.substr(pos, end - pos);
        pos = end + 2;
        for (unsigned char c : line)
            FUZZ_CHECK(c >= 0x20 && c != 0x7F, "control character in header line " + escaped(line));
        FUZZ_CHECK(line.size() <= maxLine,
                   std::to_string(line.size()) + "-byte header line " + escaped(line, 100));
        if (!line.empty() && line[0] == ' ') {
            FUZZ_CHECK(!current.empty(), "fold before any field: " + escaped(line));
            h.fields[current].back() += line;
            h.lines[current].push_back(line);
            continue;
        }
        const std::size_t colon = line.find(": ");
        FUZZ_CHECK(colon != std::string::npos && colon > 0, "not a field: " + escaped(line));
        for (std::size_t k = 0; k < colon; ++k)
            FUZZ_CHECK(line[k] > 0x20 && line[k] < 0x7F && line[k] != ':', escaped(line));
        current = line.substr(0, colon);
        h.fields[current].push_back(line.substr(colon + 2));
        h.lines[current].push_back(line);
    }
    return h;
}

const std::string& only(const Header& h, const std::string& name) {
    static const std::string none;
    const auto it = h.fields.find(name);
    FUZZ_CHECK(it != h.fields.end() && it->second.size() == 1, name + " missing or repeated");
    return it == h.fields.end() ? none : it->second.front();
}

std::string decodeSubject(const std::string& value) {
    if (value.find("=?") == std::string::npos)
        return value;
    std::string out;
    for (const std::string& word : cutAt(value, ' ')) {
        if (word.empty())
            continue;
        const bool iso = word.rfind("=?ISO-2022-JP?B?", 0) == 0;
        const bool utf8 = word.rfind("=?UTF-8?B?", 0) == 0;
        FUZZ_CHECK((iso || utf8) && word.size() >= 2 && word.substr(word.size() - 2) == "?=",
                   "not an encoded word: " + escaped(word));
        const std::size_t start = iso ? 16 : 10;
        const auto raw = unbase64(word.substr(start, word.size() - start - 2));
        FUZZ_CHECK(raw.has_value(), "bad base64 in " + escaped(word));
        const auto text = iso ? isoToUtf8(*raw) : raw;
        FUZZ_CHECK(text.has_value(), "bad ISO-2022-JP in " + escaped(word));
        out += *text;
    }
    return out;
}

std::vector<std::string> recipientsOf(const std::string& value) {
    std::vector<std::string> out;
    for (std::string item : cutAt(value, ',')) {
        while (!item.empty() && item.front() == ' ')
            item.erase(0, 1);
        while (!item.empty() && item.back() == ' ')
            item.pop_back();
        out.push_back(item);
    }
    return out;
}

std::string englishDate(TimeT t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S %z", &tm);
    return buf;
}

// The file name of an attachment part's Content-Disposition field.
std::string filenameOf(const std::string& partHeader) {
    const std::string field = "Content-Disposition: attachment";
    const std::size_t at = partHeader.find("\r\n" + field);
    FUZZ_CHECK(at != std::string::npos, "no disposition in " + escaped(partHeader));
    const std::string rest = partHeader.substr(at + 2 + field.size());
    std::string out;
    if (rest.rfind(";\r\n filename*=UTF-8''", 0) == 0) {
        for (std::size_t i = 21; i < rest.size() && rest[i] != '\r'; ++i) {
            if (rest[i] == '%' && i + 2 < rest.size()) {
                out += static_cast<char>(std::stoi(rest.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += rest[i];
            }
        }
        return out;
    }
    FUZZ_CHECK(rest.rfind("; filename=\"", 0) == 0, "disposition " + escaped(rest));
    for (std::size_t i = 12; i < rest.size() && rest[i] != '"'; ++i) {
        if (rest[i] == '\\')
            ++i;
        out += rest[i];
    }
    return out;
}

struct Built {
    MimeInput in;
    std::string fileName;  // expected in the attachment part; empty: none
    std::string content;
};

void check(const Built& b, bool asSent) {
    int attached = -1;
    const std::string m = buildMimeMessage(b.in, &attached);
    const std::size_t headerEnd = m.find("\r\n\r\n");
    FUZZ_CHECK(headerEnd != std::string::npos, "no end of header");
    const Header h = readHeader(m.substr(0, headerEnd + 2), asSent ? 998 : m.size(), m);

    FUZZ_CHECK(only(h, "From") == cleaned(b.in.from), escaped(only(h, "From")));
    FUZZ_CHECK(only(h, "Date") == englishDate(b.in.date), only(h, "Date"));
    FUZZ_CHECK(only(h, "MIME-Version") == "1.0", "MIME-Version");
    const std::string& id = only(h, "Message-ID");
    FUZZ_CHECK(id.size() > 3 && id.front() == '<' && id.back() == '>' &&
                   id.find_first_of(" <>", 1) == id.size() - 1 && id.find('@') != id.npos,
               "Message-ID " + escaped(id));

    const std::pair<const char*, const std::vector<std::string>*> lists[] = {
        {"To", &b.in.to}, {"Cc", &b.in.cc}, {"Reply-To", &b.in.replyTo}};
    for (const auto& [name, items] : lists) {
        std::vector<std::string> expected;
        for (const auto& a : *items)
            if (!cleaned(a).empty())
                expected.push_back(cleaned(a));
        if (expected.empty()) {
            FUZZ_CHECK(h.fields.count(name) == 0, std::string(name) + " with nobody");
            continue;
        }
        // Recipients are cut at commas, so only comma-free ones read back.
        bool commaFree = true;
        for (const auto& e : expected)
            commaFree = commaFree && e.find(',') == std::string::npos && e.front() != ' ' &&
                        e.back() != ' ';
        const std::string& value = only(h, name);
        if (commaFree)
            FUZZ_CHECK(recipientsOf(value) == expected, std::string(name) + ": " + escaped(value));
    }

    const std::string subject = decodeSubject(only(h, "Subject"));
    FUZZ_CHECK(subject == cleaned(b.in.subject),
               "subject " + escaped(b.in.subject) + " reads " + escaped(subject));
    if (asSent && only(h, "Subject").find("=?") != std::string::npos)
        for (const auto& line : h.lines.at("Subject"))
            FUZZ_CHECK(line.size() <= 78, "encoded subject line " + escaped(line));

    // The body: the text part alone, or the parts of a multipart message.
    FUZZ_CHECK(attached == (b.fileName.empty() ? 0 : 1), std::to_string(attached) + " attached");
    std::string text = m.substr(headerEnd + 4);
    if (!b.fileName.empty()) {
        const std::string& type = only(h, "Content-Type");
        const std::size_t bq = type.find("boundary=\"");
        FUZZ_CHECK(bq != std::string::npos, type);
        const std::string boundary = type.substr(bq + 10, type.size() - bq - 11);
        const std::string dash = "--" + boundary + "\r\n";
        const std::size_t p1 = text.find(dash);
        const std::size_t p2 = text.find(dash, p1 + 1);
        const std::size_t p3 = text.find("--" + boundary + "--\r\n");
        FUZZ_CHECK(p1 != std::string::npos && p2 != std::string::npos && p3 != std::string::npos &&
                       p3 + boundary.size() + 6 == text.size(),
                   "parts");
        const std::string part = text.substr(p2 + dash.size(), p3 - p2 - dash.size());
        const std::size_t partEnd = part.find("\r\n\r\n");
        FUZZ_CHECK(partEnd != std::string::npos, "part header");
        readHeader(part.substr(0, partEnd + 2), 998, m);
        FUZZ_CHECK(filenameOf(part.substr(0, partEnd + 2)) == b.fileName,
                   "attachment named " + escaped(filenameOf(part.substr(0, partEnd + 2))) +
                       " not " + escaped(b.fileName));
        const auto content = unbase64(part.substr(partEnd + 4));
        FUZZ_CHECK(content && *content == b.content, "attachment content");
        text = text.substr(p1 + dash.size(), p2 - p1 - dash.size());
        const std::size_t textEnd = text.find("\r\n\r\n");
        FUZZ_CHECK(textEnd != std::string::npos, "text part header");
        readHeader(text.substr(0, textEnd + 2), 998, m);
        text = text.substr(textEnd + 4);
    }
    const auto body = unbase64(text);
    FUZZ_CHECK(body && *body == normalisedLineEnds(b.in.body),
               "body " + escaped(b.in.body) + " reads " + escaped(body.value_or("<bad>")));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("TZ", "America/St_Johns", 1);
    ::tzset();
    std::setlocale(LC_ALL, "C");
    static fuzz::ScratchDir dir;
    scratch = &dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> f = fuzz::splitInput(data, size, '\x1e', 8);
    auto field = [&](std::size_t i) { return i < f.size() ? f[i] : std::string(); };

    Built raw;
    raw.in.from = field(0);
    raw.in.to = cutAt(field(1), ',');
    raw.in.cc = cutAt(field(2), ',');
    raw.in.replyTo = cutAt(field(3), ',');
    raw.in.subject = field(4);
    raw.in.body = field(5);
    const std::string date = field(7);
    raw.in.date = date.size() <= 10 && date.find_first_not_of("0123456789") == std::string::npos
                      ? std::atoll(date.c_str())
                      : 0;

    // The attachment: a real file whose name is the field, as far as a file
    // system allows one.
    std::string name;
    for (char c : field(6))
        if (c != '/' && c != '\0' && name.size() < 200)
            name += c;
    if (!name.empty() && name != "." && name != "..") {
        const std::string folder = *scratch / "attachment";
        std::filesystem::create_directories(folder);
        raw.content = raw.in.body.substr(0, 300);
        fuzz::writeFile(folder + "/" + name, raw.content);
        raw.in.attachments.push_back(folder + "/" + name);
        raw.fileName = cleaned(name).empty() ? "attachment" : cleaned(name);
    }

    check(raw, false);

    Built sent = raw;
    auto keep = [](std::vector<std::string>& list) {
        std::vector<std::string> out;
        for (const auto& a : list)
            if (!isMalformedAddress(a))
                out.push_back(a);
        list = out;
    };
    keep(sent.in.to);
    keep(sent.in.cc);
    keep(sent.in.replyTo);
    if (!isMalformedAddress(sent.in.from) && !(sent.in.to.empty() && sent.in.cc.empty()))
        check(sent, true);
    scratch->clear();
    return 0;
}
