// The RFC 5322 / MIME text of one mail.
#pragma once

#include <string>
#include <vector>

#include "core/clock.h"

namespace orvana {

struct MimeInput {
    std::string from;
    std::vector<std::string> to, cc, replyTo;
    std::string subject;                   // UTF-8
    std::string body;                      // UTF-8; lone LF or CR become CR LF
    std::vector<std::string> attachments;  // paths; missing or unreadable files are skipped
    TimeT date = 0;
};

// Removes CR, LF and other control characters (tab becomes a space), so a
// value can never start a new header or SMTP command.
std::string stripControls(const std::string& s);

// The subject as a header value: plain when it is printable ASCII, else
// RFC 2047 B-encoded words in ISO-2022-JP, or in UTF-8 when some character
// has no ISO-2022-JP form. Folded with CR LF SP between words.
std::string encodeSubject(const std::string& utf8);

// RFC 5322 date in local time with English names, e.g.
// "Tue, 08 Dec 2026 10:04:30 +0900".
std::string rfc5322Date(TimeT t);

std::string base64(const std::string& data, std::size_t lineLength = 76);

// Builds the whole message. Never fails; an attachment that cannot be read
// is left out. *attached (when not null) is set to the number of files that
// went into the message.
std::string buildMimeMessage(const MimeInput& in, int* attached = nullptr);

}  // namespace orvana
