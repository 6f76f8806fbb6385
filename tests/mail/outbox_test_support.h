// Helpers of the outbox tests: what an outbox folder holds, and notices as
// a recipient sees them, so stored and received mails can be compared.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "mail/mail_queue.h"
#include "tests/mail/mail_test_support.h"
#include "tests/support/wait_until.h"

namespace orvana::testing {

// Names of the stored mail files ("*.mail") directly in folder, sorted.
std::vector<std::string> storedMailFiles(const std::string& folder);

// The mails an outbox folder holds, oldest first, read as a start would
// read them (interrupted folds completed, damaged files set aside); the
// outbox's reports are added to `reports` when given.
std::vector<std::unique_ptr<CMail>> loadStored(const std::string& folder,
                                               std::vector<std::string>* reports = nullptr);

// Text with CR LF turned into LF.
std::string crlfToLf(const std::string& s);

// A notice as its recipient sees it: subject and body (LF line ends).
using NoticeKey = std::pair<std::string, std::string>;
NoticeKey keyOf(const CMail& m);
NoticeKey keyOf(const ReceivedMail& m);

}  // namespace orvana::testing
