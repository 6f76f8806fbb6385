#include <gtest/gtest.h>
#include <iconv.h>

#include "mail/mime_message.h"
#include "tests/mail/mail_test_support.h"

namespace orvana {
namespace {

using namespace orvana::testing;

std::string unbase64(const std::string& in) {
    static const std::string tbl =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned v = 0;
    int bits = 0;
    for (char c : in) {
        const auto p = tbl.find(c);
        if (p == std::string::npos)
            continue;
        v = (v << 6) | static_cast<unsigned>(p);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((v >> bits) & 0xFF);
        }
    }
    return out;
}

std::string fromCharset(const std::string& data, const char* charset) {
    iconv_t cd = iconv_open("UTF-8", charset);
    std::string in = data, out(data.size() * 4 + 16, '\0');
    char* ip = in.data();
    char* op = out.data();
    std::size_t il = in.size(), ol = out.size();
    iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    out.resize(out.size() - ol);
    return out;
}

// Decodes a header value made of B-encoded words (or plain text).
std::string decodeWords(const std::string& v, std::string* charsetSeen = nullptr) {
    std::string out;
    std::size_t pos = 0;
    if (v.find("=?") == std::string::npos)
        return v;
    while ((pos = v.find("=?", pos)) != std::string::npos) {
        const std::size_t q1 = v.find('?', pos + 2), q2 = v.find('?', q1 + 1),
                          end = v.find("?=", q2 + 1);
        const std::string cs = v.substr(pos + 2, q1 - pos - 2);
        if (charsetSeen)
            *charsetSeen = cs;
        out += fromCharset(unbase64(v.substr(q2 + 1, end - q2 - 1)), cs.c_str());
        pos = end + 2;
    }
    return out;
}

TEST(Mime, SubjectInIso2022JpWordsOfLegalLength) {
    const std::string subject = "警報発生：orvana";
    const std::string enc = encodeSubject(subject);
    std::string cs;
    EXPECT_EQ(decodeWords(enc, &cs), subject);
    EXPECT_EQ(cs, "ISO-2022-JP");

    std::string longSubject;
    for (int i = 0; i < 12; ++i)
        longSubject += "温湿度異常発生の通知";
    const std::string folded = encodeSubject(longSubject);
    EXPECT_EQ(decodeWords(folded), longSubject);
    std::size_t start = 0;
    while (start < folded.size()) {
        std::size_t end = folded.find("\r\n", start);
        if (end == std::string::npos)
            end = folded.size();
        EXPECT_LE(end - start, 76u);
        start = end + 2;
    }
    EXPECT_EQ(encodeSubject("orvana#KeepAlive/1H"), "orvana#KeepAlive/1H");
}

TEST(Mime, SubjectFallsBackToUtf8RatherThanLosingText) {
    const std::string subject = "温度異常 😀 ①";  // the emoji has no ISO-2022-JP form
    std::string cs;
    EXPECT_EQ(decodeWords(encodeSubject(subject), &cs), subject);
    EXPECT_EQ(cs, "UTF-8");
}

TEST(Mime, HeadersNeverCarryLineBreaks) {
    EXPECT_EQ(stripControls("a\r\nb\tc\x01"), "ab c");
    MimeInput in;
    in.from = "me@x\r\nBcc: spy@x";
    in.to = {"a@x\r\nX-Evil: 1"};
    in.subject = "s\r\nX-Evil: 2";
    in.body = "line1\nline2\rline3";
    in.date = 1765170000;
    const std::string m = buildMimeMessage(in);
    EXPECT_EQ(m.find("\r\nBcc:"), std::string::npos);
    EXPECT_EQ(m.find("\r\nX-Evil"), std::string::npos);
    const std::size_t b = m.find("\r\n\r\n");
    EXPECT_EQ(unbase64(m.substr(b + 4)), "line1\r\nline2\r\nline3");
}

TEST(Mime, AttachmentsNamedBothWaysAndMissingOnesSkipped) {
    TempDir dir;
    const std::string jp = dir.file("2026年12月08日10時04分30秒#Cam0.jpg");
    const std::string q = dir.file("a\"b.wav");
    writeFile(jp, "jpeg");
    writeFile(q, "wave");
    MimeInput in;
    in.from = "me@x";
    in.to = {"a@x"};
    in.subject = "s";
    const std::string broken = dir.file("x\r\nX-Evil: 1.jpg");
    writeFile(broken, "x");
    in.attachments = {jp, dir.file("gone.jpg"), q, broken};
    const std::string m = buildMimeMessage(in);
    EXPECT_NE(m.find("filename*=UTF-8''2026%E5%B9%B4"), std::string::npos);
    EXPECT_NE(m.find("name=\"=?UTF-8?B?"), std::string::npos);
    EXPECT_NE(m.find("filename=\"a\\\"b.wav\""), std::string::npos);
    EXPECT_EQ(m.find("gone.jpg"), std::string::npos);
    EXPECT_EQ(m.find("\r\nX-Evil"), std::string::npos);
    EXPECT_NE(m.find("filename=\"xX-Evil: 1.jpg\""), std::string::npos);
    EXPECT_NE(m.find("Content-Type: multipart/mixed"), std::string::npos);
}

TEST(Mime, DateUsesEnglishNamesWhateverTheLocale) {
    const std::string d = rfc5322Date(1765170000);
    EXPECT_EQ(d.size(), 31u) << d;
    EXPECT_NE(std::string("SunMonTueWedThuFriSat").find(d.substr(0, 3)), std::string::npos);
    EXPECT_EQ(d[3], ',');
}

}  // namespace
}  // namespace orvana
