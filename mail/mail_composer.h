// Composition of notice mails: recipients by kind, subject and body layout,
// attachments, the own-server checks, and queueing.
#pragma once

#include <string>
#include <vector>

#include "core/alert_mode.h"
#include "core/user_address.h"
#include "mail/mail_host.h"
#include "mail/mail_queue.h"

namespace orvana {

// The two footer lines every notice body ends with (also offered to the
// broadcast dialog's initial text).
std::string mailFooter();

// The KeepAlive interval code of "HOUR_KA" ("24H" .. "5M"), empty for 0 and
// any value outside 1..12.
std::string keepAliveCode(int hourKA);

// The recipients of kind as "a,b,c" (list order, duplicates kept), empty
// when nobody qualifies or the kind is unknown.
std::string GetTo(const std::vector<CUserAddress>& addresses, ALERT_MODE kind);

// Composes one notice and appends it to queue, marked for the conversion of
// its recording when "CONV_3GP" is on. Returns 0 when the own-server
// settings are incomplete (reported as "Error : ..."), else 1, also when
// nothing was queued (mail off, nobody to send to). Snapshot files are
// written through host before the own-server check. UI thread.
int RegistMail(MailHost& host, MailQueue& queue, ALERT_MODE kind, const std::string& title,
               const std::string& text, int timeFormat);

}  // namespace orvana
