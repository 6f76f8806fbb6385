// Recipients on their way to the SMTP envelope: the stored recipients
// (core/user_address.h) joined into a notice's To by kind (GetTo), a
// comma-separated list split again (CMail::GetAddressToArray), and the
// check that keeps an address out of the SMTP dialogue (isMalformedAddress).
//
// Input: fields cut at 0x1E. The first is a raw list to split; each other
// is one recipient, its first byte the flags (bit 0 abnormal, 1 periodic,
// 2 management, 3 broadcast), the rest its address.
//
// Promises:
//  - a recipient is usable exactly when it has an address; its list text
//    starts with the address;
//  - GetTo of a kind joins, in list order, the addresses of the recipients
//    whose flag the kind asks for;
//  - splitting gives every non-blank comma-separated piece trimmed, in
//    order, each once; no piece is empty, holds a comma or has a blank at
//    either end;
//  - the check accepts exactly the non-empty addresses of at most 254 bytes
//    (what an SMTP path leaves) without a blank, a control character or an
//    angle bracket, so an accepted address cannot end or change an SMTP
//    command.
#include <string>
#include <vector>

#include "core/alert_mode.h"
#include "core/user_address.h"
#include "mail/mail_composer.h"
#include "mail/mail_queue.h"
#include "mail/smtp_client.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace orvana;
using fuzz::escaped;

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool acceptable(const std::string& a) {
    if (a.empty() || a.size() > 254)
        return false;
    for (unsigned char c : a)
        if (c < 0x21 || c == 0x7F || c == '<' || c == '>')
            return false;
    return true;
}

void checkSplit(const std::string& list) {
    std::vector<std::string> pieces{"stale"};
    CMail::GetAddressToArray(list, pieces);
    std::vector<std::string> expected;
    std::string token;
    for (std::size_t i = 0; i <= list.size(); ++i) {
        if (i == list.size() || list[i] == ',') {
            const std::string t = trimmed(token);
            bool seen = t.empty();
            for (const auto& e : expected)
                seen = seen || e == t;
            if (!seen)
                expected.push_back(t);
            token.clear();
        } else {
            token += list[i];
        }
    }
    FUZZ_CHECK(pieces == expected, "split " + escaped(list) + " into " +
                                       std::to_string(pieces.size()) + " pieces, not " +
                                       std::to_string(expected.size()));
    for (const auto& p : pieces) {
        FUZZ_CHECK(
            !p.empty() && p.find(',') == std::string::npos && !blank(p.front()) && !blank(p.back()),
            escaped(p));
        const bool ok = !isMalformedAddress(p);
        FUZZ_CHECK(ok == acceptable(p), escaped(p) + (ok ? " accepted" : " refused"));
        if (ok) {
            const std::string command = "RCPT TO:<" + p + ">\r\n";
            FUZZ_CHECK(command.find_first_of("\r\n") == command.size() - 2 &&
                           command.find('<') == 8 && command.find('>') == command.size() - 3,
                       escaped(command));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> fields = fuzz::splitInput(data, size, '\x1e', 64);
    checkSplit(fields[0]);
    FUZZ_CHECK(isMalformedAddress(fields[0]) == !acceptable(fields[0]), escaped(fields[0]));

    std::vector<CUserAddress> recipients;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        if (fields[i].empty())
            continue;
        const unsigned flags = static_cast<unsigned char>(fields[i][0]);
        CUserAddress a;
        a.m_strAddress = fields[i].substr(1);
        a.m_bIjyou = flags & 1;
        a.m_bTeiki = (flags >> 1) & 1;
        a.m_bKanri = (flags >> 2) & 1;
        a.m_bTest = (flags >> 3) & 1;
        FUZZ_CHECK(a.IsValid() == !a.m_strAddress.empty(), escaped(a.m_strAddress));
        FUZZ_CHECK(a.GetString().compare(0, a.m_strAddress.size() + 3, a.m_strAddress + ";  ") == 0,
                   escaped(a.GetString()));
        // Loading the settings keeps only recipients with an address.
        if (a.IsValid())
            recipients.push_back(a);
    }

    const ALERT_MODE kinds[] = {ALERT_VOL, ALERT_CAM, ALERT_TEMP,  ALERT_GEIGER, ALERT_OWL,
                                ALERT_POW, ALERT_TK,  ALERT_KANRI, ALERT_RQ,     ALERT_KA};
    for (ALERT_MODE kind : kinds) {
        std::string expected;
        for (const auto& a : recipients) {
            bool wanted = false;
            if (kind <= ALERT_POW)
                wanted = a.m_bIjyou;
            else if (kind == ALERT_TK)
                wanted = a.m_bTeiki;
            else if (kind == ALERT_KANRI)
                wanted = a.m_bKanri;
            else if (kind == ALERT_RQ)
                wanted = a.m_bTest;
            else
                wanted = a.m_bTeiki || a.m_bKanri;
            if (wanted)
                expected += (expected.empty() ? "" : ",") + a.m_strAddress;
        }
        const std::string to = GetTo(recipients, kind);
        FUZZ_CHECK(to == expected, "kind " + std::to_string(kind) + ": " + escaped(to));
        checkSplit(to);
    }
    return 0;
}
