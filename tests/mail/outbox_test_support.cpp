#include "tests/mail/outbox_test_support.h"

#include <algorithm>
#include <filesystem>

#include "mail/outbox.h"

namespace orvana::testing {

std::vector<std::string> storedMailFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (e.path().extension() == ".mail")
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::unique_ptr<CMail>> loadStored(const std::string& folder,
                                               std::vector<std::string>* reports) {
    Outbox box(folder, [reports](const std::string& line) {
        if (reports)
            reports->push_back(line);
    });
    return box.load();
}

std::string crlfToLf(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n'))
            out += s[i];
    return out;
}

NoticeKey keyOf(const CMail& m) {
    return {m.m_subject, crlfToLf(m.m_body)};
}

NoticeKey keyOf(const ReceivedMail& m) {
    return {m.subject, crlfToLf(m.body)};
}

}  // namespace orvana::testing
